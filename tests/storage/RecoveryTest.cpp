// The start-up scan on journals made by hand, on both systems: what it deletes, what it leaves, and its
// bound on entries.
#include "storage/Recovery.h"

#include "engine/Paths.h"
#include "tests/storage/StorageTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <utility>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#endif

namespace vesko {
namespace {

using test::Bytes;
using test::Exists;
using test::Reseal;
using test::SetU32;
using Sandbox = test::StorageSandbox;

const std::wstring kRecord = L"0123456789abcdef0123456789abcdef";

std::wstring RecordName(unsigned number) {
    wchar_t text[33] = {};
    std::swprintf(text, 33, L"%032x", number);
    return text;
}

// One left-over reservation made by hand: the temporary file (unless told not to) and its journal. Without
// the file the identity names the destination's volume and a made-up index.
struct Leftover {
    std::wstring record, temporaryPath, journalPath; // the temporary path as recorded
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
    Leftover left{
        record, sandbox.recordedFile(L".vesko-" + record + L".tmp"), sandbox.journalPath(record), {}, {}};
    if (withTemporary) {
        test::WriteWholeFile(left.temporaryPath, {1, 2, 3});
        left.identity = test::IdentityOf(left.temporaryPath);
    } else {
        left.identity.volumeSerial = test::IdentityOf(sandbox.destination()).volumeSerial;
        left.identity.fileIndexLow = 1234;
    }
    left.rewrite();
    return left;
}

// A leftover that a live run holds, in the row that needs it.
StorageHandle busy;

#ifdef _WIN32
BOOL WINAPI RefuseTemporaryDeletion(HANDLE file, FILE_INFO_BY_HANDLE_CLASS type, LPVOID data, DWORD size) {
    if (type != FileDispositionInfo || !test::FinalPathOf(file).ends_with(L".tmp"))
        return SetFileInformationByHandle(file, type, data, size);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
#endif

TEST(RecoverInterruptedOutputs, OutcomesPerJournal) {
    {
        Sandbox sandbox; // without a recovery directory nothing is created
        RecoverInterruptedOutputs();
        EXPECT_TRUE(test::ListNames(sandbox.recoveryHome()).empty());
    }
    const auto elsewhere = [](Leftover& l, Sandbox& s, const wchar_t* directory) {
        l.rewrite(s.recordedFile(directory) + test::kSeparator + L".vesko-" + l.record + L".tmp");
    };
    // clang-format off
    const struct { const char* name; bool withTemporary; std::function<void(Leftover&, Sandbox&)> change;
                   bool deleted; } cases[] = { // deleted: the journal, and the temporary file if there is one
        {"identity matches", true, nullptr, true},
        {"other file index", true, [](Leftover& l, Sandbox&) { l.identity.fileIndexLow ^= 1, l.rewrite(); }, false},
        {"other creation time", true, [](Leftover& l, Sandbox&) { l.identity.creationTimeHigh += 1, l.rewrite(); }, false},
        {"other volume", true, [](Leftover& l, Sandbox&) { l.identity.volumeSerial ^= 0x8000, l.rewrite(); }, false},
        {"temporary file gone, directory there", false, nullptr, true},
        {"temporary file gone, directory on another volume", false,
         [](Leftover& l, Sandbox&) { l.identity.volumeSerial ^= 0x8000, l.rewrite(); }, false},
        {"directory gone", false, [&](Leftover& l, Sandbox& s) { elsewhere(l, s, L"gone"); }, false},
        {"directory is a file", false, [&](Leftover& l, Sandbox& s) {
             test::WriteWholeFile(s.destinationFile(L"plain"), {1}), elsewhere(l, s, L"plain"); }, false},
#ifdef _WIN32
        {"temporary file in use", true, [](Leftover& l, Sandbox&) {
             busy.reset(CreateFileW(l.temporaryPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
             ASSERT_TRUE(busy.valid()); }, false},
        {"temporary file cannot be deleted", true, [](Leftover&, Sandbox& s) {
             s.calls.setFileInformationByHandle = &RefuseTemporaryDeletion, s.apply(); }, false},
#else
        {"journal locked by a live run", true, [](Leftover& l, Sandbox&) {
             busy.reset(::open(ToUtf8(l.journalPath).c_str(), O_RDONLY | O_CLOEXEC));
             ASSERT_EQ(::flock(busy.get(), LOCK_EX), 0); }, false},
        {"temporary file has a second link", true, [](Leftover& l, Sandbox& s) {
             std::filesystem::create_hard_link(std::filesystem::path(l.temporaryPath),
                                               std::filesystem::path(s.destinationFile(L"second"))); }, false},
#endif
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sandbox;
        Leftover left = MakeLeftover(sandbox, kRecord, c.withTemporary);
        if (c.change)
            c.change(left, sandbox);
        RecoverInterruptedOutputs();
        busy.reset();
        EXPECT_EQ(Exists(left.journalPath), !c.deleted);
        EXPECT_EQ(Exists(left.temporaryPath), c.withTemporary && !c.deleted);
        if (!c.deleted) {
            EXPECT_EQ(test::ReadWholeFile(left.journalPath), left.journal);
        }
    }
}

// Every damaged journal names a temporary file that an intact one would have deleted. The rows are the
// reading bounds around the parse; the parse itself refuses every other damage (StorageRulesTest).
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

// Other names do reach a file with the recorded identity, and so do Windows' stream and short forms; the
// component forms are refused by their form alone. In the forms, {D} is the destination as recorded, {d}
// its plain form, {L} its last component and {F} the temporary file's name.
TEST(RecoverInterruptedOutputs, BadPathFormsAreNotActedOn) {
    const std::pair<const char*, std::wstring> cases[] = {
        {"dot-dot component", L"{D}\\..\\{L}\\{F}"},
        {"dot component", L"{D}\\.\\{F}"},
        {"empty component", L"{D}\\\\{F}"},
        {"other record name", L"{D}\\.vesko-" + RecordName(77) + L".tmp"},
        {"other file name", L"{D}\\keep.me"},
#ifdef _WIN32
        {"forward slash", L"{D}/{F}"},
        {"stream", L"{D}\\{F}::$DATA"},
        {"short form", L"{d}\\{F}"},
#endif
    };
    for (auto [name, path] : cases) {
        SCOPED_TRACE(name);
        Sandbox sandbox;
        Leftover left = MakeLeftover(sandbox, kRecord);
        // The other names exist too, with the identity the journal records.
        const Leftover other = MakeLeftover(sandbox, RecordName(77));
        test::RemoveFile(other.journalPath);
        test::WriteWholeFile(sandbox.destinationFile(L"keep.me"), {9});
        const std::wstring& dir = sandbox.destination();
        std::wstring recorded = sandbox.recordedFile(L"");
        recorded.pop_back();
        if (test::kSeparator == L'/')
            std::replace(path.begin(), path.end(), L'\\', L'/');
        const std::pair<std::wstring, std::wstring> parts[] = {
            {L"{D}", recorded},
            {L"{d}", dir},
            {L"{L}", dir.substr(dir.rfind(test::kSeparator) + 1)},
            {L"{F}", L".vesko-" + kRecord + L".tmp"}};
        for (const auto& [mark, text] : parts)
            for (auto at = path.find(mark); at != std::wstring::npos; at = path.find(mark))
                path.replace(at, mark.size(), text);
        left.identity = test::IdentityOf(path.ends_with(L"keep.me") ? sandbox.destinationFile(L"keep.me")
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
        const std::wstring renamed = sandbox.recoveryPath() + test::kSeparator + fileName;
        // Written anew rather than renamed: wine keeps the old letter case on a case-only rename.
        test::RemoveFile(left.journalPath);
        test::WriteWholeFile(renamed, left.journal);
        ASSERT_EQ(sandbox.journals(), std::vector<std::wstring>{fileName});
        RecoverInterruptedOutputs();
        EXPECT_TRUE(Exists(left.temporaryPath));
        EXPECT_EQ(test::ReadWholeFile(renamed), left.journal);
    }
    Sandbox sandbox;
    sandbox.makeRecoveryDirectory();
    const std::wstring directory = sandbox.journalPath(RecordName(1));
    test::MakeDirectory(directory);
    const Leftover left = MakeLeftover(sandbox, RecordName(2));
    RecoverInterruptedOutputs();
    EXPECT_TRUE(Exists(directory));
    EXPECT_FALSE(Exists(left.journalPath));
    EXPECT_FALSE(Exists(left.temporaryPath));
}

#ifdef _WIN32
ULONGLONG fakeClock = 0, clockStep = 0;
ULONGLONG WINAPI SteppingClock() {
    return std::exchange(fakeClock, fakeClock + clockStep);
}
#endif

// On Windows a clock that stands still, so that on a busy machine the time bound cannot end the scan first.
class BoundedScan : public ::testing::Test {
  protected:
    BoundedScan() {
#ifdef _WIN32
        fakeClock = 1000000;
        clockStep = 0;
        sandbox.calls.getTickCount64 = &SteppingClock;
        sandbox.apply();
#endif
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
        test::WriteWholeFile(sandbox.journalPath(RecordName(i)), {1});
    const Leftover left = MakeLeftover(sandbox, RecordName(1000), false);
    RecoverInterruptedOutputs();
    // 257 entries: one is beyond the bound. Which one depends on the enumeration order.
    const std::size_t remaining = sandbox.journals().size();
    EXPECT_TRUE(remaining == 256u || remaining == 257u) << remaining;
    EXPECT_EQ(Exists(left.journalPath), remaining == 257u);
}

#ifdef _WIN32
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
#endif

} // namespace
} // namespace vesko
