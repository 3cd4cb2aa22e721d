#include "storage/Recovery.h"

#include "engine/Paths.h"
#include "storage/Journal.h"
#include "storage/PendingOutput.h"
#include "tests/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vesko {
namespace {

using test::Exists;
using test::Reseal;
using test::SetU32;

const std::wstring kRecord = L"0123456789abcdef0123456789abcdef";

TEST(IsRecordedTemporaryPath, AcceptsOnlyPlainFullLongPaths) {
    const std::wstring file = L".vesko-" + kRecord + L".tmp";
    struct Case {
        std::wstring path;
        bool accepted;
    };
    const Case cases[] = {
        {L"\\\\?\\D:\\games\\" + file, true},
        {L"\\\\?\\d:\\" + file, true},
        {L"\\\\?\\UNC\\server\\share\\dir\\" + file, true},
        {L"\\\\?\\D:\\games\\\u0418\u0433\u0440\u0430\\" + file, true},
        {L"D:\\games\\" + file, false},
        {L"\\\\server\\share\\" + file, false},
        {L"\\\\?\\1:\\" + file, false},
        {L"\\\\?\\D:" + file, false},
        {L"\\\\?\\D:", false},
        {L"\\\\?\\D:\\games:stream\\" + file, false},
        {L"\\\\?\\D:\\games\\" + file + L":stream", false},
        {L"\\\\?\\UNC\\server\\share:x\\" + file, false},
        {L"\\\\?\\D:\\games/sub\\" + file, false},
        {L"\\\\?\\D:\\games\\\\" + file, false},
        {L"\\\\?\\D:\\games\\.\\" + file, false},
        {L"\\\\?\\D:\\games\\..\\" + file, false},
        {L"\\\\?\\UNC\\\\share\\" + file, false},
        {L"\\\\?\\UNC\\server\\..\\" + file, false},
        {L"\\\\?\\D:\\games\\.vesko-" + kRecord + L".TMP", false},
        {L"\\\\?\\D:\\games\\.vesko-fedcba9876543210fedcba9876543210.tmp", false},
        {L"\\\\?\\D:\\games\\x" + file, false},
        {L"\\\\?\\D:\\games\\" + file + L"\\", false},
        {std::wstring(L"\\\\?\\D:\\ga\0es\\", 13) + file, false},
        {L"", false},
        {L"\\\\?\\D:\\" + std::wstring(32767 - 7 - file.size() - 1, L'a') + L"\\" + file, true},
        {L"\\\\?\\D:\\" + std::wstring(32767 - 7 - file.size(), L'a') + L"\\" + file, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.path.substr(0, 80)) + " length " + std::to_string(c.path.size()));
        EXPECT_EQ(IsRecordedTemporaryPath(c.path, kRecord), c.accepted);
    }
}

std::wstring RecordName(unsigned number) {
    wchar_t text[33] = {};
    std::swprintf(text, 33, L"%032x", number);
    return text;
}

JournalIdentity IdentityOf(const std::wstring& path) {
    const BY_HANDLE_FILE_INFORMATION info = test::FileInformation(path);
    return {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
            info.ftCreationTime.dwLowDateTime, info.ftCreationTime.dwHighDateTime};
}

// One left-over reservation made by hand: the temporary file (unless told not to) and its journal.
struct Leftover {
    std::wstring record;
    std::wstring temporaryPath; // long form, as a reservation records it
    std::wstring journalPath;
    std::vector<std::uint8_t> journal;
};

Leftover MakeLeftover(const test::StorageSandbox& sandbox, const std::wstring& record,
                      bool withTemporary = true) {
    sandbox.makeRecoveryDirectory();
    Leftover left;
    left.record = record;
    left.temporaryPath = ToLongPath(sandbox.destination()) + L"\\.vesko-" + record + L".tmp";
    left.journalPath = sandbox.recoveryPath() + L"\\" + record + L".journal";
    JournalIdentity identity;
    if (withTemporary) {
        test::WriteWholeFile(left.temporaryPath, {1, 2, 3});
        identity = IdentityOf(left.temporaryPath);
    } else {
        identity.volumeSerial = test::FileInformation(sandbox.destination()).dwVolumeSerialNumber;
        identity.fileIndexLow = 1234;
    }
    left.journal = BuildJournalRecord(identity, left.temporaryPath);
    test::WriteWholeFile(left.journalPath, left.journal);
    return left;
}

void Rewrite(Leftover& left, const JournalIdentity& identity, const std::wstring& path) {
    left.journal = BuildJournalRecord(identity, path);
    test::WriteWholeFile(left.journalPath, left.journal);
}

TEST(RecoverInterruptedOutputs, WithoutRecoveryDirectoryCreatesNothing) {
    test::StorageSandbox sandbox;
    RecoverInterruptedOutputs();
    EXPECT_TRUE(test::ListNames(sandbox.localAppData(), L"*").empty());
}

BOOL WINAPI RefuseTemporaryDeletion(HANDLE file, FILE_INFO_BY_HANDLE_CLASS type, LPVOID data, DWORD size) {
    if (type == FileDispositionInfo && test::FinalPathOf(file).ends_with(L".tmp")) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return SetFileInformationByHandle(file, type, data, size);
}

// Holds the temporary file open while recovery runs, in the row that needs it.
UniqueHandle busy;

TEST(RecoverInterruptedOutputs, OutcomesPerJournal) {
    struct Case {
        const char* name;
        bool withTemporary;
        void (*change)(Leftover&, test::StorageSandbox&);
        bool temporaryDeleted;
        bool journalDeleted;
    };
    const Case cases[] = {
        {"identity matches", true, nullptr, true, true},
        {"other file index", true,
         [](Leftover& l, test::StorageSandbox&) {
             JournalIdentity id = IdentityOf(l.temporaryPath);
             id.fileIndexLow ^= 1;
             Rewrite(l, id, l.temporaryPath);
         },
         false, false},
        {"other creation time", true,
         [](Leftover& l, test::StorageSandbox&) {
             JournalIdentity id = IdentityOf(l.temporaryPath);
             id.creationTimeHigh += 1;
             Rewrite(l, id, l.temporaryPath);
         },
         false, false},
        {"other volume", true,
         [](Leftover& l, test::StorageSandbox&) {
             JournalIdentity id = IdentityOf(l.temporaryPath);
             id.volumeSerial ^= 0x8000;
             Rewrite(l, id, l.temporaryPath);
         },
         false, false},
        {"temporary file gone, directory there", false, nullptr, false, true},
        {"temporary file gone, directory on another volume", false,
         [](Leftover& l, test::StorageSandbox& s) {
             JournalIdentity id;
             id.volumeSerial = test::FileInformation(s.destination()).dwVolumeSerialNumber ^ 0x8000;
             Rewrite(l, id, l.temporaryPath);
         },
         false, false},
        {"directory gone", false,
         [](Leftover& l, test::StorageSandbox& s) {
             JournalIdentity id;
             id.volumeSerial = test::FileInformation(s.destination()).dwVolumeSerialNumber;
             Rewrite(l, id, ToLongPath(s.destination()) + L"\\gone\\.vesko-" + l.record + L".tmp");
         },
         false, false},
        {"directory is a file", false,
         [](Leftover& l, test::StorageSandbox& s) {
             JournalIdentity id;
             id.volumeSerial = test::FileInformation(s.destination()).dwVolumeSerialNumber;
             test::WriteWholeFile(s.destinationFile(L"plain"), {1});
             Rewrite(l, id, ToLongPath(s.destination()) + L"\\plain\\.vesko-" + l.record + L".tmp");
         },
         false, false},
        {"temporary file replaced by another", true,
         [](Leftover& l, test::StorageSandbox& s) {
             // The original moves away first, so the new file cannot reuse its index.
             ASSERT_TRUE(MoveFileW(l.temporaryPath.c_str(), s.destinationFile(L"moved").c_str()));
             test::WriteWholeFile(l.temporaryPath, {4, 5, 6});
         },
         false, false},
        {"temporary file in use", true,
         [](Leftover& l, test::StorageSandbox&) {
             busy = UniqueHandle(
                 CreateFileW(l.temporaryPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
             ASSERT_TRUE(busy.valid());
         },
         false, false},
        {"temporary file cannot be deleted", true,
         [](Leftover&, test::StorageSandbox& s) {
             s.calls.setFileInformationByHandle = &RefuseTemporaryDeletion;
             s.apply();
         },
         false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::StorageSandbox sandbox;
        Leftover left = MakeLeftover(sandbox, kRecord, c.withTemporary);
        if (c.change != nullptr)
            c.change(left, sandbox);
        RecoverInterruptedOutputs();
        busy = UniqueHandle();
        EXPECT_EQ(Exists(left.journalPath), !c.journalDeleted);
        if (c.withTemporary) {
            EXPECT_EQ(Exists(left.temporaryPath), !c.temporaryDeleted);
        }
        if (!c.journalDeleted) {
            EXPECT_EQ(test::ReadWholeFile(left.journalPath), left.journal);
        }
    }
}

// Every damaged journal names a temporary file that an intact one would have deleted. The rows are the
// reading bounds around the parse; the parse itself refuses every other damage (JournalTest).
TEST(RecoverInterruptedOutputs, DamagedJournalsAreLeftUntouched) {
    struct Case {
        const char* name;
        void (*damage)(std::vector<std::uint8_t>&);
    };
    const Case cases[] = {
        {"checksum", [](std::vector<std::uint8_t>& b) { b[41] ^= 0x10; }},
        {"header only",
         [](std::vector<std::uint8_t>& b) {
             b.resize(44);
             SetU32(b, 12, 0);
             Reseal(b);
         }},
        {"shorter than a header", [](std::vector<std::uint8_t>& b) { b.resize(43); }},
        {"empty", [](std::vector<std::uint8_t>& b) { b.clear(); }},
        {"larger than any journal", [](std::vector<std::uint8_t>& b) { b.resize(65579); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::StorageSandbox sandbox;
        Leftover left = MakeLeftover(sandbox, kRecord);
        c.damage(left.journal);
        test::WriteWholeFile(left.journalPath, left.journal);
        RecoverInterruptedOutputs();
        EXPECT_TRUE(Exists(left.temporaryPath));
        EXPECT_EQ(test::ReadWholeFile(left.journalPath), left.journal);
    }
}

// `form` with {D} the destination's long form, {d} its plain form, {L} its last component and {F} the
// name of the left-over temporary file.
std::wstring PathOfForm(std::wstring form, const Leftover& left, const test::StorageSandbox& sandbox) {
    const std::wstring& dir = sandbox.destination();
    const std::pair<std::wstring, std::wstring> parts[] = {{L"{D}", ToLongPath(dir)},
                                                           {L"{d}", dir},
                                                           {L"{L}", dir.substr(dir.rfind(L'\\') + 1)},
                                                           {L"{F}", L".vesko-" + left.record + L".tmp"}};
    for (const auto& [mark, text] : parts) {
        for (auto at = form.find(mark); at != std::wstring::npos; at = form.find(mark))
            form.replace(at, mark.size(), text);
    }
    return form;
}

TEST(RecoverInterruptedOutputs, BadPathFormsAreNotActedOn) {
    // A stream, the short form and the other names do reach a file with the recorded identity; the
    // component forms are refused by their form alone (a long path is taken literally).
    const std::pair<const char*, std::wstring> cases[] = {
        {"dot-dot component", L"{D}\\..\\{L}\\{F}"},
        {"dot component", L"{D}\\.\\{F}"},
        {"empty component", L"{D}\\\\{F}"},
        {"forward slash", L"{D}/{F}"},
        {"stream", L"{D}\\{F}::$DATA"},
        {"short form", L"{d}\\{F}"},
        {"other record name", L"{D}\\.vesko-" + RecordName(77) + L".tmp"},
        {"other file name", L"{D}\\keep.me"},
    };
    for (const auto& [name, form] : cases) {
        SCOPED_TRACE(name);
        test::StorageSandbox sandbox;
        Leftover left = MakeLeftover(sandbox, kRecord);
        // The other names exist too, with the identity the journal records.
        const Leftover other = MakeLeftover(sandbox, RecordName(77));
        test::WriteWholeFile(sandbox.destinationFile(L"keep.me"), {9});
        const std::wstring path = PathOfForm(form, left, sandbox);
        const std::wstring target = path.find(L"keep.me") != std::wstring::npos
                                        ? sandbox.destinationFile(L"keep.me")
                                    : path.find(RecordName(77)) != std::wstring::npos ? other.temporaryPath
                                                                                      : left.temporaryPath;
        Rewrite(left, IdentityOf(target), path);
        ASSERT_TRUE(DeleteFileW(other.journalPath.c_str()));
        RecoverInterruptedOutputs();
        EXPECT_TRUE(Exists(left.temporaryPath));
        EXPECT_TRUE(Exists(other.temporaryPath));
        EXPECT_TRUE(Exists(sandbox.destinationFile(L"keep.me")));
        EXPECT_EQ(test::ReadWholeFile(left.journalPath), left.journal);
    }
}

TEST(RecoverInterruptedOutputs, ForeignJournalNamesAreIgnored) {
    const std::wstring upper = L"0123456789ABCDEF0123456789ABCDEF";
    const std::pair<std::wstring, std::wstring> cases[] = {
        {upper, upper + L".journal"},
        {kRecord.substr(1), kRecord.substr(1) + L".journal"},
        {kRecord + L"0", kRecord + L"0.journal"},
        {kRecord, kRecord + L".JOURNAL"},
        {kRecord, kRecord + L".Journal"},
    };
    for (const auto& [record, fileName] : cases) {
        SCOPED_TRACE(ToUtf8(fileName));
        test::StorageSandbox sandbox;
        const Leftover left = MakeLeftover(sandbox, record);
        const std::wstring renamed = sandbox.recoveryPath() + L"\\" + fileName;
        // Written anew rather than renamed: wine keeps the old letter case on a case-only rename.
        ASSERT_TRUE(DeleteFileW(left.journalPath.c_str()));
        test::WriteWholeFile(renamed, left.journal);
        ASSERT_EQ(sandbox.journals(), std::vector<std::wstring>{fileName});
        RecoverInterruptedOutputs();
        EXPECT_TRUE(Exists(left.temporaryPath));
        EXPECT_EQ(test::ReadWholeFile(renamed), left.journal);
    }
}

TEST(RecoverInterruptedOutputs, DirectoryNamedLikeAJournalIsPassedOver) {
    test::StorageSandbox sandbox;
    sandbox.makeRecoveryDirectory();
    const std::wstring directory = sandbox.recoveryPath() + L"\\" + RecordName(1) + L".journal";
    ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
    const Leftover left = MakeLeftover(sandbox, RecordName(2));
    RecoverInterruptedOutputs();
    EXPECT_TRUE(Exists(directory));
    EXPECT_FALSE(Exists(left.journalPath));
    EXPECT_FALSE(Exists(left.temporaryPath));
}

TEST(RecoverInterruptedOutputs, LiveReservationIsSkipped) {
    test::StorageSandbox sandbox;
    std::unique_ptr<PendingOutput> pending;
    CreatePendingOutput(pending, sandbox.destinationFile(L"Game.nsp"), nullptr);
    RecoverInterruptedOutputs();
    EXPECT_EQ(sandbox.journals().size(), 1u);
    EXPECT_EQ(sandbox.temporaryFiles().size(), 1u);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(pending->outputHandle(), "x", 1, &written, nullptr));
}

ULONGLONG fakeClock = 0;
ULONGLONG clockStep = 0;
ULONGLONG WINAPI SteppingClock() {
    const ULONGLONG now = fakeClock;
    fakeClock += clockStep;
    return now;
}

// On a busy machine the time bound could end a long scan before the entry bound does.
void StopTheClock(test::StorageSandbox& sandbox) {
    clockStep = 0;
    sandbox.calls.getTickCount64 = &SteppingClock;
    sandbox.apply();
}

TEST(RecoverInterruptedOutputs, LooksAtNoMoreThan256Entries) {
    test::StorageSandbox sandbox;
    StopTheClock(sandbox);
    // Journals whose temporary files are gone: each one looked at is deleted.
    for (unsigned i = 0; i < 300; ++i)
        MakeLeftover(sandbox, RecordName(i), false);
    ASSERT_EQ(sandbox.journals().size(), 300u);
    RecoverInterruptedOutputs();
    EXPECT_EQ(sandbox.journals().size(), 44u);
    RecoverInterruptedOutputs();
    EXPECT_TRUE(sandbox.journals().empty());
}

TEST(RecoverInterruptedOutputs, PassedOverEntriesCountTowardTheBound) {
    test::StorageSandbox sandbox;
    StopTheClock(sandbox);
    sandbox.makeRecoveryDirectory();
    // 256 journals too short to be read: passed over, but counted.
    for (unsigned i = 0; i < 256; ++i)
        test::WriteWholeFile(sandbox.recoveryPath() + L"\\" + RecordName(i) + L".journal", {1});
    const Leftover left = MakeLeftover(sandbox, RecordName(1000), false);
    RecoverInterruptedOutputs();
    // 257 entries: one is beyond the bound. Which one depends on the enumeration order.
    const std::size_t remaining = sandbox.journals().size();
    EXPECT_TRUE(remaining == 256u || remaining == 257u) << remaining;
    EXPECT_EQ(Exists(left.journalPath), remaining == 257u);
}

TEST(RecoverInterruptedOutputs, NoEntryIsStartedAfterTheDeadline) {
    const std::pair<ULONGLONG, std::size_t> cases[] = {
        {0, 0},    // a clock that stands still: every journal is handled
        {2500, 1}, // the second entry starts exactly at the deadline, the third after it
        {3000, 2}, // the second entry would start after the deadline
    };
    for (const auto& [step, remaining] : cases) {
        SCOPED_TRACE(step);
        test::StorageSandbox sandbox;
        fakeClock = 1000000;
        clockStep = step;
        sandbox.calls.getTickCount64 = &SteppingClock;
        sandbox.apply();
        for (unsigned i = 0; i < 3; ++i)
            MakeLeftover(sandbox, RecordName(i), false);
        RecoverInterruptedOutputs();
        EXPECT_EQ(sandbox.journals().size(), remaining);
    }
}

} // namespace
} // namespace vesko
