#include "storage/StoragePaths.h"

#include "engine/ErrnoCode.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#include <vector>

namespace vesko {

namespace {

constexpr std::uint32_t kErrorFilenameTooLong = 206;

// The last component is opened without following a link; a link or a non-directory there is unsafe.
UniqueFd OpenDirectory(int parent, const std::string& path, bool refuseSymbolicLink,
                       ConversionError::Kind kind, const CancelFlag* cancelFlag) {
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (refuseSymbolicLink ? O_NOFOLLOW : 0);
    UniqueFd directory(::openat(parent, path.c_str(), flags));
    if (!directory.valid()) {
        const int error = errno;
        if (error == ENOTDIR || (refuseSymbolicLink && error == ELOOP))
            ThrowStorageError(kind, "Unsafe storage directory", kErrorCantAccessFile, cancelFlag);
        ThrowStorageError(kind, "Cannot open storage directory", WindowsCodeFromErrno(error), cancelFlag);
    }
    struct stat info {};
    if (::fstat(directory.get(), &info) != 0)
        ThrowStorageError(kind, "Cannot inspect storage directory", WindowsCodeFromErrno(errno), cancelFlag);
    if (!S_ISDIR(info.st_mode))
        ThrowStorageError(kind, "Unsafe storage directory", kErrorCantAccessFile, cancelFlag);
    return directory;
}

// As GetFullPathNameW does: "." and empty components dropped, ".." taken lexically, so that the
// paths a journal records have only named components.
std::wstring Normalized(const std::wstring& full) {
    std::vector<std::wstring> parts;
    for (std::size_t start = 1; start <= full.size();) {
        std::size_t end = full.find(L'/', start);
        if (end == std::wstring::npos)
            end = full.size();
        const std::wstring part = full.substr(start, end - start);
        if (part == L"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != L".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::wstring result;
    for (const std::wstring& part : parts)
        result += L"/" + part;
    if (result.empty() || full.back() == L'/')
        result += L"/";
    return result;
}

} // namespace

std::wstring ResolveStoragePath(const std::wstring& path) {
    using K = ConversionError::Kind;
    if (path.empty() || path.find(L'\0') != std::wstring::npos)
        ThrowStorageError(K::PathProblem, "Invalid storage path", kErrorInvalidName, nullptr);
    std::wstring full;
    try {
        full = Normalized(ToFullPath(path));
    } catch (const ConversionError& e) {
        ThrowStorageError(K::PathProblem, "Cannot resolve storage path", e.windowsError, nullptr);
    }
    if (full.size() > kMaxStoragePath)
        ThrowStorageError(K::PathProblem, "Cannot resolve storage path", kErrorFilenameTooLong, nullptr);
    return full;
}

std::wstring DirectoryPrefix(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'/');
    if (slash == std::wstring::npos)
        ThrowStorageError(ConversionError::Kind::PathProblem, "Missing output directory", kErrorInvalidName,
                          nullptr);
    return path.substr(0, slash + 1);
}

std::wstring JoinStoragePath(const std::wstring& directory, const std::wstring& name) {
    if (!directory.empty() && directory.back() == L'/')
        return directory + name;
    return directory + L"/" + name;
}

UniqueFd OpenStorageDirectory(const std::wstring& path, bool refuseSymbolicLink, ConversionError::Kind kind,
                              const CancelFlag* cancelFlag) {
    std::string bytes = ToUtf8(path);
    // "dir/" would make O_NOFOLLOW look through a link named "dir"; the name itself is what is opened.
    while (bytes.size() > 1 && bytes.back() == '/')
        bytes.pop_back();
    return OpenDirectory(AT_FDCWD, bytes, refuseSymbolicLink, kind, cancelFlag);
}

UniqueFd OpenStorageDirectoryAt(const UniqueFd& parent, const std::wstring& name, ConversionError::Kind kind,
                                const CancelFlag* cancelFlag) {
    return OpenDirectory(parent.get(), ToUtf8(name), true, kind, cancelFlag);
}

DirectoryIdentity IdentityOfDirectory(const UniqueFd& directory, ConversionError::Kind kind,
                                      const CancelFlag* cancelFlag) {
    struct stat info {};
    if (::fstat(directory.get(), &info) != 0)
        ThrowStorageError(kind, "Cannot inspect storage directory", WindowsCodeFromErrno(errno), cancelFlag);
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

} // namespace vesko
