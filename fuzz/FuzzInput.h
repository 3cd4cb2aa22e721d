// Fuzz inputs reach the engine as a file, the only way it reads.
#pragma once
#include "engine/Paths.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace vesko::fuzz {

// Puts the input in this process's in-memory scratch file and returns a path that opens it: a disk file
// truncated and rewritten for every input cost a writeback each time, most of an input's time.
inline std::wstring WriteInput(const std::uint8_t* data, std::size_t size) {
    static const int file = memfd_create("vesko-fuzz-input", MFD_CLOEXEC);
    static const std::wstring path = FromUtf8("/proc/self/fd/" + std::to_string(file));
    for (std::size_t done = 0; file >= 0 && done < size;) {
        const ssize_t written = pwrite(file, data + done, size - done, static_cast<off_t>(done));
        if (written <= 0)
            std::abort();
        done += static_cast<std::size_t>(written);
    }
    if (ftruncate(file, static_cast<off_t>(size)) != 0)
        std::abort();
    return path;
}

} // namespace vesko::fuzz
