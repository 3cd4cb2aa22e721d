#include "storage/StoragePaths.h"

#include "storage/StorageSystem.h"

#include <vector>

namespace vesko {

namespace {

constexpr DWORD kErrorFilenameTooLong = 206;

// "\\?\D:\" is 7 characters: a drive root keeps its backslash.
constexpr std::size_t kDriveRootLength = 7;

} // namespace

std::wstring ResolveStoragePath(const std::wstring& path) {
    using K = ConversionError::Kind;
    if (path.empty() || path.find(L'\0') != std::wstring::npos)
        ThrowStorageError(K::PathProblem, "Invalid storage path", kErrorInvalidName, nullptr);
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        ThrowStorageError(K::PathProblem, "Cannot resolve storage path", GetLastError(), nullptr);
    if (needed > kMaxStoragePath)
        ThrowStorageError(K::PathProblem, "Cannot resolve storage path", kErrorFilenameTooLong, nullptr);
    std::vector<wchar_t> buffer(static_cast<std::size_t>(needed) + 1, L'\0');
    const DWORD result = GetFullPathNameW(path.c_str(), needed + 1, buffer.data(), nullptr);
    if (result == 0 || result >= needed + 1)
        ThrowStorageError(K::PathProblem, "Cannot resolve storage path", GetLastError(), nullptr);
    std::wstring full(buffer.data(), result);
    for (wchar_t& c : full) {
        if (c == L'/')
            c = L'\\';
    }
    return full;
}

std::wstring DirectoryPrefix(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos)
        ThrowStorageError(ConversionError::Kind::PathProblem, "Missing output directory", kErrorInvalidName,
                          nullptr);
    return path.substr(0, slash + 1);
}

std::wstring JoinStoragePath(const std::wstring& directory, const std::wstring& name) {
    if (!directory.empty() && directory.back() == L'\\')
        return directory + name;
    return directory + L"\\" + name;
}

UniqueHandle OpenStorageDirectory(const std::wstring& path, bool refuseReparsePoint,
                                  ConversionError::Kind kind, const CancelFlag* cancelFlag) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
    if (refuseReparsePoint)
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    UniqueHandle directory(System().createFile(ToLongPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                               flags, nullptr));
    if (!directory.valid())
        ThrowStorageError(kind, "Cannot open storage directory", GetLastError(), cancelFlag);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!System().getFileInformationByHandle(directory.get(), &info))
        ThrowStorageError(kind, "Cannot inspect storage directory", GetLastError(), cancelFlag);
    const bool isDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isReparsePoint = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!isDirectory || (refuseReparsePoint && isReparsePoint))
        ThrowStorageError(kind, "Unsafe storage directory", kErrorCantAccessFile, cancelFlag);
    return directory;
}

std::wstring FinalDirectoryPath(HANDLE directory, ConversionError::Kind kind, const CancelFlag* cancelFlag) {
    const DWORD needed = System().getFinalPathNameByHandle(directory, nullptr, 0, 0);
    if (needed == 0)
        ThrowStorageError(kind, "Cannot resolve storage directory", GetLastError(), cancelFlag);
    if (needed > kMaxStoragePath)
        ThrowStorageError(kind, "Cannot resolve storage directory", kErrorFilenameTooLong, cancelFlag);
    std::vector<wchar_t> buffer(static_cast<std::size_t>(needed) + 1, L'\0');
    const DWORD result = System().getFinalPathNameByHandle(directory, buffer.data(), needed + 1, 0);
    if (result == 0 || result >= needed + 1)
        ThrowStorageError(kind, "Cannot resolve storage directory", GetLastError(), cancelFlag);
    std::wstring path(buffer.data(), result);
    while (path.size() >= kDriveRootLength + 1 && path.back() == L'\\')
        path.pop_back();
    return path;
}

} // namespace vesko
