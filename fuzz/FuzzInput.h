// Fuzz inputs reach the engine as a file, the only way it reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesko::fuzz {

// Writes the input to this process's scratch file and returns its path.
std::wstring WriteInput(const std::uint8_t* data, std::size_t size);

} // namespace vesko::fuzz
