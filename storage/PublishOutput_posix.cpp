#include "storage/PublishOutput.h"

#include "engine/ErrnoCode.h"
#include "storage/StoragePaths.h"
#include "storage/StorageSystem_posix.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace vesko {

namespace {

constexpr std::uint32_t kErrorInvalidFunction = 1;

bool Refused(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EPERM;
}

// Gives the temporary file the name `target` in the same directory without ever replacing a file;
// returns 0 or the errno (EEXIST: the name is taken).
int RenameWithoutReplacing(int directory, const std::string& temporary, const std::string& target) {
    if (System().renameNoReplace(directory, temporary.c_str(), directory, target.c_str()) == 0)
        return 0;
    if (!Refused(errno))
        return errno;
    // A file system without RENAME_NOREPLACE: a hard link fails on an existing name just the same.
    if (System().linkAt(directory, temporary.c_str(), directory, target.c_str(), 0) == 0) {
        ::unlinkat(directory, temporary.c_str(), 0);
        return 0;
    }
    if (!Refused(errno))
        return errno;
    // Neither (FAT has no links): claim the name with an exclusively created empty file, then rename
    // over it. Only that placeholder, made by this call a moment before, can be replaced.
    const int placeholder =
        ::openat(directory, target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (placeholder < 0)
        return errno;
    ::close(placeholder);
    if (::renameat(directory, temporary.c_str(), directory, target.c_str()) == 0)
        return 0;
    const int error = errno;
    ::unlinkat(directory, target.c_str(), 0);
    return error;
}

} // namespace

std::wstring PublishOutput(std::unique_ptr<PendingOutput>& pending, const std::wstring& outputPath,
                           bool pickUnusedName, const CancelFlag* cancelFlag) {
    using K = ConversionError::Kind;
    throwIfCancelled(cancelFlag);
    if (!pending)
        ThrowStorageError(K::WriteFailed, "No output is reserved", kErrorInvalidFunction, cancelFlag);
    PendingOutput& output = *pending;
    if (output.published_)
        ThrowStorageError(K::WriteFailed, "Output was already committed", kErrorInvalidFunction, cancelFlag);
    if (::fsync(output.outputHandle_.get()) != 0)
        ThrowStorageError(K::WriteFailed, "Cannot flush completed output", WindowsCodeFromErrno(errno),
                          cancelFlag);
    throwIfCancelled(cancelFlag);

    const std::wstring resolved = ResolveStoragePath(outputPath);
    const std::wstring userDirectory = DirectoryPrefix(resolved);
    const UniqueFd directory = OpenStorageDirectory(userDirectory, true, K::WriteFailed, cancelFlag);
    // The path now leads elsewhere (a link or mount changed while converting): the result would lie.
    if (!(IdentityOfDirectory(directory, K::WriteFailed, cancelFlag) == output.directoryIdentity_))
        ThrowStorageError(K::WriteFailed, "Output directory changed during conversion", kErrorNotSameDevice,
                          cancelFlag);

    const std::wstring wantedName = resolved.substr(userDirectory.size());
    if (wantedName.empty())
        ThrowStorageError(K::PathProblem, "Invalid storage path", kErrorInvalidName, cancelFlag);
    for (std::uint32_t number = 0;; ++number) {
        throwIfCancelled(cancelFlag);
        const std::wstring candidate = CandidateName(wantedName, number);
        const int error =
            RenameWithoutReplacing(output.directoryHandle_.get(), output.temporaryName_, ToUtf8(candidate));
        if (error == 0) {
            // Nothing below may throw: the output is published now. The directory is synced too, or the
            // new name might not survive a power loss.
            output.published_ = true;
            if (::fsync(output.outputHandle_.get()) != 0 || ::fsync(output.directoryHandle_.get()) != 0) {
                const std::uint32_t flushError = WindowsCodeFromErrno(errno);
                output.publishFlushError_ = flushError != 0 ? flushError : kErrorWriteFault;
            }
            output.outputHandle_.reset();
            if (output.publishFlushError_ == 0 && ::unlinkat(output.recoveryDirectory_.handles.back().get(),
                                                             output.journalName_.c_str(), 0) == 0)
                output.journalHandle_.reset();
            return userDirectory + candidate;
        }
        if (error != EEXIST)
            ThrowStorageError(K::WriteFailed, "Cannot publish completed output", WindowsCodeFromErrno(error),
                              cancelFlag);
        NextCandidateOrThrow(kErrorFileExists, pickUnusedName, number, cancelFlag);
    }
}

} // namespace vesko
