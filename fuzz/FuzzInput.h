// Fuzz inputs reach the engine as a file, the only way it reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesko::fuzz {

// Puts the input in this process's in-memory scratch file and returns a path that opens it.
std::wstring WriteInput(const std::uint8_t* data, std::size_t size);

} // namespace vesko::fuzz
