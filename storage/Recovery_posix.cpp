#include "storage/Recovery.h"

#include "storage/EntryFacts_posix.h"
#include "storage/Journal.h"
#include "storage/RecoveryDirectory.h"
#include "storage/StoragePaths.h"

#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>

#include <memory>
#include <vector>

namespace vesko {

namespace {

constexpr int kMaxEntries = 256;
constexpr auto kScanTime = std::chrono::milliseconds(5000);

struct DirCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

// Reads the journal through its locked descriptor; nothing when it is not one intact record.
std::optional<JournalRecord> ReadJournal(const UniqueFd& journal) {
    const off_t size = ::lseek(journal.get(), 0, SEEK_END);
    if (size < static_cast<off_t>(kJournalHeaderSize) || size > static_cast<off_t>(kJournalMaxSize))
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (::pread(journal.get(), bytes.data(), bytes.size(), 0) != size)
        return std::nullopt;
    return ParseJournalRecord(bytes.data(), bytes.size());
}

// Decides whether this journal and the file it names may go. Any throw leaves both as they are.
void RecoverJournal(const UniqueFd& recovery, const std::string& fileName) {
    const std::wstring recordName = RecordNameOfJournal(FromUtf8(fileName));
    if (recordName.empty())
        return;
    const UniqueFd journal(::openat(recovery.get(), fileName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    // A live reservation, in this or another process, holds the lock: its journal is skipped.
    if (!journal.valid() || ::flock(journal.get(), LOCK_EX | LOCK_NB) != 0)
        return;
    EntryFacts opened;
    EntryFacts named;
    if (StatEntry(journal.get(), "", opened) != 0 || !opened.plainFile ||
        StatEntry(recovery.get(), fileName, named) != 0 || named.inode != opened.inode ||
        named.device != opened.device)
        return;
    const std::optional<JournalRecord> record = ReadJournal(journal);
    if (!record || !IsRecordedTemporaryPath(record->temporaryPath, recordName))
        return;

    const UniqueFd directory = OpenStorageDirectory(DirectoryPrefix(record->temporaryPath), true,
                                                    ConversionError::Kind::RecoveryRecords, nullptr);
    const std::string temporaryName = ToUtf8(TemporaryFileName(recordName));
    EntryFacts temporary;
    if (StatEntry(directory.get(), temporaryName, temporary) == 0) {
        // Only the very file that was reserved: another file may have taken its name since.
        if (temporary.plainFile && temporary.identity == record->identity &&
            ::unlinkat(directory.get(), temporaryName.c_str(), 0) == 0)
            ::unlinkat(recovery.get(), fileName.c_str(), 0);
        return;
    }
    if (errno != ENOENT)
        return;
    // The output was published or deleted: the journal may go if its directory is still where it was.
    EntryFacts directoryFacts;
    if (StatEntry(directory.get(), "", directoryFacts) == 0 &&
        directoryFacts.identity.volumeSerial == record->identity.volumeSerial)
        ::unlinkat(recovery.get(), fileName.c_str(), 0);
}

} // namespace

void ScanRecoveryDirectory() {
    const RecoveryDirectory recovery = OpenRecoveryDirectory(false, nullptr);
    const UniqueFd& level = recovery.handles.back();
    // fdopendir takes over the descriptor it is given: a duplicate keeps the pinned level open.
    UniqueFd duplicate(::fcntl(level.get(), F_DUPFD_CLOEXEC, 0));
    const std::unique_ptr<DIR, DirCloser> listing(duplicate.valid() ? ::fdopendir(duplicate.get()) : nullptr);
    if (!listing)
        return;
    duplicate.release();
    const auto deadline = std::chrono::steady_clock::now() + kScanTime;
    for (int handled = 0; handled < kMaxEntries && std::chrono::steady_clock::now() <= deadline;) {
        const dirent* entry = ::readdir(listing.get());
        if (entry == nullptr)
            break;
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        ++handled;
        try {
            RecoverJournal(level, name);
        } catch (const ConversionError&) {
            // One unusable journal or directory never stops the others.
        }
    }
}

} // namespace vesko
