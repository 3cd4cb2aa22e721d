#include "storage/PendingOutput.h"

#include "storage/FileDisposition.h"
#include "storage/JournalIdentityOf.h"
#include "storage/StoragePaths.h"
#include "storage/StorageSystem.h"

#include <bcrypt.h>

namespace vesko {

namespace {

constexpr int kRecordNameAttempts = 32;
constexpr DWORD kErrorAlreadyExists = 183;

bool IsNameTaken(DWORD error) {
    return error == kErrorFileExists || error == kErrorAlreadyExists;
}

} // namespace

PendingOutput::~PendingOutput() {
    bool temporaryGone = true;
    if (outputHandle_.valid()) {
        if (!published_)
            temporaryGone = MarkForDeletion(outputHandle_.get());
        outputHandle_.reset();
    }
    // A journal whose temporary file could not be deleted stays, so that the next start deletes the file;
    // one whose published output failed its flush stays too, as a trace for that start to clear.
    if ((!published_ || publishFlushError_ == 0) && temporaryGone && journalHandle_.valid())
        MarkForDeletion(journalHandle_.get());
    directoryFinalPath_.clear();
    recoveryDirectory_.reset();
    directoryHandle_.reset();
    journalHandle_.reset();
    outputHandle_.reset();
}

void CreatePendingOutput(std::unique_ptr<PendingOutput>& owner, const std::wstring& outputPath,
                         const CancelFlag* cancelFlag) {
    using K = ConversionError::Kind;
    // In the owner before anything can fail, so that every failure below discards it there.
    owner = std::make_unique<PendingOutput>();
    PendingOutput& pending = *owner;
    throwIfCancelled(cancelFlag);

    const std::wstring directory = DirectoryPrefix(ResolveStoragePath(outputPath));
    pending.directoryHandle_ = OpenStorageDirectory(directory, false, K::WriteFailed, cancelFlag);
    pending.directoryFinalPath_ =
        FinalDirectoryPath(pending.directoryHandle_.get(), K::WriteFailed, cancelFlag);
    pending.recoveryDirectory_ = OpenRecoveryDirectory(true, cancelFlag);

    std::wstring temporaryPath;
    for (int attempt = 0; attempt < kRecordNameAttempts && !pending.outputHandle_.valid(); ++attempt) {
        throwIfCancelled(cancelFlag);
        std::uint8_t random[kRecordNameBytes] = {};
        if (!BCRYPT_SUCCESS(
                System().genRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
            throw ConversionError("Windows random generator failed", K::SystemCrypto, 0, 0, 0);
        const std::wstring recordName = RecordNameOf(random);

        const std::wstring journalPath =
            JoinStoragePath(pending.recoveryDirectory_.path, JournalFileName(recordName));
        pending.journalHandle_.reset(
            System().createFile(journalPath.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_WRITE_THROUGH, nullptr));
        if (!pending.journalHandle_.valid()) {
            const DWORD error = GetLastError();
            if (IsNameTaken(error))
                continue;
            ThrowStorageError(K::RecoveryRecords, "Cannot create recovery journal", error, cancelFlag);
        }

        temporaryPath = JoinStoragePath(pending.directoryFinalPath_, TemporaryFileName(recordName));
        pending.outputHandle_.reset(System().createFile(
            temporaryPath.c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!pending.outputHandle_.valid()) {
            const DWORD error = GetLastError();
            // The two files of a reservation always share one record name: drop this journal first.
            const bool journalDeleted = MarkForDeletion(pending.journalHandle_.get());
            pending.journalHandle_.reset();
            if (IsNameTaken(error) && journalDeleted)
                continue;
            ThrowStorageError(K::WriteFailed, "Cannot create temporary output", error, cancelFlag);
        }
    }
    if (!pending.outputHandle_.valid())
        ThrowStorageError(K::RecoveryRecords, "Cannot choose a recovery record name", kErrorFileExists,
                          cancelFlag);

    BY_HANDLE_FILE_INFORMATION info{};
    if (!System().getFileInformationByHandle(pending.outputHandle_.get(), &info))
        ThrowStorageError(K::RecoveryRecords, "Cannot record output identity", GetLastError(), cancelFlag);
    // Without a unique, stable identity the next start could not tell this file from another one.
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        info.nNumberOfLinks != 1 || (info.nFileIndexHigh == 0 && info.nFileIndexLow == 0) ||
        temporaryPath.size() > kJournalMaxPathLength)
        ThrowStorageError(K::RecoveryRecords, "Output identity is unavailable", kErrorNotSupported,
                          cancelFlag);

    const std::vector<std::uint8_t> record = BuildJournalRecord(JournalIdentityOf(info), temporaryPath);

    DWORD written = 0;
    if (!System().writeFile(pending.journalHandle_.get(), record.data(), static_cast<DWORD>(record.size()),
                            &written, nullptr))
        ThrowStorageError(K::RecoveryRecords, "Cannot write recovery journal", GetLastError(), cancelFlag);
    if (written < record.size())
        ThrowStorageError(K::RecoveryRecords, "Incomplete recovery journal", kErrorWriteFault, cancelFlag);
    if (!System().flushFileBuffers(pending.journalHandle_.get()))
        ThrowStorageError(K::RecoveryRecords, "Cannot flush recovery journal", GetLastError(), cancelFlag);
    throwIfCancelled(cancelFlag);
}

} // namespace vesko
