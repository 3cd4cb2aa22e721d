#include "storage/PublishOutput.h"

#include "engine/TransientRetry.h"
#include "storage/FileDisposition.h"
#include "storage/StoragePaths.h"
#include "storage/StorageSystem.h"

#include <cstring>
#include <vector>

namespace vesko {

namespace {

constexpr DWORD kErrorInvalidFunction = 1;
constexpr DWORD kErrorAccessDenied = 5;
constexpr DWORD kErrorSharingViolation = 32;
constexpr DWORD kErrorAlreadyExists = 183;

// FileRenameInfo with ReplaceIfExists 0: the rename itself is the only test of a name, so a file that
// appears meanwhile is never overwritten. Returns 0 or the error.
DWORD RenameWithoutReplacing(HANDLE file, const std::wstring& target) {
    const std::size_t nameBytes = target.size() * sizeof(wchar_t);
    const std::size_t bufferBytes = sizeof(FILE_RENAME_INFO) + nameBytes;
    // 64-bit units keep the record's handle member aligned; the zero fill ends the name with a zero.
    std::vector<std::uint64_t> buffer((bufferBytes + 7) / 8, 0);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, target.data(), nameBytes);
    if (System().setFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(bufferBytes)))
        return 0;
    return GetLastError();
}

// A scan holding the file or the directory refuses the rename for a moment. Access denied may also mean
// "a directory or a file being deleted is there": only a visible name counts as taken, and is no lock.
bool IsTransientLock(DWORD error, const std::wstring& target) {
    return error == kErrorSharingViolation ||
           (error == kErrorAccessDenied && GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES);
}

} // namespace

std::wstring PublishOutput(std::unique_ptr<PendingOutput>& pending, const std::wstring& outputPath,
                           bool pickUnusedName, const CancelFlag* cancelFlag) {
    using K = ConversionError::Kind;
    throwIfCancelled(cancelFlag);
    // An empty owner has nothing to publish; refusing it keeps the engine's mistake visible.
    if (!pending)
        ThrowStorageError(K::WriteFailed, "No output is reserved", kErrorInvalidFunction, cancelFlag);
    PendingOutput& output = *pending;
    if (output.published_)
        ThrowStorageError(K::WriteFailed, "Output was already committed", kErrorInvalidFunction, cancelFlag);
    if (!System().flushFileBuffers(output.outputHandle_.get()))
        ThrowStorageError(K::WriteFailed, "Cannot flush completed output", GetLastError(), cancelFlag);
    throwIfCancelled(cancelFlag);

    const std::wstring resolved = ResolveStoragePath(outputPath);
    const std::wstring userDirectory = DirectoryPrefix(resolved);
    const UniqueHandle directory = OpenStorageDirectory(userDirectory, false, K::WriteFailed, cancelFlag);
    const std::wstring finalDirectory = FinalDirectoryPath(directory.get(), K::WriteFailed, cancelFlag);
    // A drive letter or link re-pointed while converting: the temporary file lies elsewhere.
    if (_wcsicmp(finalDirectory.c_str(), output.directoryFinalPath_.c_str()) != 0)
        ThrowStorageError(K::WriteFailed, "Output directory changed during conversion", kErrorNotSameDevice,
                          cancelFlag);

    const std::wstring wantedName = resolved.substr(userDirectory.size());
    // A path that names only a directory would otherwise be published as " (1)" beside it.
    if (wantedName.empty())
        ThrowStorageError(K::PathProblem, "Invalid storage path", kErrorInvalidName, cancelFlag);
    for (std::uint32_t number = 0;; ++number) {
        throwIfCancelled(cancelFlag);
        const std::wstring candidate = CandidateName(wantedName, number);
        const std::wstring target = JoinStoragePath(finalDirectory, candidate);
        std::wstring publishedPath = userDirectory + candidate;

        const DWORD error = RetryTransientFailure(
            [&] { return RenameWithoutReplacing(output.outputHandle_.get(), target); },
            [&](std::uint32_t failure) { return IsTransientLock(failure, target); }, cancelFlag);
        if (error == 0) {
            // Nothing below may throw: the output is published now.
            output.published_ = true;
            if (!System().flushFileBuffers(output.outputHandle_.get())) {
                const DWORD flushError = GetLastError();
                output.publishFlushError_ = flushError != 0 ? flushError : kErrorWriteFault;
            }
            output.outputHandle_.reset();
            if (output.publishFlushError_ == 0 && MarkForDeletion(output.journalHandle_.get()))
                output.journalHandle_.reset();
            return publishedPath;
        }

        // A lock that outlasted the retries is reported as before, unless the user cancelled meanwhile.
        if (IsTransientLock(error, target)) {
            throwIfCancelled(cancelFlag);
            ThrowStorageError(K::WriteFailed, "Cannot publish completed output", error, cancelFlag);
        }
        // Access denied on a visible name: a directory or a file being deleted holds it.
        const bool taken =
            error == kErrorFileExists || error == kErrorAlreadyExists || error == kErrorAccessDenied;
        if (!taken)
            ThrowStorageError(K::WriteFailed, "Cannot publish completed output", error, cancelFlag);
        NextCandidateOrThrow(error, pickUnusedName, number, cancelFlag);
    }
}

} // namespace vesko
