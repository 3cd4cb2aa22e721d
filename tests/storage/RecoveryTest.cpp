// The start-up scan on both systems: on journals made by hand, what it deletes, what it leaves and its bound
// on entries; and on reservations of another process that ends as a crash would end it.
#include "storage/Recovery.h"

#include "engine/Paths.h"
#include "tests/storage/StorageTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#endif

namespace vesko {
namespace {

using test::Bytes;
using test::Exists;
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
    std::wstring temporaryPath, journalPath; // the temporary path as recorded
    JournalIdentity identity;
    Bytes journal;

    void write() const { test::WriteWholeFile(journalPath, journal); }
    void rewrite(const std::wstring& path) {
        journal = BuildJournalRecord(identity, path);
        write();
    }
};

Leftover MakeLeftover(const Sandbox& sandbox, const std::wstring& record, bool withTemporary = true) {
    sandbox.makeRecoveryDirectory();
    Leftover left{sandbox.recordedFile(L".vesko-" + record + L".tmp"), sandbox.journalPath(record), {}, {}};
    if (withTemporary) {
        test::WriteWholeFile(left.temporaryPath, {1, 2, 3});
        left.identity = test::IdentityOf(left.temporaryPath);
    } else {
        left.identity.volumeSerial = test::IdentityOf(sandbox.destination()).volumeSerial;
        left.identity.fileIndexLow = 1234;
    }
    left.rewrite(left.temporaryPath);
    return left;
}

// Records a path form for the journal: {D} is the destination as recorded, {d} its plain form, {L} its last
// component, {F} the temporary file's name. The identity is that of the file the form reaches.
void RecordForm(Leftover& l, const Sandbox& s, std::wstring form) {
    const std::wstring& dir = s.destination();
    std::wstring recorded = s.recordedFile(L"");
    recorded.pop_back();
    std::replace(form.begin(), form.end(), L'\\', test::kSeparator);
    const std::pair<std::wstring, std::wstring> parts[] = {
        {L"{D}", recorded},
        {L"{d}", dir},
        {L"{L}", dir.substr(dir.rfind(test::kSeparator) + 1)},
        {L"{F}", L".vesko-" + kRecord + L".tmp"}};
    for (const auto& [mark, text] : parts)
        for (auto at = form.find(mark); at != std::wstring::npos; at = form.find(mark))
            form.replace(at, mark.size(), text);
    l.identity = test::IdentityOf(form.ends_with(L"keep.me") ? s.destinationFile(L"keep.me")
                                  : form.find(RecordName(77)) != form.npos
                                      ? s.recordedFile(L".vesko-" + RecordName(77) + L".tmp")
                                      : l.temporaryPath);
    l.rewrite(form);
}

// Held by a live run, in the row that needs it.
StorageHandle busy;

#ifdef _WIN32
BOOL WINAPI RefuseTemporaryDeletion(HANDLE file, FILE_INFO_BY_HANDLE_CLASS type, LPVOID data, DWORD size) {
    if (type != FileDispositionInfo || !test::FinalPathOf(file).ends_with(L".tmp"))
        return SetFileInformationByHandle(file, type, data, size);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
#endif

// Beside each leftover lie another temporary-looking file and a plain file, which no row may lose.
TEST(RecoverInterruptedOutputs, OutcomesPerJournal) {
    {
        Sandbox sandbox; // without a recovery directory nothing is created
        RecoverInterruptedOutputs();
        EXPECT_TRUE(test::ListNames(sandbox.recoveryHome()).empty());
    }
    using L = Leftover;
    using test::SetU32;
    const std::wstring upper = L"0123456789ABCDEF0123456789ABCDEF";
    // clang-format off
    const struct { const char* name; std::wstring record; bool withTemporary; void (*change)(L&, Sandbox&);
                   bool deleted; } cases[] = { // deleted: the journal, and the temporary file if there is one
        {"identity matches", kRecord, true, nullptr, true},
        {"other file index", kRecord, true, [](L& l, Sandbox&) { l.identity.fileIndexLow ^= 1, l.rewrite(l.temporaryPath); }, false},
        {"other creation time", kRecord, true, [](L& l, Sandbox&) { l.identity.creationTimeHigh += 1, l.rewrite(l.temporaryPath); }, false},
        {"other volume", kRecord, true, [](L& l, Sandbox&) { l.identity.volumeSerial ^= 0x8000, l.rewrite(l.temporaryPath); }, false},
        {"temporary file gone, directory there", kRecord, false, nullptr, true},
        {"temporary file gone, directory on another volume", kRecord, false,
         [](L& l, Sandbox&) { l.identity.volumeSerial ^= 0x8000, l.rewrite(l.temporaryPath); }, false},
        {"directory gone", kRecord, false, [](L& l, Sandbox& s) { l.rewrite(s.recordedFile(L"gone") + test::kSeparator + L".vesko-" + kRecord + L".tmp"); }, false},
        {"directory is a file", kRecord, false, [](L& l, Sandbox& s) { l.rewrite(s.recordedFile(L"keep.me") + test::kSeparator + L".vesko-" + kRecord + L".tmp"); }, false},
        {"a directory named like a journal is passed over", kRecord, false, [](L&, Sandbox& s) { test::MakeDirectory(s.journalPath(RecordName(1))); }, true},
        // The reading bounds around the parse (the parse refuses every other damage: StorageRulesTest).
        {"damaged checksum", kRecord, true, [](L& l, Sandbox&) { l.journal[41] ^= 0x10, l.write(); }, false},
        {"header only", kRecord, true, [](L& l, Sandbox&) { l.journal.resize(44), SetU32(l.journal, 12, 0), test::Reseal(l.journal), l.write(); }, false},
        {"shorter than a header", kRecord, true, [](L& l, Sandbox&) { l.journal.resize(43), l.write(); }, false},
        {"empty", kRecord, true, [](L& l, Sandbox&) { l.journal.clear(), l.write(); }, false},
        {"larger than any journal", kRecord, true, [](L& l, Sandbox&) { l.journal.resize(65579), l.write(); }, false},
        // Forms that are refused by their form alone, or that reach another file with the recorded identity.
        {"dot-dot component", kRecord, true, [](L& l, Sandbox& s) { RecordForm(l, s, L"{D}\\..\\{L}\\{F}"); }, false},
        {"dot component", kRecord, true, [](L& l, Sandbox& s) { RecordForm(l, s, L"{D}\\.\\{F}"); }, false},
        {"empty component", kRecord, true, [](L& l, Sandbox& s) { RecordForm(l, s, L"{D}\\\\{F}"); }, false},
        {"other record name", kRecord, true, [](L& l, Sandbox& s) { RecordForm(l, s, L"{D}\\.vesko-" + RecordName(77) + L".tmp"); }, false},
        {"other file name", kRecord, true, [](L& l, Sandbox& s) { RecordForm(l, s, L"{D}\\keep.me"); }, false},
        // Journal names this program never writes.
        {"upper-case record name", upper, true, nullptr, false},
        {"record name one short", kRecord.substr(1), true, nullptr, false},
        {"record name one long", kRecord + L"0", true, nullptr, false},
        {".JOURNAL", kRecord, true, [](L& l, Sandbox& s) { test::RemoveFile(l.journalPath), l.journalPath = s.recoveryPath() + test::kSeparator + kRecord + L".JOURNAL", l.write(); }, false},
        {".Journal", kRecord, true, [](L& l, Sandbox& s) { test::RemoveFile(l.journalPath), l.journalPath = s.recoveryPath() + test::kSeparator + kRecord + L".Journal", l.write(); }, false},
#ifdef _WIN32
        {"forward slash", kRecord, true, [](L& l, Sandbox& s) { RecordForm(l, s, L"{D}/{F}"); }, false},
        {"stream", kRecord, true, [](L& l, Sandbox& s) { RecordForm(l, s, L"{D}\\{F}::$DATA"); }, false},
        {"short form", kRecord, true, [](L& l, Sandbox& s) { RecordForm(l, s, L"{d}\\{F}"); }, false},
        {"temporary file in use", kRecord, true, [](L& l, Sandbox&) {
             busy.reset(CreateFileW(l.temporaryPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)); }, false},
        {"temporary file cannot be deleted", kRecord, true, [](L&, Sandbox& s) {
             s.calls.setFileInformationByHandle = &RefuseTemporaryDeletion, s.apply(); }, false},
#else
        {"journal locked by a live run", kRecord, true, [](L& l, Sandbox&) {
             busy.reset(::open(ToUtf8(l.journalPath).c_str(), O_RDONLY | O_CLOEXEC)), ::flock(busy.get(), LOCK_EX); }, false},
        {"temporary file has a second link", kRecord, true, [](L& l, Sandbox& s) {
             std::filesystem::create_hard_link(std::filesystem::path(l.temporaryPath), std::filesystem::path(s.destinationFile(L"link"))); }, false},
#endif
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sandbox;
        const std::wstring other = sandbox.recordedFile(L".vesko-" + RecordName(77) + L".tmp");
        test::WriteWholeFile(other, {7});
        test::WriteWholeFile(sandbox.destinationFile(L"keep.me"), {9});
        Leftover left = MakeLeftover(sandbox, c.record, c.withTemporary);
        if (c.change != nullptr)
            c.change(left, sandbox);
        RecoverInterruptedOutputs();
        busy.reset();
        EXPECT_EQ(Exists(left.journalPath), !c.deleted);
        EXPECT_EQ(Exists(left.temporaryPath), c.withTemporary && !c.deleted);
        if (!c.deleted) {
            EXPECT_EQ(test::ReadWholeFile(left.journalPath), left.journal);
        }
        EXPECT_EQ(test::ReadWholeFile(other), Bytes{7});
        EXPECT_EQ(test::ReadWholeFile(sandbox.destinationFile(L"keep.me")), Bytes{9});
    }
}

#ifdef _WIN32
ULONGLONG fakeClock = 0, clockStep = 0;
ULONGLONG WINAPI SteppingClock() {
    return std::exchange(fakeClock, fakeClock + clockStep);
}
#endif

// 256 entries at most, passed-over ones included, and on Windows none started after the deadline: with a
// clock that stands still every journal is handled; with 2500 ms a step the second entry starts exactly at
// the deadline and the third after it; with 3000 ms the second would start after it.
TEST(RecoverInterruptedOutputs, BoundedScan) {
    // clang-format off
    const struct { unsigned leftovers, unreadable; unsigned long long step; std::size_t remaining, again; } cases[] = {
        {300, 0, 0, 44, 0}, {1, 256, 0, 256, 256},
#ifdef _WIN32
        {3, 0, 2500, 1, 0}, {3, 0, 3000, 2, 1},
#endif
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.leftovers) + " " + std::to_string(c.step));
        Sandbox sandbox;
#ifdef _WIN32
        fakeClock = 1000000, clockStep = c.step;
        sandbox.calls.getTickCount64 = &SteppingClock;
        sandbox.apply();
#endif
        sandbox.makeRecoveryDirectory();
        // Journals too short to be read are passed over, but counted; whose temporary files are gone,
        // deleted.
        for (unsigned i = 0; i < c.unreadable; ++i)
            test::WriteWholeFile(sandbox.journalPath(RecordName(i)), {1});
        for (unsigned i = 0; i < c.leftovers; ++i)
            MakeLeftover(sandbox, RecordName(1000 + i), false);
        RecoverInterruptedOutputs();
        // Which entry of 257 is beyond the bound depends on the enumeration order.
        const std::size_t remaining = sandbox.journals().size();
        EXPECT_TRUE(remaining == c.remaining || (c.unreadable != 0 && remaining == c.remaining + 1))
            << remaining;
        if (c.unreadable == 0) {
            RecoverInterruptedOutputs();
            EXPECT_EQ(sandbox.journals().size(), c.again) << "second scan";
        }
    }
}

// A killed reservation, with nothing or part of the output written, leaves its journal, and the next start
// deletes both files; unless the temporary file was replaced by someone else's meanwhile.
TEST(CrashRecovery, KilledReservationIsCleanedUpAtTheNextStart) {
    const std::pair<unsigned, bool> cases[] = {{0, false}, {100000, false}, {0, true}};
    for (const auto& [bytes, replaced] : cases) {
        SCOPED_TRACE(std::to_string(bytes) + (replaced ? " replaced" : ""));
        Sandbox sandbox;
        test::ReservingProcess reservation(sandbox, sandbox.destinationFile(L"Game.nsp"), bytes);
        ASSERT_TRUE(reservation.ready());
        reservation.kill();
        ASSERT_EQ(sandbox.journals().size(), 1u);
        ASSERT_EQ(sandbox.temporaryFiles().size(), 1u);
        const std::wstring record = sandbox.journals()[0].substr(0, 32);
        EXPECT_EQ(sandbox.temporaryFiles()[0], L".vesko-" + record + L".tmp");
        const std::wstring temporary = sandbox.destinationFile(sandbox.temporaryFiles()[0]);
        const std::wstring journal = sandbox.journalPath(record);
        EXPECT_EQ(std::filesystem::file_size(std::filesystem::path(temporary)), bytes);
#ifdef _WIN32
        EXPECT_NE(GetFileAttributesW(journal.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
#endif
        // The journal on disk is intact and names the temporary file as recorded, with its identity.
        const Bytes bytesOnDisk = test::ReadWholeFile(journal);
        const std::optional<JournalRecord> parsed =
            ParseJournalRecord(bytesOnDisk.data(), bytesOnDisk.size());
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->temporaryPath, sandbox.recordedFile(L".vesko-" + record + L".tmp"));
        JournalIdentity now = test::IdentityOf(temporary);
        // Wine reports a file's last write time as its creation time, so writing moved it there.
        if (bytes != 0)
            now.creationTimeLow = parsed->identity.creationTimeLow,
            now.creationTimeHigh = parsed->identity.creationTimeHigh;
        EXPECT_EQ(parsed->identity, now);
        test::RestoreBirthTime(temporary, parsed->identity);
        // Someone else's file under the same name (the original moved away, so its index is not reused).
        if (replaced) {
            std::filesystem::rename(std::filesystem::path(temporary),
                                    std::filesystem::path(sandbox.destinationFile(L"original")));
            test::WriteWholeFile(temporary, {'m', 'i', 'n', 'e'});
        }
        test::RecoverInAnotherProcess(sandbox);
        if (replaced) {
            EXPECT_EQ(test::ReadWholeFile(temporary), (Bytes{'m', 'i', 'n', 'e'}));
            EXPECT_EQ(test::ReadWholeFile(journal), bytesOnDisk);
        } else {
            EXPECT_TRUE(test::ListNames(sandbox.destination()).empty());
            EXPECT_TRUE(sandbox.journals().empty());
        }
    }
}

// A live reservation is passed over by a scan in any process; once it is gone, the next start clears it.
// What is not the program's stays: a temporary-looking file without a journal, and a damaged journal.
TEST(CrashRecovery, LiveReservationOfAnotherProcessIsSkipped) {
    Sandbox sandbox;
    test::ReservingProcess live(sandbox, sandbox.destinationFile(L"live.nsp"), 0);
    ASSERT_TRUE(live.ready());
    const std::wstring stranger = L".vesko-" + std::wstring(32, L'a') + L".tmp", damaged(32, L'b');
    test::WriteWholeFile(sandbox.destinationFile(stranger), {'k'});
    test::WriteWholeFile(sandbox.journalPath(damaged), {'k'});
    const std::vector<std::wstring> temporary = sandbox.temporaryFiles(), journals = sandbox.journals();
    ASSERT_EQ(temporary.size(), 2u);
    test::RecoverInAnotherProcess(sandbox);
    RecoverInterruptedOutputs();
    EXPECT_EQ(sandbox.temporaryFiles(), temporary);
    EXPECT_EQ(sandbox.journals(), journals);
    live.kill();
    test::RecoverInAnotherProcess(sandbox);
    EXPECT_EQ(sandbox.temporaryFiles(), std::vector<std::wstring>{stranger});
    EXPECT_EQ(sandbox.journals(), std::vector<std::wstring>{damaged + L".journal"});
    EXPECT_FALSE(test::Exists(sandbox.destinationFile(L"live.nsp")));
}

} // namespace
} // namespace vesko
