#include "convert/SourceDeletion.h"

#include "engine/TransientRetry.h"
#include "storage/StorageSystem.h"
#include "storage/UniqueHandle.h"

#include <windows.h>

namespace vesko {

namespace {

constexpr DWORD kDeleteAccess = DELETE | FILE_READ_ATTRIBUTES;
// Not every SDK's enumeration names it yet.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

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

std::uint32_t DeleteSourceIfUnchanged(const std::wstring& longInputPath, const FileIdentity* identity,
                                      std::uint32_t identityError, std::uint32_t publishFlushError,
                                      const CancelFlag* cancelFlag) noexcept {
    RecordDeletionPath(DeletionPath::None);
    if (const std::uint32_t kept =
            SourceKeptBeforeCheck(identity, identityError, publishFlushError, cancelFlag))
        return kept;

    // A scanner that opened the converted file a moment ago is waited for; a program that holds it keeps it.
    UniqueHandle source;
    const std::uint32_t openError = RetryTransientFailure(
        [&]() -> std::uint32_t {
            source.reset(System().createFile(longInputPath.c_str(), kDeleteAccess, 0, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            return source.valid() ? 0 : KeptForSystemError(GetLastError(), cancelFlag);
        },
        [](std::uint32_t error) { return error == ERROR_SHARING_VIOLATION; }, cancelFlag);
    if (openError != 0)
        return openError == ERROR_SHARING_VIOLATION && IsCancelRequested(cancelFlag) ? kErrorCancelled
                                                                                     : openError;
    BY_HANDLE_FILE_INFORMATION now{};
    if (!GetFileInformationByHandle(source.get(), &now))
        return KeptForSystemError(GetLastError(), cancelFlag);
    if (!SameFile(now, *identity))
        return kErrorFileInvalid;
    if (IsCancelRequested(cancelFlag))
        return kErrorCancelled;

    FILE_DISPOSITION_INFO_EX posix{};
    posix.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
                  FILE_DISPOSITION_FLAG_FORCE_IMAGE_SECTION_CHECK;
    if (SetFileInformationByHandle(source.get(), kFileDispositionInfoEx, &posix, sizeof posix)) {
        RecordDeletionPath(DeletionPath::PosixSemantics);
        return 0;
    }
    const DWORD posixError = KeptForSystemError(GetLastError(), cancelFlag);
    if (!PosixDeletionRefused(posixError))
        return posixError;
    // The same verified handle, marked the classic way: the file goes when the handle closes.
    FILE_DISPOSITION_INFO classic{};
    classic.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(source.get(), FileDispositionInfo, &classic, sizeof classic))
        return KeptForSystemError(GetLastError(), cancelFlag);
    RecordDeletionPath(DeletionPath::Classic);
    return 0;
}

} // namespace vesko
