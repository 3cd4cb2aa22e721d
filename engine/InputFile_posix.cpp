#include "engine/InputFile.h"

#include "engine/ConversionError.h"
#include "engine/ErrnoCode.h"
#include "engine/FileIdentity_posix.h"
#include "engine/Paths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesko {

namespace {

std::uint64_t NanosecondsOf(const timespec& time) {
    return static_cast<std::uint64_t>(time.tv_sec) * 1000000000u + static_cast<std::uint64_t>(time.tv_nsec);
}

} // namespace

FileIdentity FileIdentityOf(const struct stat& st) {
    const auto ino = static_cast<std::uint64_t>(st.st_ino);
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const auto mtime = NanosecondsOf(st.st_mtim);
    FileIdentity identity;
    identity.attributes = S_ISDIR(st.st_mode) ? 0x10u : 0u;
    identity.volumeSerial = static_cast<std::uint32_t>(st.st_dev);
    identity.fileIndexHigh = static_cast<std::uint32_t>(ino >> 32);
    identity.fileIndexLow = static_cast<std::uint32_t>(ino);
    identity.fileSizeHigh = static_cast<std::uint32_t>(size >> 32);
    identity.fileSizeLow = static_cast<std::uint32_t>(size);
    identity.lastWriteLow = static_cast<std::uint32_t>(mtime);
    identity.lastWriteHigh = static_cast<std::uint32_t>(mtime >> 32);
    identity.changeTime = NanosecondsOf(st.st_ctim);
    return identity;
}

InputFile::InputFile(const std::wstring& longPath) {
    const int fd = ::open(ToUtf8(longPath).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        ThrowWindowsError(ConversionError::Kind::ReadFailed, "Не удалось открыть входной NSZ.",
                          WindowsCodeFromErrno(errno));
    native_ = fd;
}

InputFile::~InputFile() {
    close();
}

void InputFile::close() {
    if (isOpen()) {
        ::close(static_cast<int>(native_));
        native_ = -1;
    }
}

bool InputFile::isOpen() const {
    return native_ >= 0;
}

std::uint64_t InputFile::size() const {
    struct stat st {};
    if (fstat(static_cast<int>(native_), &st) != 0)
        ThrowWindowsError(ConversionError::Kind::ReadFailed, "Не удалось прочитать размер файла.",
                          WindowsCodeFromErrno(errno));
    if (st.st_size < 0)
        ThrowConversionError("Некорректный размер файла.", ConversionError::Kind::Corrupt);
    return static_cast<std::uint64_t>(st.st_size);
}

std::uint32_t InputFile::queryIdentity(FileIdentity& identity) const {
    struct stat st {};
    if (fstat(static_cast<int>(native_), &st) != 0)
        return WindowsCodeFromErrno(errno);
    identity = FileIdentityOf(st);
    return 0;
}

std::uint32_t InputFile::seekTo(std::uint64_t offset) const {
    return lseek(static_cast<int>(native_), static_cast<off_t>(offset), SEEK_SET) < 0
               ? WindowsCodeFromErrno(errno)
               : 0;
}

std::uint32_t InputFile::readSome(void* buffer, std::uint32_t length, std::uint32_t& got) const {
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(native_), buffer, length);
        if (n >= 0) {
            got = static_cast<std::uint32_t>(n);
            return 0;
        }
        // A cancelling signal interrupts a read blocked on a slow device (it is installed without
        // SA_RESTART); any other interruption is retried.
        if (errno != EINTR || IsCancelRequested(currentCancelFlag))
            return WindowsCodeFromErrno(errno);
    }
}

} // namespace vesko
