#include "engine/OutputFile.h"

#include "engine/ConversionError.h"
#include "engine/Paths.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vesko {

namespace {

class FdOutputFile : public OutputFile {
  public:
    explicit FdOutputFile(int fd) : fd_(fd) {}
    ~FdOutputFile() override { ::close(fd_); }
    FdOutputFile(const FdOutputFile&) = delete;
    FdOutputFile& operator=(const FdOutputFile&) = delete;

    std::uint32_t writeSome(const void* data, std::uint32_t length, std::uint32_t& written) override {
        for (;;) {
            const ssize_t n = ::write(fd_, data, length);
            if (n >= 0) {
                written = static_cast<std::uint32_t>(n);
                return 0;
            }
            if (errno != EINTR)
                return static_cast<std::uint32_t>(errno);
        }
    }

  private:
    int fd_;
};

} // namespace

std::unique_ptr<OutputFile> CreateOutputFile(const std::wstring& path) {
    const int fd = ::open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        ThrowWindowsErrorMapped(ConversionError::Kind::WriteFailed, "Cannot create output file",
                                static_cast<std::uint32_t>(errno));
    return std::make_unique<FdOutputFile>(fd);
}

} // namespace vesko
