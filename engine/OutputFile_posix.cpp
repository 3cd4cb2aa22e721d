#include "engine/OutputFile.h"

#include "engine/ConversionError.h"
#include "engine/ErrnoCode.h"

#include <cerrno>
#include <unistd.h>

namespace vesko {

namespace {

class FdOutputFile : public OutputFile {
  public:
    explicit FdOutputFile(int fd) : fd_(fd) {}

    std::uint32_t writeSome(const void* data, std::uint32_t length, std::uint32_t& written) override {
        for (;;) {
            const ssize_t n = ::write(fd_, data, length);
            if (n >= 0) {
                written = static_cast<std::uint32_t>(n);
                return 0;
            }
            // As for reads: only a cancelling signal ends a write that was interrupted.
            if (errno != EINTR || IsCancelRequested(currentCancelFlag))
                return WindowsCodeFromErrno(errno);
        }
    }

  private:
    int fd_;
};

} // namespace

std::unique_ptr<OutputFile> BorrowOutputFd(int fd) {
    return std::make_unique<FdOutputFile>(fd);
}

} // namespace vesko
