#include "storage/Recovery.h"

#include "storage/FileDisposition.h"
#include "storage/Journal.h"
#include "storage/JournalIdentityOf.h"
#include "storage/RecoveryDirectory.h"
#include "storage/StoragePaths.h"
#include "storage/StorageSystem.h"
#include "storage/UniqueFindHandle.h"

#include <vector>

namespace vesko {

namespace {

constexpr int kMaxEntries = 256;
constexpr ULONGLONG kScanMilliseconds = 5000;
constexpr DWORD kErrorFileNotFound = 2;
constexpr DWORD kUnsafeAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;

bool IsSinglePlainFile(const BY_HANDLE_FILE_INFORMATION& info) {
    return (info.dwFileAttributes & kUnsafeAttributes) == 0 && info.nNumberOfLinks == 1;
}

// Reads the journal through its exclusive handle; nothing when it is not one intact record.
std::optional<JournalRecord> ReadJournal(HANDLE journal) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!System().getFileInformationByHandle(journal, &info) || !IsSinglePlainFile(info))
        return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(journal, &size) || size.QuadPart < static_cast<LONGLONG>(kJournalHeaderSize) ||
        size.QuadPart > static_cast<LONGLONG>(kJournalMaxSize))
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(journal, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
        read != bytes.size())
        return std::nullopt;
    return ParseJournalRecord(bytes.data(), bytes.size());
}

// Decides whether this journal and the file it names may go. Any throw leaves both as they are.
void RecoverJournal(const std::wstring& recoveryPath, const WIN32_FIND_DATAW& entry) {
    if ((entry.dwFileAttributes & kUnsafeAttributes) != 0)
        return;
    const std::wstring recordName = RecordNameOfJournal(entry.cFileName);
    if (recordName.empty())
        return;
    // Share mode 0: a live reservation holds its journal exclusively, so this open fails for it.
    const UniqueHandle journal(System().createFile(JoinStoragePath(recoveryPath, entry.cFileName).c_str(),
                                                   GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                                                   FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!journal.valid())
        return;
    const std::optional<JournalRecord> record = ReadJournal(journal.get());
    if (!record || !IsRecordedTemporaryPath(record->temporaryPath, recordName))
        return;

    UniqueHandle temporary(System().createFile(record->temporaryPath.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                               0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                               nullptr));
    if (temporary.valid()) {
        // Only the very file that was reserved: another file may have taken its name since.
        BY_HANDLE_FILE_INFORMATION info{};
        if (System().getFileInformationByHandle(temporary.get(), &info) && IsSinglePlainFile(info) &&
            JournalIdentityOf(info) == record->identity && MarkForDeletion(temporary.get())) {
            temporary.reset();
            MarkForDeletion(journal.get());
        }
        return;
    }
    if (GetLastError() != kErrorFileNotFound)
        return;
    // The output was published or deleted: the journal may go if its directory is still where it was.
    const UniqueHandle directory = OpenStorageDirectory(DirectoryPrefix(record->temporaryPath), true,
                                                        ConversionError::Kind::RecoveryRecords, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    if (System().getFileInformationByHandle(directory.get(), &info) &&
        info.dwVolumeSerialNumber == record->identity.volumeSerial)
        MarkForDeletion(journal.get());
}

} // namespace

void ScanRecoveryDirectory() {
    const RecoveryDirectory recovery = OpenRecoveryDirectory(false, nullptr);
    WIN32_FIND_DATAW entry{};
    const UniqueFindHandle find(FindFirstFileW(JoinStoragePath(recovery.path, L"*.journal").c_str(), &entry));
    if (!find.valid())
        return;
    const ULONGLONG deadline = System().getTickCount64() + kScanMilliseconds;
    int handled = 0;
    do {
        if (handled == kMaxEntries || System().getTickCount64() > deadline)
            break;
        ++handled;
        try {
            RecoverJournal(recovery.path, entry);
        } catch (const ConversionError&) {
            // One unusable journal or directory never stops the others.
        }
    } while (FindNextFileW(find.get(), &entry));
}

} // namespace vesko
