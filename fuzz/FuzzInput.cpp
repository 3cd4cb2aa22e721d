#include "fuzz/FuzzInput.h"

#include "engine/Paths.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

namespace vesko::fuzz {

std::wstring WriteInput(const std::uint8_t* data, std::size_t size) {
    // A file in memory, reopened by its /proc name: a disk file truncated and rewritten for every input
    // cost a writeback each time, most of an input's time.
    static const int file = [] {
        const int fd = memfd_create("vesko-fuzz-input", MFD_CLOEXEC);
        if (fd < 0)
            std::abort();
        return fd;
    }();
    static const std::wstring path = FromUtf8("/proc/self/fd/" + std::to_string(file));
    for (std::size_t done = 0; done < size;) {
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
