// The storage contract of both systems: its rules, then on real files reserving, publishing and recovering.
#include "engine/Paths.h"
#include "storage/PublishOutput.h"
#include "storage/Recovery.h"
#include "storage/StorageRules.h"
#include "tests/storage/StorageTestSupport.h"

#include <cstring>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#endif

namespace vesko {
namespace {

namespace fs = std::filesystem;
using K = ConversionError::Kind;
using namespace test;
using Sandbox = StorageSandbox;

std::uint32_t U32At(const Bytes& bytes, std::size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

void SetU32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

const JournalIdentity kIdentity{0x11223344u, 0x55667788u, 0x99AABBCCu, 0xDDEEFF00u, 0x01020304u};
const std::wstring kPath = L"\\\\?\\C:\\d\\.vesko-0123456789abcdef0123456789abcdef.tmp";

// CRC-32 with offsets 40 to 43 as zero (the stored checksum), and the little-endian fields after the magic.
TEST(Journal, ChecksumAndLayout) {
    EXPECT_EQ(JournalChecksum(reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0xCBF43926u);
    EXPECT_EQ(JournalChecksum(nullptr, 0), 0u);
    const Bytes record = BuildJournalRecord(kIdentity, kPath);
    ASSERT_EQ(record.size(), 44 + 2 * kPath.size());
    EXPECT_EQ(std::memcmp(record.data(), "VESKOJ01", 8), 0);
    const std::uint32_t sum = JournalChecksum(record.data(), record.size());
    // clang-format off
    const std::uint32_t fields[] = {1, static_cast<std::uint32_t>(kPath.size()), 0x11223344u, 0x55667788u,
                                    0x99AABBCCu, 0xDDEEFF00u, 0x01020304u, 0, sum};
    // clang-format on
    for (std::size_t i = 0; i < std::size(fields); ++i)
        EXPECT_EQ(U32At(record, 8 + 4 * i), fields[i]) << i;
    for (std::size_t i = 0; i < kPath.size(); ++i)
        EXPECT_EQ(record[44 + 2 * i] | record[45 + 2 * i] << 8, kPath[i]) << i;
    for (std::size_t offset : {39, 40, 43, 44}) {
        Bytes changed = record;
        changed[offset] ^= 0xFF;
        EXPECT_EQ(JournalChecksum(changed.data(), changed.size()) == sum, offset >= 40 && offset <= 43)
            << offset;
    }
    // Read back, and damage refused.
    const std::wstring longest = L"\\\\?\\C:\\" + std::wstring(32767 - 7, L'a');
    for (const std::wstring& path :
         {std::wstring(L"\\\\?\\UNC\\s\\share\\\u0418\u0433\u0440\u0430\\.vesko-x.tmp"), longest}) {
        const Bytes record = BuildJournalRecord(kIdentity, path);
        const std::optional<JournalRecord> parsed = ParseJournalRecord(record.data(), record.size());
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->identity, kIdentity);
        EXPECT_EQ(parsed->temporaryPath, path);
    }
    // The longest path fits the largest journal, which the recovery scan reads up to.
    EXPECT_EQ(BuildJournalRecord(kIdentity, longest).size(), kJournalMaxSize);
    EXPECT_EQ(kJournalMaxSize, 65578u);
    // clang-format off
    const struct { const char* name; void (*damage)(Bytes&); bool reseal; } cases[] = {
        {"checksum", [](Bytes& b) { b[40] ^= 1; }, false},
        {"magic", [](Bytes& b) { b[7] = '2'; }, true},
        {"version 2", [](Bytes& b) { SetU32(b, 8, 2); }, true},
        {"version 0", [](Bytes& b) { SetU32(b, 8, 0); }, true},
        {"reserved field", [](Bytes& b) { SetU32(b, 36, 1); }, true},
        {"path length one short", [](Bytes& b) { SetU32(b, 12, U32At(b, 12) - 1); }, true},
        {"path length one long", [](Bytes& b) { SetU32(b, 12, U32At(b, 12) + 1); }, true},
        {"path length above 32767", [](Bytes& b) { SetU32(b, 12, 32768); }, true},
        {"shorter than a header", [](Bytes& b) { b.resize(43); }, false}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes record = BuildJournalRecord(kIdentity, kPath);
        c.damage(record);
        if (c.reseal)
            SetU32(record, 40, JournalChecksum(record.data(), record.size()));
        EXPECT_FALSE(ParseJournalRecord(record.data(), record.size()).has_value());
    }
}

TEST(StorageRules, ErrorKindsCodesAndCancellation) {
    enum Flag { None, Clear, Set };
    const K write = K::WriteFailed, denied = K::AccessDenied, records = K::RecoveryRecords;
    // clang-format off
    const struct { K kind; std::uint32_t code; Flag flag; K expectedKind; bool cancelled; } cases[] = {
        {write, 2, None, write, false}, {K::PathProblem, 5, Clear, denied, 0}, {write, 2, Set, write, false},
        {records, 5, Set, records, false}, {write, 995, Set, write, true}, {records, 995, Set, write, true},
        {write, 995, Clear, write, false}, {write, 995, None, write, false}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        CancelFlag flag{static_cast<std::uint8_t>(c.flag == Set ? 1 : 0)};
        const CancelFlag* passed = c.flag == None ? nullptr : &flag;
        if (c.cancelled)
            EXPECT_THROW(ThrowStorageError(c.kind, "Boom", c.code, passed), Cancelled);
        else
            ExpectConversionError([&] { ThrowStorageError(c.kind, "Boom", c.code, passed); },
                                  {c.expectedKind, "Boom (Windows " + std::to_string(c.code) + ")", c.code});
    }
}

TEST(StorageRules, CandidateNamesAndFatLimit) {
    // clang-format off
    const struct { std::wstring wanted; std::uint32_t number; std::wstring candidate; } names[] = {
        {L"Game.nsp", 0, L"Game.nsp"}, {L"Game.nsp", 1, L"Game (1).nsp"}, {L"Game", 1, L"Game (1)"},
        {L"Game.nsp", 9999, L"Game (9999).nsp"}, {L"a.b.nsp", 1, L"a.b (1).nsp"}, {L".nsp", 1, L" (1).nsp"},
        {L"Game.", 12, L"Game (12)."}};
    // clang-format on
    for (const auto& c : names)
        EXPECT_EQ(CandidateName(c.wanted, c.number), c.candidate) << ToUtf8(c.wanted) << " " << c.number;
    // The FAT names in any case share the one limit; ASCII case only.
    for (const wchar_t* fat : {L"FAT32", L"fat32", L"FAT", L"Fat16"})
        EXPECT_EQ(FileSystemSizeLimit(fat), 4294967295ull) << ToUtf8(fat);
    for (const wchar_t* other : {L"FAT12", L"", L"exFAT", L"NTFS", L"FAT3", L"FAT322", L"\u0192AT"})
        EXPECT_EQ(FileSystemSizeLimit(other), ~0ull) << ToUtf8(other);
}

TEST(StorageRules, RecordedTemporaryPathIsPlainFullAndLong) {
    const std::wstring record = L"0123456789abcdef0123456789abcdef", f = L".vesko-" + record + L".tmp";
#ifdef _WIN32
    const std::wstring d = L"\\\\?\\D:";
    const std::pair<std::wstring, bool> cases[] = {
        // clang-format off
        {d + L"\\games\\" + f, true}, {L"\\\\?\\d:\\" + f, true}, {L"\\\\?\\UNC\\s\\share\\d\\" + f, true},
        {d + L"\\games\\\u0418\u0433\u0440\u0430\\" + f, true}, {L"D:\\games\\" + f, false}, {d + f, false},
        {L"\\\\?\\1:\\" + f, false}, {d, false}, {d + L"\\games:stream\\" + f, false}, {L"", false},
        {d + L"\\games\\" + f + L":stream", false}, {d + L"\\games/sub\\" + f, false},
        {d + L"\\games\\\\" + f, false}, {d + L"\\games\\.\\" + f, false}, {d + L"\\games\\..\\" + f, false},
        {d + L"\\games\\x" + f, false}, {d + L"\\games\\.vesko-" + record + L".TMP", false},
        {d + L"\\games\\" + f + L"\\", false}, {std::wstring(L"\\\\?\\D:\\ga\0es\\", 13) + f, false},
        {d + L"\\games\\.vesko-fedcba9876543210fedcba9876543210.tmp", false},
        {d + L"\\" + std::wstring(32767 - 7 - f.size() - 1, L'a') + L"\\" + f, true},
        {d + L"\\" + std::wstring(32767 - 7 - f.size(), L'a') + L"\\" + f, false}};
    // clang-format on
#else
    // A colon is an ordinary character here; only an absolute path with named components passes.
    const std::pair<std::wstring, bool> cases[] = {
        // clang-format off
        {L"/games/" + f, true}, {L"/" + f, true}, {L"/a:b/\u0418\u0433\u0440\u0430/" + f, true}, {L"", 0},
        {L"games/" + f, false}, {L"/games//" + f, false}, {L"/games/./" + f, false}, {L"/games/../" + f, 0},
        {L"/games/x" + f, false}, {L"/games/" + f + L"/", false}, {std::wstring(L"/ga\0es/", 7) + f, false},
        {L"/games/.vesko-fedcba9876543210fedcba9876543210.tmp", false},
        {L"/" + std::wstring(32767 - 2 - f.size(), L'a') + L"/" + f, true},
        {L"/" + std::wstring(32767 - 1 - f.size(), L'a') + L"/" + f, false}};
    // clang-format on
#endif
    for (const auto& [path, accepted] : cases)
        EXPECT_EQ(IsRecordedTemporaryPath(path, record), accepted)
            << ToUtf8(path.substr(0, 80)) << " length " << path.size();
}

const Bytes kContent = {'N', 'S', 'P', '!', 0, 1, 2, 3};
const Bytes kOld = {'o', 'l', 'd'};

class StorageContract : public ::testing::Test {
  protected:
    std::wstring output() const { return sandbox.file(L"Game.nsp"); }

    StorageSandbox sandbox;
};

TEST_F(StorageContract, TakenNamesDrawAnotherRecordNameUpTo32Times) {
    // Every draw gives 0xab bytes, whose journal name is taken.
    randomScript.chunks.assign(16, 0xAB);
    sandbox.makeRecoveryDirectory();
    const std::wstring taken = sandbox.journalPath(L"abababababababababababababababab");
    WriteWholeFile(taken, {7, 7});
    std::unique_ptr<PendingOutput> pending;
    ExpectConversionError([&] { CreatePendingOutput(pending, output(), nullptr); },
                          {K::RecoveryRecords, "Cannot choose a recovery record name (Windows 80)", 80});
    EXPECT_EQ(randomScript.draws, 32);
    pending.reset();
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
    EXPECT_EQ(ReadWholeFile(taken), (Bytes{7, 7}));
    EXPECT_TRUE(fs::remove(fs::path(taken)));
    // First draw: 0x11 bytes, whose temporary name is taken; second draw: 0x22 bytes.
    randomScript = {Bytes(32, 0x22), 0, false};
    std::fill_n(randomScript.chunks.begin(), 16, 0x11);
    const std::wstring first = L".vesko-" + std::wstring(32, L'1') + L".tmp", second(32, L'2');
    WriteWholeFile(sandbox.file(first), {9});
    pending = ReserveAndWrite(output(), {});
    EXPECT_EQ(randomScript.draws, 2);
    EXPECT_EQ(sandbox.journals(), std::vector<std::wstring>{second + L".journal"});
    EXPECT_TRUE(Exists(sandbox.file(L".vesko-" + second + L".tmp")));
    EXPECT_FALSE(Exists(output()));
    EXPECT_EQ(pending->publishFlushError(), 0u);
#ifndef _WIN32
    struct stat journal {};
    ASSERT_EQ(::stat(ToUtf8(sandbox.journalPath(second)).c_str(), &journal), 0);
    EXPECT_EQ(journal.st_mode & 0777, 0600u); // the user's own
#endif
    // Discarding removes both files; the recovery levels stay for the next reservation.
    pending.reset();
    EXPECT_EQ(ReadWholeFile(sandbox.file(first)), Bytes{9});
    EXPECT_EQ(sandbox.temporaryFiles(), std::vector<std::wstring>{first});
    EXPECT_TRUE(sandbox.journals().empty());
    EXPECT_TRUE(Exists(sandbox.recoveryPath()));
    randomScript.fail = true;
    const char* failed = kWindows ? "Windows random generator failed" : "Random generator failed";
    ExpectConversionError([&] { CreatePendingOutput(pending, output(), nullptr); },
                          {K::SystemCrypto, failed});
}

// The path comes back in the user's form; without picking, a taken name is a conflict.
TEST(PublishOutput, PublishesUnderTheFirstFreeNameWithoutReplacing) {
    const wchar_t* caseBlind = kWindows ? L"Game (1).nsp" : L"Game.nsp";
    // clang-format off
    // What takes the names: 'f' files, 'd' a directory, 'l' a dangling link (never followed).
    const struct { char kind; std::vector<std::wstring> taken; std::wstring expected; } cases[] = {
        {'f', {}, L"Game.nsp"}, {'f', {L"Game.nsp"}, L"Game (1).nsp"}, {'d', {L"Game.nsp"}, L"Game (1).nsp"},
        {'f', {L"Game.nsp", L"Game (1).nsp"}, L"Game (2).nsp"}, {'f', {L"GAME.NSP"}, caseBlind},
        {'f', {L"Game.nsp", L"Game (2).nsp"}, L"Game (1).nsp"},
#ifndef _WIN32
        {'l', {L"Game.nsp"}, L"Game (1).nsp"},
#endif
        {'f', {L"Game.nsp"}, L""}}; // empty: without picking an unused name
    // clang-format on
    // POSIX: renameat2, then file systems without RENAME_NOREPLACE, then without hard links either (FAT).
    for (int route = 0; route < (kWindows ? 1 : 3); ++route) {
        for (const auto& c : cases) {
            SCOPED_TRACE("route " + std::to_string(route) + " row " + std::to_string(&c - cases));
            StorageSandbox sandbox;
#ifndef _WIN32
            if (route > 0)
                sandbox.calls.renameNoReplace = [](auto...) { return errno = EINVAL, -1; };
            if (route > 1)
                sandbox.calls.linkAt = [](auto...) { return errno = EPERM, -1; };
            sandbox.apply();
#endif
            for (const std::wstring& name : c.taken)
                c.kind == 'f'   ? WriteWholeFile(sandbox.file(name), kOld)
                : c.kind == 'd' ? void(fs::create_directory(sandbox.file(name)))
                                : fs::create_symlink("elsewhere", fs::path(sandbox.file(name)));
            // Every other row names the output with forward slashes and a detour.
            const bool slashed = (&c - cases) % 2 != 0;
            std::wstring output =
                sandbox.destination() + (slashed ? L"/sub/../" : std::wstring(1, kSeparator)) + L"Game.nsp";
            if (slashed)
                std::replace(output.begin(), output.end(), L'\\', L'/');
            std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output, kContent);
            if (c.expected.empty()) {
                // Wine's rename answers 183; the POSIX code and some Windows volumes answer 80.
                try {
                    PublishOutput(pending, output, false, nullptr);
                    ADD_FAILURE() << "no exception";
                } catch (const ConversionError& e) {
                    EXPECT_EQ(e.kind, K::NameConflict);
                    EXPECT_TRUE(e.windowsError == 80 || (kWindows && e.windowsError == 183));
                    EXPECT_EQ(std::string(e.what()), "Output name is already in use (Windows " +
                                                         std::to_string(e.windowsError) + ")");
                }
                EXPECT_EQ(sandbox.temporaryFiles().size(), 1u);
            } else {
                EXPECT_EQ(PublishOutput(pending, output, true, nullptr), sandbox.file(c.expected));
                EXPECT_EQ(pending->publishFlushError(), 0u);
                EXPECT_EQ(pending->outputHandle(), decltype(pending->outputHandle())(std::intptr_t{-1}));
                EXPECT_TRUE(sandbox.journals().empty());
                EXPECT_EQ(ReadWholeFile(sandbox.file(c.expected)), kContent);
#ifndef _WIN32
                struct stat published {};
                ASSERT_EQ(::stat(ToUtf8(sandbox.file(c.expected)).c_str(), &published), 0);
                const mode_t mask = ::umask(0);
                ::umask(mask);
                EXPECT_EQ(published.st_mode & 0777, 0666 & ~mask); // as any new file of the user
#endif
            }
            pending.reset();
            EXPECT_TRUE(sandbox.temporaryFiles().empty());
            EXPECT_TRUE(sandbox.journals().empty());
            for (const std::wstring& name : c.taken) {
                const fs::path path(sandbox.file(name));
                EXPECT_TRUE(c.kind == 'f'   ? ReadWholeFile(path.wstring()) == kOld
                            : c.kind == 'd' ? fs::is_directory(path)
                                            : fs::is_symlink(path));
            }
            EXPECT_FALSE(Exists(sandbox.file(L"elsewhere")));
        }
    }
}

// Only to a named file in an existing directory, and once.
TEST_F(StorageContract, PathFailures) {
    const ExpectedError invalid{K::PathProblem, "Invalid storage path (Windows 123)", 123},
        missing{K::WriteFailed, "Cannot open storage directory (Windows 2)", 2};
    WriteWholeFile(sandbox.file(L"file"), {1});
    // Windows: the directory prefix keeps its backslash, and a file named with one is an invalid name.
    const ExpectedError notDirectory{K::WriteFailed,
                                     kWindows ? "Cannot open storage directory (Windows 123)"
                                              : "Unsafe storage directory (Windows 1920)",
                                     kWindows ? 123u : 1920u};
    const std::pair<std::wstring, ExpectedError> reserving[] = {
        {L"", invalid},
        {sandbox.file(L"missing") + kSeparator + L"Game.nsp", missing},
        {sandbox.file(L"file") + kSeparator + L"Game.nsp", notDirectory}};
    for (const auto& c : reserving) {
        std::unique_ptr<PendingOutput> pending;
        ExpectConversionError([&] { CreatePendingOutput(pending, c.first, nullptr); }, c.second);
        EXPECT_TRUE(pending);
    }
    EXPECT_FALSE(Exists(sandbox.recoveryHome() + kSeparator + L"VESKO"));
    // A path without a file name has nothing to publish under; the reservation stays publishable.
    std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output(), kContent);
    const std::pair<std::wstring, ExpectedError> publishing[] = {
        {L"", invalid},
        {sandbox.file(L"gone") + kSeparator + L"Game.nsp", missing},
        {sandbox.destination() + kSeparator, invalid}};
    for (const auto& c : publishing)
        ExpectConversionError([&] { PublishOutput(pending, c.first, true, nullptr); }, c.second);
    EXPECT_EQ(ListNames(sandbox.destination()).size(), 2u);
    EXPECT_EQ(PublishOutput(pending, output(), true, nullptr), output());
    ExpectConversionError([&] { PublishOutput(pending, output(), true, nullptr); },
                          {K::WriteFailed, "Output was already committed (Windows 1)", 1});
    pending.reset();
    EXPECT_EQ(ReadWholeFile(output()), kContent);
    ExpectConversionError([&] { PublishOutput(pending, output(), true, nullptr); },
                          {K::WriteFailed, "No output is reserved (Windows 1)", 1});
}

// The limit is tested before the space; a query that fails skips its test.
TEST_F(StorageContract, SizeLimitThenFreeSpace) {
    const std::uint64_t big = 1ull << 40, fat = 4294967295ull, none = ~0ull;
    // clang-format off
    const struct { const wchar_t* fileSystem; bool limitWorks, spaceWorks; std::uint64_t free, required;
                   std::uint32_t code; } cases[] = { // code 0: fits
        {L"FAT32", 1, 1, big, fat, 0}, {L"FAT32", 1, 1, big, fat + 1, 223}, {L"NTFS", 1, 1, big, fat + 1, 0},
        {L"NTFS", 1, 1, none, none, 0}, {L"NTFS", 1, 1, 5000, 5000, 0}, {L"NTFS", 1, 1, 5000, 5001, 112},
        {L"FAT32", 1, 1, 10, fat + 1, 223}, {L"FAT32", 1, 1, 10, 11, 112}, {L"FAT32", 0, 1, big, fat + 1, 0},
        {L"NTFS", 1, 0, 0, big, 0}, {L"FAT32", 0, 1, 10, 11, 112}};
    // clang-format on
    sandbox.fakeVolume();
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        volume = {c.fileSystem, c.free, c.limitWorks, c.spaceWorks};
        if (c.code == 0)
            EXPECT_NO_THROW(CheckOutputSpace(output(), c.required, nullptr));
        else
            ExpectSpaceError(output(), c.required, c.code, c.free);
    }
    CancelFlag set{1};
    EXPECT_THROW(CheckOutputSpace(L"", 1, &set), Cancelled);
    ExpectConversionError([] { CheckOutputSpace(L"", 1, nullptr); },
                          {K::PathProblem, "Invalid storage path (Windows 123)", 123});
    // The real volume: a small output fits, an impossible one reports the real free bytes.
    const ScopedStorageSystemOverride real(RealStorageSystemCalls());
    EXPECT_NO_THROW(CheckOutputSpace(output(), 1, nullptr));
    ExpectSpaceError(output(), none, 112, 0);
}

const std::wstring kRecord = L"0123456789abcdef0123456789abcdef";

std::wstring RecordName(unsigned number) { // 32 digits, a valid record name
    return std::wstring(32 - std::to_wstring(number).size(), L'0') + std::to_wstring(number);
}

// A hand-made leftover; without its temporary file, a made-up index on the destination's volume.
struct Leftover {
    std::wstring temporaryPath, journalPath; // the temporary path as recorded
    JournalIdentity identity;
    Bytes journal;

    void write() const { WriteWholeFile(journalPath, journal); }
    void rewrite(const std::wstring& path) { journal = BuildJournalRecord(identity, path), write(); }
    void reseal() { rewrite(temporaryPath); }
    void moveTo(const std::wstring& dir) { rewrite(dir + kSeparator + L".vesko-" + kRecord + L".tmp"); }
};

Leftover MakeLeftover(const Sandbox& sandbox, const std::wstring& record, bool withTemporary = true,
                      const wchar_t* extension = L".journal") {
    sandbox.makeRecoveryDirectory();
    Leftover left;
    left.temporaryPath = sandbox.recordedFile(L".vesko-" + record + L".tmp");
    left.journalPath = sandbox.recoveryPath() + kSeparator + record + extension;
    if (withTemporary) {
        WriteWholeFile(left.temporaryPath, {1, 2, 3});
        left.identity = IdentityOf(left.temporaryPath);
    } else {
        left.identity.volumeSerial = IdentityOf(sandbox.destination()).volumeSerial;
        left.identity.fileIndexLow = 1234;
    }
    left.reseal();
    return left;
}

StorageHandle busy; // held by a live run, in the row that needs it

#ifdef _WIN32
BOOL WINAPI RefuseTemporaryDeletion(HANDLE file, FILE_INFO_BY_HANDLE_CLASS type, LPVOID data, DWORD size) {
    if (type != FileDispositionInfo || !FinalPathOf(file).ends_with(L".tmp"))
        return SetFileInformationByHandle(file, type, data, size);
    return SetLastError(ERROR_ACCESS_DENIED), FALSE;
}
#endif

// Beside each leftover lie another temporary-looking file and a plain file, which no row may lose.
TEST(RecoverInterruptedOutputs, OutcomesPerJournal) {
    {
        Sandbox sandbox; // without a recovery directory nothing is created
        RecoverInterruptedOutputs();
        EXPECT_TRUE(ListNames(sandbox.recoveryHome()).empty());
    }
    using L = Leftover;
    using S = Sandbox;
    // clang-format off
    // deleted: the journal, and the temporary file
    const struct { const char* name; bool withTemporary; void (*change)(L&, S&); bool deleted;
                   std::wstring record = kRecord; const wchar_t* extension = L".journal"; } cases[] = {
        {"identity matches", true, nullptr, true},
        {"other creation time", true, [](L& l, S&) { l.identity.creationTimeHigh += 1, l.reseal(); }, false},
        {"temporary file gone, directory there", false, nullptr, true},
        {"temporary file gone, directory on another volume", false,
         [](L& l, S&) { l.identity.volumeSerial ^= 0x8000, l.reseal(); }, false},
        {"directory gone", false, [](L& l, S& s) { l.moveTo(s.recordedFile(L"gone")); }, false},
        {"directory is a file", false, [](L& l, S& s) { l.moveTo(s.recordedFile(L"keep.me")); }, false},
        {"a directory named like a journal is passed over", false,
         [](L&, S& s) { fs::create_directory(s.journalPath(RecordName(1))); }, true},
        {"other file, its identity recorded", true, [](L& l, S& s) {
             l.identity = IdentityOf(s.file(L"keep.me")), l.rewrite(s.recordedFile(L"keep.me")); },
         false},
        // The reading bounds around the parse (the parse refuses every other damage: above).
        {"damaged checksum", true, [](L& l, S&) { l.journal[41] ^= 0x10, l.write(); }, false},
        {"header only", true, [](L& l, S&) { l.rewrite(L""); }, false},
        {"shorter than a header", true, [](L& l, S&) { l.journal.resize(43), l.write(); }, false},
        {"larger than any journal", true, [](L& l, S&) { l.journal.resize(65579), l.write(); }, false},
        // Journal names this program never writes.
        {"upper-case record name", true, nullptr, false, L"0123456789ABCDEF0123456789ABCDEF"},
        {"record name one short", true, nullptr, false, kRecord.substr(1)},
        {"record name one long", true, nullptr, false, kRecord + L"0"},
        {".JOURNAL", true, nullptr, false, kRecord, L".JOURNAL"},
#ifdef _WIN32
        {"temporary file in use", true, [](L& l, S&) {
             const wchar_t* path = l.temporaryPath.c_str();
             busy.reset(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
         }, false},
        {"temporary file cannot be deleted", true,
         [](L&, S& s) { s.calls.setFileInformationByHandle = &RefuseTemporaryDeletion, s.apply(); }, false},
#else
        {"journal locked by a live run", true, [](L& l, S&) {
             busy.reset(::open(ToUtf8(l.journalPath).c_str(), O_RDONLY | O_CLOEXEC));
             ::flock(busy.get(), LOCK_EX);
         }, false},
        {"temporary file has a second link", true, [](L& l, S& s) {
             fs::create_hard_link(fs::path(l.temporaryPath), fs::path(s.file(L"link"))); }, false},
#endif
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sandbox;
        const std::wstring other = sandbox.recordedFile(L".vesko-" + RecordName(77) + L".tmp");
        WriteWholeFile(other, {7});
        WriteWholeFile(sandbox.file(L"keep.me"), {9});
        Leftover left = MakeLeftover(sandbox, c.record, c.withTemporary, c.extension);
        if (c.change != nullptr)
            c.change(left, sandbox);
        RecoverInterruptedOutputs();
        busy.reset();
        EXPECT_EQ(Exists(left.journalPath), !c.deleted);
        EXPECT_EQ(Exists(left.temporaryPath), c.withTemporary && !c.deleted);
        EXPECT_TRUE(c.deleted || ReadWholeFile(left.journalPath) == left.journal);
        EXPECT_EQ(ReadWholeFile(other), Bytes{7});
        EXPECT_EQ(ReadWholeFile(sandbox.file(L"keep.me")), Bytes{9});
    }
}

#ifdef _WIN32
ULONGLONG fakeClock = 0, clockStep = 0;
ULONGLONG WINAPI SteppingClock() {
    return std::exchange(fakeClock, fakeClock + clockStep);
}
#endif

// 256 entries at most, passed-over ones included; on Windows none started after the deadline (2500 ms a
// step: the second entry starts exactly at it, the third after it; 3000 ms: the second after it).
TEST(RecoverInterruptedOutputs, BoundedScan) {
    // clang-format off
    const struct { unsigned leftovers, unreadable; unsigned long long step; std::size_t remaining, again; }
        cases[] = {
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
        // Journals too short to be read are passed over, but counted; those of gone files, deleted.
        for (unsigned i = 0; i < c.unreadable; ++i)
            WriteWholeFile(sandbox.journalPath(RecordName(i)), {1});
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

// Unless the temporary file was replaced by someone else's meanwhile.
TEST(CrashRecovery, KilledReservationIsCleanedUpAtTheNextStart) {
    const std::pair<unsigned, bool> cases[] = {{0, false}, {100000, false}, {0, true}};
    for (const auto& [bytes, replaced] : cases) {
        SCOPED_TRACE(std::to_string(bytes) + (replaced ? " replaced" : ""));
        Sandbox sandbox;
        ReservingProcess reservation(sandbox, sandbox.file(L"Game.nsp"), bytes);
        ASSERT_TRUE(reservation.ready);
        reservation.kill();
        ASSERT_EQ(sandbox.journals().size(), 1u);
        const std::wstring record = sandbox.journals()[0].substr(0, 32), name = L".vesko-" + record + L".tmp";
        ASSERT_EQ(sandbox.temporaryFiles(), std::vector<std::wstring>{name});
        const std::wstring temporary = sandbox.file(name), journal = sandbox.journalPath(record);
        EXPECT_EQ(fs::file_size(fs::path(temporary)), bytes);
#ifdef _WIN32
        EXPECT_NE(GetFileAttributesW(journal.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
#endif
        const Bytes bytesOnDisk = ReadWholeFile(journal);
        const auto parsed = ParseJournalRecord(bytesOnDisk.data(), bytesOnDisk.size());
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->temporaryPath, sandbox.recordedFile(name));
        JournalIdentity now = IdentityOf(temporary);
        // Wine reports a file's last write time as its creation time: writing moved it, put it back.
        if (bytes != 0)
            now.creationTimeLow = parsed->identity.creationTimeLow,
            now.creationTimeHigh = parsed->identity.creationTimeHigh;
        EXPECT_EQ(parsed->identity, now);
#ifdef _WIN32
        const FILETIME born{parsed->identity.creationTimeLow, parsed->identity.creationTimeHigh};
        ASSERT_TRUE(SetFileTime(UniqueHandle(CreateFileW(temporary.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                                         OPEN_EXISTING, 0, nullptr))
                                    .get(),
                                nullptr, nullptr, &born));
#endif
        // Someone else's file under the same name (the original moved away, so its index is not reused).
        if (replaced) {
            fs::rename(fs::path(temporary), fs::path(sandbox.file(L"original")));
            WriteWholeFile(temporary, {'m', 'i', 'n', 'e'});
        }
        RecoverInAnotherProcess(sandbox);
        if (replaced) {
            EXPECT_EQ(ReadWholeFile(temporary), (Bytes{'m', 'i', 'n', 'e'}));
            EXPECT_EQ(ReadWholeFile(journal), bytesOnDisk);
        } else {
            EXPECT_TRUE(ListNames(sandbox.destination()).empty());
            EXPECT_TRUE(sandbox.journals().empty());
        }
    }
}

// What is not the program's stays: a temporary-looking file without a journal, and a damaged journal.
TEST(CrashRecovery, LiveReservationOfAnotherProcessIsSkipped) {
    Sandbox sandbox;
    ReservingProcess live(sandbox, sandbox.file(L"live.nsp"), 0);
    ASSERT_TRUE(live.ready);
    const std::wstring stranger = L".vesko-" + std::wstring(32, L'a') + L".tmp", damaged(32, L'b');
    WriteWholeFile(sandbox.file(stranger), {'k'});
    WriteWholeFile(sandbox.journalPath(damaged), {'k'});
    const std::vector<std::wstring> temporary = sandbox.temporaryFiles(), journals = sandbox.journals();
    ASSERT_EQ(temporary.size(), 2u);
    RecoverInAnotherProcess(sandbox);
    RecoverInterruptedOutputs();
    EXPECT_EQ(sandbox.temporaryFiles(), temporary);
    EXPECT_EQ(sandbox.journals(), journals);
    live.kill();
    RecoverInAnotherProcess(sandbox);
    EXPECT_EQ(sandbox.temporaryFiles(), std::vector<std::wstring>{stranger});
    EXPECT_EQ(sandbox.journals(), std::vector<std::wstring>{damaged + L".journal"});
    EXPECT_FALSE(Exists(sandbox.file(L"live.nsp")));
}

} // namespace
} // namespace vesko
