#include "convert/SourceDeletion.h"

#include "storage/UniqueHandle.h"

#include <windows.h>

namespace vesko {

namespace {

constexpr DWORD kDeleteAccess = DELETE | FILE_READ_ATTRIBUTES;
constexpr DWORD kErrorCancelled = 1223;
constexpr DWORD kErrorFileInvalid = 1006;
// Not every SDK's enumeration names it yet.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

thread_local DeletionPath lastPath = DeletionPath::None;

DWORD LastErrorWhile(const CancelFlag* cancelFlag) {
    const DWORD error = GetLastError();
    return (error == ERROR_OPERATION_ABORTED && IsCancelRequested(cancelFlag)) ? kErrorCancelled : error;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& now, const FileIdentity& recorded) {
    return (now.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
           now.dwVolumeSerialNumber == recorded.volumeSerial &&
           now.nFileIndexHigh == recorded.fileIndexHigh && now.nFileIndexLow == recorded.fileIndexLow &&
           now.nFileSizeHigh == recorded.fileSizeHigh && now.nFileSizeLow == recorded.fileSizeLow &&
           now.ftLastWriteTime.dwLowDateTime == recorded.lastWriteLow &&
           now.ftLastWriteTime.dwHighDateTime == recorded.lastWriteHigh;
}

// FAT32, exFAT and early Windows 10 refuse POSIX-semantics deletion with one of these.
bool PosixDeletionRefused(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_NOT_SUPPORTED;
}

} // namespace

DeletionPath LastDeletionPath() noexcept {
    return lastPath;
}

std::uint32_t DeleteSourceIfUnchanged(const std::wstring& longInputPath, const FileIdentity* identity,
                                      std::uint32_t identityError, std::uint32_t publishFlushError,
                                      const CancelFlag* cancelFlag) noexcept {
    lastPath = DeletionPath::None;
    if (publishFlushError != 0)
        return publishFlushError;
    if (IsCancelRequested(cancelFlag))
        return kErrorCancelled;
    if (identity == nullptr)
        return identityError != 0 ? identityError : ERROR_NOT_SUPPORTED;
    if (identity->fileIndexHigh == 0 && identity->fileIndexLow == 0)
        return ERROR_NOT_SUPPORTED;

    UniqueHandle source(CreateFileW(longInputPath.c_str(), kDeleteAccess, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!source.valid())
        return LastErrorWhile(cancelFlag);
    BY_HANDLE_FILE_INFORMATION now{};
    if (!GetFileInformationByHandle(source.get(), &now))
        return LastErrorWhile(cancelFlag);
    if (!SameFile(now, *identity))
        return kErrorFileInvalid;
    if (IsCancelRequested(cancelFlag))
        return kErrorCancelled;

    FILE_DISPOSITION_INFO_EX posix{};
    posix.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
                  FILE_DISPOSITION_FLAG_FORCE_IMAGE_SECTION_CHECK;
    if (SetFileInformationByHandle(source.get(), kFileDispositionInfoEx, &posix, sizeof posix)) {
        lastPath = DeletionPath::PosixSemantics;
        return 0;
    }
    const DWORD posixError = LastErrorWhile(cancelFlag);
    if (!PosixDeletionRefused(posixError))
        return posixError;
    // The same verified handle, marked the classic way: the file goes when the handle closes.
    FILE_DISPOSITION_INFO classic{};
    classic.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(source.get(), FileDispositionInfo, &classic, sizeof classic))
        return LastErrorWhile(cancelFlag);
    lastPath = DeletionPath::Classic;
    return 0;
}

} // namespace vesko
