#include "storage/PendingOutput.h"

#include "engine/ErrnoCode.h"
#include "storage/EntryFacts_posix.h"
#include "storage/StorageSystem_posix.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace vesko {

namespace {

constexpr int kRecordNameAttempts = 32;
constexpr mode_t kPrivateFile = 0600;
// The kernel applies the umask: the published file gets the permissions of any new file of the user.
constexpr mode_t kNewFile = 0666;
constexpr int kCreateFlags = O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;

// Unlinks `name` in `directory` only while it is still the file open as `file`.
bool RemoveIfSame(const UniqueFd& directory, const std::string& name, const UniqueFd& file) {
    EntryFacts open;
    EntryFacts named;
    if (StatEntry(file.get(), "", open) != 0 || StatEntry(directory.get(), name, named) != 0 ||
        open.device != named.device || open.inode != named.inode)
        return false;
    return ::unlinkat(directory.get(), name.c_str(), 0) == 0;
}

} // namespace

PendingOutput::~PendingOutput() {
    bool temporaryGone = true;
    if (outputHandle_.valid() && !published_)
        temporaryGone = RemoveIfSame(directoryHandle_, temporaryName_, outputHandle_);
    outputHandle_.reset();
    // As on Windows: a journal stays while its temporary file does, or as the trace of a failed flush.
    if ((!published_ || publishFlushError_ == 0) && temporaryGone && journalHandle_.valid() &&
        !recoveryDirectory_.handles.empty())
        RemoveIfSame(recoveryDirectory_.handles.back(), journalName_, journalHandle_);
    recoveryDirectory_.reset();
    directoryHandle_.reset();
    journalHandle_.reset();
}

void CreatePendingOutput(std::unique_ptr<PendingOutput>& owner, const std::wstring& outputPath,
                         const CancelFlag* cancelFlag) {
    using K = ConversionError::Kind;
    owner = std::make_unique<PendingOutput>();
    PendingOutput& pending = *owner;
    throwIfCancelled(cancelFlag);

    const std::wstring directory = DirectoryPrefix(ResolveStoragePath(outputPath));
    pending.directoryHandle_ = OpenStorageDirectory(directory, true, K::WriteFailed, cancelFlag);
    pending.directoryIdentity_ = IdentityOfDirectory(pending.directoryHandle_, K::WriteFailed, cancelFlag);
    pending.recoveryDirectory_ = OpenRecoveryDirectory(true, cancelFlag);
    const UniqueFd& recovery = pending.recoveryDirectory_.handles.back();

    std::wstring temporaryPath;
    for (int attempt = 0; attempt < kRecordNameAttempts && !pending.outputHandle_.valid(); ++attempt) {
        throwIfCancelled(cancelFlag);
        std::uint8_t random[kRecordNameBytes] = {};
        if (!System().fillRandom(random, sizeof random))
            throw ConversionError("Random generator failed", K::SystemCrypto, 0, 0, 0);
        const std::wstring recordName = RecordNameOf(random);

        pending.journalName_ = ToUtf8(JournalFileName(recordName));
        pending.journalHandle_.reset(
            ::openat(recovery.get(), pending.journalName_.c_str(), O_RDWR | kCreateFlags, kPrivateFile));
        if (!pending.journalHandle_.valid()) {
            if (errno == EEXIST)
                continue;
            ThrowStorageError(K::RecoveryRecords, "Cannot create recovery journal",
                              WindowsCodeFromErrno(errno), cancelFlag);
        }
        // Held until the reservation ends; a scan that holds it for a moment only delays this call.
        if (::flock(pending.journalHandle_.get(), LOCK_EX) != 0)
            ThrowStorageError(K::RecoveryRecords, "Cannot lock recovery journal", WindowsCodeFromErrno(errno),
                              cancelFlag);

        pending.temporaryName_ = ToUtf8(TemporaryFileName(recordName));
        // O_EXCL with O_NOFOLLOW: an existing name, a symbolic link above all, is never opened.
        pending.outputHandle_.reset(::openat(pending.directoryHandle_.get(), pending.temporaryName_.c_str(),
                                             O_WRONLY | kCreateFlags, kNewFile));
        if (!pending.outputHandle_.valid()) {
            const int error = errno;
            // The two files of a reservation always share one record name: drop this journal first.
            const bool journalDeleted = RemoveIfSame(recovery, pending.journalName_, pending.journalHandle_);
            pending.journalHandle_.reset();
            if (error == EEXIST && journalDeleted)
                continue;
            ThrowStorageError(K::WriteFailed, "Cannot create temporary output", WindowsCodeFromErrno(error),
                              cancelFlag);
        }
        temporaryPath = JoinStoragePath(directory, TemporaryFileName(recordName));
    }
    if (!pending.outputHandle_.valid())
        ThrowStorageError(K::RecoveryRecords, "Cannot choose a recovery record name", kErrorFileExists,
                          cancelFlag);

    EntryFacts facts;
    if (const int error = StatEntry(pending.outputHandle_.get(), "", facts))
        ThrowStorageError(K::RecoveryRecords, "Cannot record output identity", WindowsCodeFromErrno(error),
                          cancelFlag);
    // Without a unique, stable identity the next start could not tell this file from another one.
    if (!facts.plainFile || facts.inode == 0 || temporaryPath.size() > kJournalMaxPathLength)
        ThrowStorageError(K::RecoveryRecords, "Output identity is unavailable", kErrorNotSupported,
                          cancelFlag);

    const std::vector<std::uint8_t> record = BuildJournalRecord(facts.identity, temporaryPath);
    const ssize_t written = ::write(pending.journalHandle_.get(), record.data(), record.size());
    if (written < 0)
        ThrowStorageError(K::RecoveryRecords, "Cannot write recovery journal", WindowsCodeFromErrno(errno),
                          cancelFlag);
    if (static_cast<std::size_t>(written) < record.size())
        ThrowStorageError(K::RecoveryRecords, "Incomplete recovery journal", kErrorWriteFault, cancelFlag);
    // The record and its name in the directory are on disk before the first byte of output.
    if (::fsync(pending.journalHandle_.get()) != 0 || ::fsync(recovery.get()) != 0)
        ThrowStorageError(K::RecoveryRecords, "Cannot flush recovery journal", WindowsCodeFromErrno(errno),
                          cancelFlag);
    throwIfCancelled(cancelFlag);
}

} // namespace vesko
