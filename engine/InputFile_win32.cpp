#include "engine/InputFile.h"

#include "engine/ConversionError.h"

#include <windows.h>

namespace vesko {

namespace {
HANDLE AsHandle(std::intptr_t native) {
    return reinterpret_cast<HANDLE>(native);
}
} // namespace

InputFile::InputFile(const std::wstring& longPath) {
    HANDLE handle = CreateFileW(longPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        ThrowWindowsError(ConversionError::Kind::ReadFailed, "Не удалось открыть входной NSZ.",
                          GetLastError());
    native_ = reinterpret_cast<std::intptr_t>(handle);
}

InputFile::~InputFile() {
    close();
}

void InputFile::close() {
    if (isOpen()) {
        CloseHandle(AsHandle(native_));
        native_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
    }
}

bool InputFile::isOpen() const {
    return AsHandle(native_) != INVALID_HANDLE_VALUE;
}

std::uint64_t InputFile::size() const {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(AsHandle(native_), &size))
        ThrowWindowsError(ConversionError::Kind::ReadFailed, "Не удалось прочитать размер файла.",
                          GetLastError());
    if (size.QuadPart < 0)
        ThrowConversionError("Некорректный размер файла.", ConversionError::Kind::Corrupt);
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::uint32_t InputFile::queryIdentity(FileIdentity& identity) const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(AsHandle(native_), &info))
        return GetLastError();
    identity.attributes = info.dwFileAttributes;
    identity.volumeSerial = info.dwVolumeSerialNumber;
    identity.fileIndexHigh = info.nFileIndexHigh;
    identity.fileIndexLow = info.nFileIndexLow;
    identity.fileSizeHigh = info.nFileSizeHigh;
    identity.fileSizeLow = info.nFileSizeLow;
    identity.lastWriteLow = info.ftLastWriteTime.dwLowDateTime;
    identity.lastWriteHigh = info.ftLastWriteTime.dwHighDateTime;
    return 0;
}

std::uint32_t InputFile::seekTo(std::uint64_t offset) const {
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(AsHandle(native_), distance, nullptr, FILE_BEGIN) ? 0 : GetLastError();
}

std::uint32_t InputFile::readSome(void* buffer, std::uint32_t length, std::uint32_t& got) const {
    DWORD read = 0;
    if (!ReadFile(AsHandle(native_), buffer, length, &read, nullptr))
        return GetLastError();
    got = read;
    return 0;
}

} // namespace vesko
