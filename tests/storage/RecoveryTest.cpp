#include "storage/Recovery.h"

#include "engine/Paths.h"
#include "storage/Journal.h"
#include "storage/PendingOutput.h"
#include "tests/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>

namespace vesko {
namespace {

using test::Exists;
using test::Reseal;
using test::SetU32;
using Bytes = std::vector<std::uint8_t>;
using Sandbox = test::StorageSandbox;

const std::wstring kRecord = L"0123456789abcdef0123456789abcdef";

TEST(IsRecordedTemporaryPath, AcceptsOnlyPlainFullLongPaths) {
    const std::wstring f = L".vesko-" + kRecord + L".tmp";
    const std::wstring d = L"\\\\?\\D:";
    const std::pair<std::wstring, bool> cases[] = {
        // clang-format off
        {d + L"\\games\\" + f, true}, {L"\\\\?\\d:\\" + f, true},
        {L"\\\\?\\UNC\\server\\share\\dir\\" + f, true},
        {d + L"\\games\\\u0418\u0433\u0440\u0430\\" + f, true}, {L"D:\\games\\" + f, false},
        {L"\\\\server\\share\\" + f, false}, {L"\\\\?\\1:\\" + f, false}, {d + f, false}, {d, false},
        {d + L"\\games:stream\\" + f, false}, {d + L"\\games\\" + f + L":stream", false},
        {L"\\\\?\\UNC\\server\\share:x\\" + f, false}, {d + L"\\games/sub\\" + f, false},
        {d + L"\\games\\\\" + f, false}, {d + L"\\games\\.\\" + f, false}, {d + L"\\games\\..\\" + f, false},
        {L"\\\\?\\UNC\\\\share\\" + f, false}, {L"\\\\?\\UNC\\server\\..\\" + f, false},
        {d + L"\\games\\.vesko-" + kRecord + L".TMP", false},
        {d + L"\\games\\.vesko-fedcba9876543210fedcba9876543210.tmp", false}, {d + L"\\games\\x" + f, false},
        {d + L"\\games\\" + f + L"\\", false}, {std::wstring(L"\\\\?\\D:\\ga\0es\\", 13) + f, false},
        {L"", false},
        {d + L"\\" + std::wstring(32767 - 7 - f.size() - 1, L'a') + L"\\" + f, true},
        {d + L"\\" + std::wstring(32767 - 7 - f.size(), L'a') + L"\\" + f, false}};
    // clang-format on
    for (const auto& [path, accepted] : cases)
        EXPECT_EQ(IsRecordedTemporaryPath(path, kRecord), accepted)
            << ToUtf8(path.substr(0, 80)) << " length " << path.size();
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

// One left-over reservation made by hand: the temporary file (unless told not to) and its journal. Without
// the file the identity names the destination's volume and a made-up index.
struct Leftover {
    std::wstring record, temporaryPath, journalPath; // the temporary path in the long form, as recorded
    JournalIdentity identity;
    Bytes journal;

    // Writes the journal anew from `identity` and `path` (the temporary path when empty).
    void rewrite(const std::wstring& path = {}) {
        journal = BuildJournalRecord(identity, path.empty() ? temporaryPath : path);
        test::WriteWholeFile(journalPath, journal);
    }
};

Leftover MakeLeftover(const Sandbox& sandbox, const std::wstring& record, bool withTemporary = true) {
    sandbox.makeRecoveryDirectory();
    Leftover left;
    left.record = record;
    left.temporaryPath = ToLongPath(sandbox.destination()) + L"\\.vesko-" + record + L".tmp";
    left.journalPath = sandbox.recoveryPath() + L"\\" + record + L".journal";
    if (withTemporary) {
        test::WriteWholeFile(left.temporaryPath, {1, 2, 3});
        left.identity = IdentityOf(left.temporaryPath);
    } else {
        left.identity.volumeSerial = test::FileInformation(sandbox.destination()).dwVolumeSerialNumber;
        left.identity.fileIndexLow = 1234;
    }
    left.rewrite();
    return left;
}

BOOL WINAPI RefuseTemporaryDeletion(HANDLE file, FILE_INFO_BY_HANDLE_CLASS type, LPVOID data, DWORD size) {
    if (type != FileDispositionInfo || !test::FinalPathOf(file).ends_with(L".tmp"))
        return SetFileInformationByHandle(file, type, data, size);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// Holds the temporary file open while recovery runs, in the row that needs it.
UniqueHandle busy;

TEST(RecoverInterruptedOutputs, OutcomesPerJournal) {
    {
        Sandbox sandbox; // without a recovery directory nothing is created
        RecoverInterruptedOutputs();
        EXPECT_TRUE(test::ListNames(sandbox.localAppData(), L"*").empty());
    }
    // clang-format off
    const struct {
        const char* name;
        bool withTemporary;
        void (*change)(Leftover&, Sandbox&);
        bool deleted; // the journal, and the temporary file if there is one
    } cases[] = {
        {"identity matches", true, nullptr, true},
        {"other file index", true,
         [](Leftover& l, Sandbox&) { l.identity.fileIndexLow ^= 1, l.rewrite(); }, false},
        {"other creation time", true,
         [](Leftover& l, Sandbox&) { l.identity.creationTimeHigh += 1, l.rewrite(); }, false},
        {"other volume", true,
         [](Leftover& l, Sandbox&) { l.identity.volumeSerial ^= 0x8000, l.rewrite(); }, false},
        {"temporary file gone, directory there", false, nullptr, true},
        {"temporary file gone, directory on another volume", false,
         [](Leftover& l, Sandbox&) { l.identity.volumeSerial ^= 0x8000, l.rewrite(); }, false},
        {"directory gone", false, [](Leftover& l, Sandbox& s) {
             l.rewrite(ToLongPath(s.destination()) + L"\\gone\\.vesko-" + l.record + L".tmp"); }, false},
        {"directory is a file", false, [](Leftover& l, Sandbox& s) {
             test::WriteWholeFile(s.destinationFile(L"plain"), {1});
             l.rewrite(ToLongPath(s.destination()) + L"\\plain\\.vesko-" + l.record + L".tmp"); }, false},
        {"temporary file in use", true, [](Leftover& l, Sandbox&) {
             const wchar_t* path = l.temporaryPath.c_str();
             busy = UniqueHandle(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
             ASSERT_TRUE(busy.valid()); }, false},
        {"temporary file cannot be deleted", true, [](Leftover&, Sandbox& s) {
             s.calls.setFileInformationByHandle = &RefuseTemporaryDeletion;
             s.apply(); }, false}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sandbox;
        Leftover left = MakeLeftover(sandbox, kRecord, c.withTemporary);
        if (c.change != nullptr)
            c.change(left, sandbox);
        RecoverInterruptedOutputs();
        busy = UniqueHandle();
        EXPECT_EQ(Exists(left.journalPath), !c.deleted);
        EXPECT_EQ(Exists(left.temporaryPath), c.withTemporary && !c.deleted);
        if (!c.deleted) {
            EXPECT_EQ(test::ReadWholeFile(left.journalPath), left.journal);
        }
    }
}

// Every damaged journal names a temporary file that an intact one would have deleted. The rows are the
// reading bounds around the parse; the parse itself refuses every other damage (JournalTest).
TEST(RecoverInterruptedOutputs, DamagedJournalsAreLeftUntouched) {
    const std::pair<const char*, void (*)(Bytes&)> cases[] = {
        {"checksum", [](Bytes& b) { b[41] ^= 0x10; }},
        {"header only", [](Bytes& b) { b.resize(44), SetU32(b, 12, 0), Reseal(b); }},
        {"shorter than a header", [](Bytes& b) { b.resize(43); }},
        {"empty", [](Bytes& b) { b.clear(); }},
        {"larger than any journal", [](Bytes& b) { b.resize(65579); }}};
    for (const auto& [name, damage] : cases) {
        SCOPED_TRACE(name);
        Sandbox sandbox;
        Leftover left = MakeLeftover(sandbox, kRecord);
        damage(left.journal);
        test::WriteWholeFile(left.journalPath, left.journal);
        RecoverInterruptedOutputs();
        EXPECT_TRUE(Exists(left.temporaryPath));
        EXPECT_EQ(test::ReadWholeFile(left.journalPath), left.journal);
    }
}

// A stream, the short form and the other names do reach a file with the recorded identity; the component
// forms are refused by their form alone (a long path is taken literally). In the forms, {D} is the
// destination's long form, {d} its plain form, {L} its last component and {F} the temporary file's name.
TEST(RecoverInterruptedOutputs, BadPathFormsAreNotActedOn) {
    const std::pair<const char*, std::wstring> cases[] = {
        {"dot-dot component", L"{D}\\..\\{L}\\{F}"},
        {"dot component", L"{D}\\.\\{F}"},
        {"empty component", L"{D}\\\\{F}"},
        {"forward slash", L"{D}/{F}"},
        {"stream", L"{D}\\{F}::$DATA"},
        {"short form", L"{d}\\{F}"},
        {"other record name", L"{D}\\.vesko-" + RecordName(77) + L".tmp"},
        {"other file name", L"{D}\\keep.me"}};
    for (auto [name, path] : cases) {
        SCOPED_TRACE(name);
        Sandbox sandbox;
        Leftover left = MakeLeftover(sandbox, kRecord);
        // The other names exist too, with the identity the journal records.
        const Leftover other = MakeLeftover(sandbox, RecordName(77));
        ASSERT_TRUE(DeleteFileW(other.journalPath.c_str()));
        test::WriteWholeFile(sandbox.destinationFile(L"keep.me"), {9});
        const std::wstring& dir = sandbox.destination();
        const std::pair<std::wstring, std::wstring> parts[] = {{L"{D}", ToLongPath(dir)},
                                                               {L"{d}", dir},
                                                               {L"{L}", dir.substr(dir.rfind(L'\\') + 1)},
                                                               {L"{F}", L".vesko-" + kRecord + L".tmp"}};
        for (const auto& [mark, text] : parts) {
            for (auto at = path.find(mark); at != std::wstring::npos; at = path.find(mark))
                path.replace(at, mark.size(), text);
        }
        left.identity = IdentityOf(path.ends_with(L"keep.me") ? sandbox.destinationFile(L"keep.me")
                                   : path.find(RecordName(77)) != path.npos ? other.temporaryPath
                                                                            : left.temporaryPath);
        left.rewrite(path);
        RecoverInterruptedOutputs();
        EXPECT_TRUE(Exists(left.temporaryPath));
        EXPECT_TRUE(Exists(other.temporaryPath));
        EXPECT_TRUE(Exists(sandbox.destinationFile(L"keep.me")));
        EXPECT_EQ(test::ReadWholeFile(left.journalPath), left.journal);
    }
}

// Foreign journal names are ignored, and a directory named like a journal is passed over.
TEST(RecoverInterruptedOutputs, OnlyJournalFilesOfThisProgramAreRead) {
    const std::wstring upper = L"0123456789ABCDEF0123456789ABCDEF";
    const std::pair<std::wstring, std::wstring> cases[] = {
        {upper, upper + L".journal"},
        {kRecord.substr(1), kRecord.substr(1) + L".journal"},
        {kRecord + L"0", kRecord + L"0.journal"},
        {kRecord, kRecord + L".JOURNAL"},
        {kRecord, kRecord + L".Journal"}};
    for (const auto& [record, fileName] : cases) {
        SCOPED_TRACE(ToUtf8(fileName));
        Sandbox sandbox;
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
    Sandbox sandbox;
    sandbox.makeRecoveryDirectory();
    const std::wstring directory = sandbox.recoveryPath() + L"\\" + RecordName(1) + L".journal";
    ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
    const Leftover left = MakeLeftover(sandbox, RecordName(2));
    RecoverInterruptedOutputs();
    EXPECT_TRUE(Exists(directory));
    EXPECT_FALSE(Exists(left.journalPath));
    EXPECT_FALSE(Exists(left.temporaryPath));
}

ULONGLONG fakeClock = 0, clockStep = 0;
ULONGLONG WINAPI SteppingClock() {
    return std::exchange(fakeClock, fakeClock + clockStep);
}

// A clock that stands still, so that on a busy machine the time bound cannot end the scan first.
class BoundedScan : public ::testing::Test {
  protected:
    BoundedScan() {
        fakeClock = 1000000;
        clockStep = 0;
        sandbox.calls.getTickCount64 = &SteppingClock;
        sandbox.apply();
    }
    Sandbox sandbox;
};

TEST_F(BoundedScan, LooksAtNoMoreThan256Entries) {
    // Journals whose temporary files are gone: each one looked at is deleted.
    for (unsigned i = 0; i < 300; ++i)
        MakeLeftover(sandbox, RecordName(i), false);
    RecoverInterruptedOutputs();
    EXPECT_EQ(sandbox.journals().size(), 44u);
    RecoverInterruptedOutputs();
    EXPECT_TRUE(sandbox.journals().empty());
}

TEST_F(BoundedScan, PassedOverEntriesCountTowardTheBound) {
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

TEST_F(BoundedScan, NoEntryIsStartedAfterTheDeadline) {
    // A clock that stands still handles every journal; with 2500 ms a step the second entry starts exactly at
    // the deadline and the third after it; with 3000 ms the second would start after it.
    const std::pair<ULONGLONG, std::size_t> cases[] = {{0, 0}, {2500, 1}, {3000, 2}};
    for (const auto& [step, remaining] : cases) {
        SCOPED_TRACE(step);
        Sandbox sandbox;
        sandbox.calls.getTickCount64 = &SteppingClock;
        sandbox.apply();
        fakeClock = 1000000;
        clockStep = step;
        for (unsigned i = 0; i < 3; ++i)
            MakeLeftover(sandbox, RecordName(i), false);
        RecoverInterruptedOutputs();
        EXPECT_EQ(sandbox.journals().size(), remaining);
    }
}

} // namespace
} // namespace vesko
