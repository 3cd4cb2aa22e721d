// Where the output writer's bytes go: the reserved temporary file, or a test sink.
#pragma once

#include <cstdint>
#include <memory>

namespace vesko {

class OutputFile {
  public:
    virtual ~OutputFile() = default;
    // Writes up to `length` bytes; returns 0 or the system's error code.
    virtual std::uint32_t writeSome(const void* data, std::uint32_t length, std::uint32_t& written) = 0;
};

#ifdef _WIN32
// Writes through a handle that stays owned by its reservation.
std::unique_ptr<OutputFile> BorrowOutputHandle(void* handle);
#else
// Writes through a descriptor that stays owned by its reservation.
std::unique_ptr<OutputFile> BorrowOutputFd(int fd);
#endif

} // namespace vesko
