#include "engine/InputFile.h"

#include "engine/ConversionError.h"
#include "engine/Paths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesko {

InputFile::InputFile(const std::wstring& longPath) {
    const int fd = ::open(ToUtf8(longPath).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        ThrowWindowsError(ConversionError::Kind::ReadFailed, "Не удалось открыть входной NSZ.",
                          static_cast<std::uint32_t>(errno));
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
                          static_cast<std::uint32_t>(errno));
    if (st.st_size < 0)
        ThrowConversionError("Некорректный размер файла.", ConversionError::Kind::Corrupt);
    return static_cast<std::uint64_t>(st.st_size);
}

std::uint32_t InputFile::queryIdentity(FileIdentity& identity) const {
    struct stat st {};
    if (fstat(static_cast<int>(native_), &st) != 0)
        return static_cast<std::uint32_t>(errno);
    const auto ino = static_cast<std::uint64_t>(st.st_ino);
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const auto mtime = static_cast<std::uint64_t>(st.st_mtime);
    identity.attributes = S_ISDIR(st.st_mode) ? 0x10u : 0u;
    identity.volumeSerial = static_cast<std::uint32_t>(st.st_dev);
    identity.fileIndexHigh = static_cast<std::uint32_t>(ino >> 32);
    identity.fileIndexLow = static_cast<std::uint32_t>(ino);
    identity.fileSizeHigh = static_cast<std::uint32_t>(size >> 32);
    identity.fileSizeLow = static_cast<std::uint32_t>(size);
    identity.lastWriteLow = static_cast<std::uint32_t>(mtime);
    identity.lastWriteHigh = static_cast<std::uint32_t>(mtime >> 32);
    return 0;
}

std::uint32_t InputFile::seekTo(std::uint64_t offset) const {
    return lseek(static_cast<int>(native_), static_cast<off_t>(offset), SEEK_SET) < 0
               ? static_cast<std::uint32_t>(errno)
               : 0;
}

std::uint32_t InputFile::readSome(void* buffer, std::uint32_t length, std::uint32_t& got) const {
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(native_), buffer, length);
        if (n >= 0) {
            got = static_cast<std::uint32_t>(n);
            return 0;
        }
        if (errno != EINTR)
            return static_cast<std::uint32_t>(errno);
    }
}

} // namespace vesko
