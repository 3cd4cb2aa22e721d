// What only the Windows storage code meets, single calls' failures provoked through the seam.
#include "engine/Paths.h"
#include "storage/PublishOutput.h"
#include "storage/Recovery.h"
#include "tests/storage/StorageTestSupport.h"

namespace vesko {
namespace {

using K = ConversionError::Kind;
using test::Bytes;
using test::ExpectConversionError;
using test::seam;
using Sandbox = test::StorageSandbox;

const Bytes kContent = {'N', 'S', 'P', '!', 0, 1, 2, 3};

// What the storage contract does not reach: null characters, too long paths, roots, and no directory at all.
TEST(StoragePaths, ResolvePrefixAndJoin) {
    EXPECT_EQ(DirectoryPrefix(L"D:\\x.nsp"), L"D:\\");
    EXPECT_EQ(JoinStoragePath(L"\\\\?\\D:\\", L"x.nsp"), L"\\\\?\\D:\\x.nsp");
    ExpectConversionError([] { ResolveStoragePath(std::wstring(L"C:\\games\0x.nsp", 15)); },
                          {K::PathProblem, "Invalid storage path (Windows 123)", 123});
    ExpectConversionError([] { ResolveStoragePath(L"C:\\" + std::wstring(32770, L'a')); },
                          {K::PathProblem, "Cannot resolve storage path (Windows 206)", 206});
    for (const wchar_t* path : {L"x.nsp", L"D:/games/x.nsp"})
        ExpectConversionError([&] { DirectoryPrefix(path); },
                              {K::PathProblem, "Missing output directory (Windows 123)", 123});
}

// Wine enforces no share modes on directories and keeps no reparse points: the request itself is checked
// (no delete sharing, attribute access, the long form), and the attribute comes from the seam.
TEST(StoragePaths, OpenStorageDirectory) {
    Sandbox sandbox;
    const std::wstring dir = sandbox.destination(), file = sandbox.destinationFile(L"plain.bin");
    for (const bool refuse : {false, true}) {
        seam.creates.clear();
        EXPECT_TRUE(OpenStorageDirectory(dir, refuse, K::WriteFailed, nullptr).valid());
        const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (refuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
        EXPECT_EQ(seam.creates,
                  (decltype(seam.creates){{ToLongPath(dir), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, flags}}));
    }
    test::WriteWholeFile(file, {1, 2, 3});
    const test::ExpectedError unsafe{K::WriteFailed, "Unsafe storage directory (Windows 1920)", 1920};
    ExpectConversionError([&] { OpenStorageDirectory(file, false, K::WriteFailed, nullptr); }, unsafe);
    seam.infoSuffix = ToLongPath(dir);
    seam.extraAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
    ExpectConversionError([&] { OpenStorageDirectory(dir, true, K::WriteFailed, nullptr); }, unsafe);
    EXPECT_TRUE(OpenStorageDirectory(dir, false, K::WriteFailed, nullptr).valid()); // not refused: opens
    seam.infoError = 1117;
    ExpectConversionError([&] { OpenStorageDirectory(dir, false, K::WriteFailed, nullptr); },
                          {K::WriteFailed, "Cannot inspect storage directory (Windows 1117)", 1117});
    // An open aborted while cancelling is cancellation.
    seam.createError = 995;
    CancelFlag flag{1};
    EXPECT_THROW(OpenStorageDirectory(dir, false, K::WriteFailed, &flag), Cancelled);
}

// Trailing backslashes go except at the root (the long form itself: CrashRecovery's recorded path). The
// recovery levels below the known folder are held open.
TEST(StoragePaths, FinalDirectoryPath) {
    Sandbox sandbox;
    EXPECT_EQ(OpenRecoveryDirectory(true, nullptr).handles.size(), 4u);
    const UniqueHandle handle = OpenStorageDirectory(sandbox.destination(), false, K::WriteFailed, nullptr);
    const std::pair<std::wstring, std::wstring> reported[] = {
        {L"\\\\?\\D:\\games\\\\\\", L"\\\\?\\D:\\games"}, {L"\\\\?\\D:\\\\", L"\\\\?\\D:\\"}};
    for (const auto& [path, final] : reported) {
        seam.finalPath = path;
        EXPECT_EQ(FinalDirectoryPath(handle.get(), K::WriteFailed, nullptr), final) << ToUtf8(path);
    }
    seam.finalPath = L"\\\\?\\D:\\" + std::wstring(32767, L'a');
    ExpectConversionError([&] { FinalDirectoryPath(handle.get(), K::RecoveryRecords, nullptr); },
                          {K::RecoveryRecords, "Cannot resolve storage directory (Windows 206)", 206});
    seam.finalPath = L"", seam.finalPathError = 1;
    ExpectConversionError([&] { FinalDirectoryPath(handle.get(), K::RecoveryRecords, nullptr); },
                          {K::RecoveryRecords, "Cannot resolve storage directory (Windows 1)", 1});
}

// The journal and the output are held exclusively; the output handle writes but does not read.
TEST(CreatePendingOutput, UsesTheUsersLocalApplicationDataAndHoldsBothFiles) {
    test::TempDir destination;
    wchar_t* raw = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw)));
    const std::wstring recovery = std::wstring(raw) + L"\\VESKO\\ZARUvivuriza\\Recovery";
    CoTaskMemFree(raw);
    auto pending = test::ReserveAndWrite(destination.file(L"Game.nsp"), Bytes(70000, 1));
    const std::vector<std::wstring> temporary = test::ListNames(destination.path(), L".vesko-");
    ASSERT_EQ(temporary.size(), 1u);
    const std::wstring journal = recovery + L"\\" + temporary[0].substr(7, 32) + L".journal";
    for (const std::wstring& path : {destination.file(temporary[0]), journal}) {
        const UniqueHandle other(CreateFileW(path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(other.valid()) << ToUtf8(path);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    char back[3] = {};
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(pending->outputHandle(), back, 3, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    pending.reset();
    EXPECT_FALSE(test::Exists(journal));
    EXPECT_TRUE(test::ListNames(destination.path()).empty());
}

// A failed reservation stays in its owner, whose discarding removes whatever it made.
TEST(CreatePendingOutput, AbandonedAtAnyStepLeavesNeitherFile) {
    const char* identity = "Output identity is unavailable (Windows 50)";
    const K records = K::RecoveryRecords, none = K::WriteFailed;
    using F = CancelFlag;
    // clang-format off
    const struct { void (*arrange)(CancelFlag&); K kind; const char* message; std::uint32_t code; }
        cases[] = {
        {[](F& f) { f.store(1); }, none, nullptr, 0}, // no message: cancelled
        {[](F&) { seam.knownFolderError = E_FAIL; }, records,
         "Cannot locate recovery directory (Windows 2147500037)", 0x80004005u},
        {[](F&) { seam.infoSuffix = L"\\ZARUvivuriza", seam.extraAttributes = FILE_ATTRIBUTE_REPARSE_POINT; },
         records, "Unsafe storage directory (Windows 1920)", 1920},
        {[](F&) { seam.createSuffix = L"\\Recovery", seam.createError = 5; }, records,
         "Cannot open storage directory (Windows 5)", 5},
        {[](F&) { seam.createSuffix = L".journal", seam.createError = 5; }, records,
         "Cannot create recovery journal (Windows 5)", 5},
        {[](F&) { seam.createSuffix = L".tmp", seam.createError = 5; }, K::AccessDenied,
         "Cannot create temporary output (Windows 5)", 5},
        {[](F&) { seam.createSuffix = L".tmp", seam.createError = 112; }, K::WriteFailed,
         "Cannot create temporary output (Windows 112)", 112},
        {[](F&) { seam.infoSuffix = L".tmp", seam.infoError = 1; }, records,
         "Cannot record output identity (Windows 1)", 1},
        {[](F&) { seam.infoSuffix = L".tmp", seam.zeroFileIndex = true; }, records, identity, 50},
        {[](F&) { seam.infoSuffix = L".tmp", seam.extraLinks = 1; }, records, identity, 50},
        {[](F&) { seam.infoSuffix = L".tmp", seam.extraAttributes = FILE_ATTRIBUTE_REPARSE_POINT; }, records,
         identity, 50},
        {[](F&) { seam.writeError = 112; }, records, "Cannot write recovery journal (Windows 112)", 112},
        {[](F&) { seam.shortWrite = true; }, records, "Incomplete recovery journal (Windows 29)", 29},
        {[](F&) { seam.failingFlush = 1, seam.flushError = 1117; }, records,
         "Cannot flush recovery journal (Windows 1117)", 1117},
        {[](F& f) { seam.cancelOnWrite = &f; }, none, nullptr, 0},
        {[](F& f) { seam.cancelOnWrite = &f, seam.writeError = 995; }, none, nullptr,
         0}}; // aborted while cancelling
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message != nullptr ? c.message : "cancelled");
        Sandbox sandbox;
        CancelFlag flag{0};
        c.arrange(flag);
        std::unique_ptr<PendingOutput> pending;
        const auto create = [&] { CreatePendingOutput(pending, sandbox.destinationFile(L"x"), &flag); };
        if (c.message == nullptr)
            EXPECT_THROW(create(), Cancelled);
        else
            ExpectConversionError(create, {c.kind, c.message, c.code});
        EXPECT_TRUE(pending);
        pending.reset();
        EXPECT_TRUE(sandbox.temporaryFiles().empty());
        EXPECT_TRUE(sandbox.journals().empty());
    }
}

// What the space check asks the volume, and when a cancellation stops it (the answers: StorageContractTest).
TEST(CheckOutputSpace, AsksAboutTheLongDirectoryOfTheResolvedPath) {
    using test::volume;
    Sandbox sandbox;
    sandbox.fakeVolume();
    volume.freeBytes = 100;
    CheckOutputSpace(sandbox.destination() + L"/Game.nsp", 1, nullptr);
    const std::wstring directory = ToLongPath(sandbox.destination()) + L"\\";
    EXPECT_EQ(volume.volumePathAskedFor, directory);
    EXPECT_EQ(volume.volumeInformationAskedFor, L"\\\\?\\F:\\");
    EXPECT_EQ(volume.freeSpaceAskedFor, directory);
    // Without the volume's root its file system is unknown: no limit.
    volume = {L"FAT32", 1ull << 40};
    volume.pathWorks = false;
    EXPECT_NO_THROW(CheckOutputSpace(sandbox.destinationFile(L"Game.nsp"), 4294967296ull, nullptr));
    volume.freeBytes = 10; // the space is still checked
    test::ExpectSpaceError(sandbox.destinationFile(L"Game.nsp"), 11, 112, 10);
    CancelFlag duringLimit{0}, duringSpace{0};
    volume = {L"NTFS", 100};
    volume.cancelOnInformation = &duringLimit;
    EXPECT_THROW(CheckOutputSpace(sandbox.destinationFile(L"Game.nsp"), 1, &duringLimit), Cancelled);
    EXPECT_TRUE(volume.freeSpaceAskedFor.empty());
    volume = {L"NTFS", 100};
    volume.cancelOnFreeSpace = &duringSpace;
    EXPECT_THROW(CheckOutputSpace(sandbox.destinationFile(L"Game.nsp"), 1, &duringSpace), Cancelled);
    volume = {};
}

// Rename answers for the seam: `error` for the first `failures` renames (with `onlyTaken`, only onto a
// visible name); each failure may cancel.
struct {
    DWORD error;
    int failures;
    bool onlyTaken;
    CancelFlag* cancel;
} renameScript;
int renameCalls = 0;
std::wstring lastRenameTarget;

BOOL WINAPI ScriptedRename(HANDLE file, FILE_INFO_BY_HANDLE_CLASS type, LPVOID data, DWORD size) {
    if (type != FileRenameInfo || renameScript.error == 0)
        return SetFileInformationByHandle(file, type, data, size);
    const auto* info = static_cast<const FILE_RENAME_INFO*>(data);
    lastRenameTarget.assign(info->FileName, info->FileNameLength / sizeof(wchar_t));
    if (++renameCalls > renameScript.failures ||
        (renameScript.onlyTaken && GetFileAttributesW(lastRenameTarget.c_str()) == INVALID_FILE_ATTRIBUTES))
        return SetFileInformationByHandle(file, type, data, size);
    if (renameScript.cancel != nullptr)
        renameScript.cancel->store(1);
    return SetLastError(renameScript.error), FALSE;
}

// Access denied on a visible name counts as taken; a lock gone before the fifth try is no failure. A flush
// failing after the rename leaves the journal as a trace for the next start, which clears it.
TEST(PublishOutput, RenameAndFlushAnswers) {
    using F = CancelFlag;
    constexpr int all = 1 << 30;
    using S = const Sandbox;
    const char *inUse = "Output name is already in use", *cannot = "Cannot publish completed output";
    // clang-format off
    const struct { void (*arrange)(F&, S&); bool nameTaken, pick; const wchar_t* published; K kind;
                   const char* message; // none: cancelled
                   std::uint32_t code; int renames, flushes; std::uint32_t flushError = 0; } cases[] = {
        {[](F&, S&) { renameScript = {5, all, true, nullptr}; }, true, true, L"Game (1).nsp", K::WriteFailed,
         nullptr, 0, 2, 2},
        {[](F&, S&) { renameScript = {32, 4, false, nullptr}; }, false, false, L"Game.nsp", K::WriteFailed,
         nullptr, 0, 5, 2},
        {[](F&, S&) { renameScript = {5, all, true, nullptr}; }, true, false, nullptr, K::AccessDenied, inUse,
         5, 1, 1},
        {[](F&, S&) { renameScript = {5, all, false, nullptr}; }, false, true, nullptr, K::AccessDenied,
         cannot, 5, 5, 1},
        {[](F&, S&) { renameScript = {87, all, false, nullptr}; }, false, true, nullptr, K::WriteFailed,
         cannot, 87, 1, 1},
        {[](F&, S&) { renameScript = {32, all, false, nullptr}; }, false, true, nullptr, K::WriteFailed,
         cannot, 32, 5, 1},
        {[](F&, S&) { renameScript = {183, all, false, nullptr}; }, false, true, nullptr, K::NameConflict,
         "No unused output name was found", 80, 10000, 1},
        {[](F& f, S&) { renameScript = {32, all, false, &f}; }, false, true, nullptr, K::WriteFailed, nullptr,
         0, 1, 1},
        {[](F& f, S&) { renameScript = {183, all, false, &f}; }, true, true, nullptr, K::WriteFailed, nullptr,
         0, 1, 1},
        {[](F& f, S&) { f.store(1); }, false, true, nullptr, K::WriteFailed, nullptr, 0, 0, 0},
        {[](F&, S&) { seam.failingFlush = 1, seam.flushError = ERROR_IO_DEVICE; }, false, true, nullptr,
         K::WriteFailed, "Cannot flush completed output", 1117, 0, 1},
        {[](F& f, S&) { seam.cancelOnFlush = &f; }, false, true, nullptr, K::WriteFailed, nullptr, 0, 0, 1},
        {[](F&, S&) { seam.failingFlush = 2, seam.flushError = ERROR_IO_DEVICE; }, false, true, L"Game.nsp",
         K::WriteFailed, nullptr, 0, 0, 2, 1117},
        {[](F&, S&) { seam.failingFlush = 2, seam.flushError = 0; }, false, true, L"Game.nsp", K::WriteFailed,
         nullptr, 0, 0, 2, 29},
        {[](F&, S& s) { seam.finalPath = ToLongPath(s.destination()), CharUpperW(seam.finalPath->data()); },
         false, true, L"Game.nsp", K::WriteFailed, nullptr, 0, 0, 2},
        {[](F&, S& s) { seam.finalPath = ToLongPath(s.destination()) + L"-elsewhere"; }, false, true, nullptr,
         K::WriteFailed,
         "Output directory changed during conversion", 17, 0, 1}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases));
        Sandbox sandbox;
        const std::wstring output = sandbox.destinationFile(L"Game.nsp");
        if (c.nameTaken)
            test::WriteWholeFile(output, {'o', 'l', 'd'});
        std::unique_ptr<PendingOutput> pending = test::ReserveAndWrite(output, kContent);
        renameCalls = seam.flushCalls = 0, renameScript = {};
        sandbox.calls.setFileInformationByHandle = &ScriptedRename;
        sandbox.apply();
        CancelFlag flag{0};
        c.arrange(flag, sandbox);
        const auto publish = [&] { return PublishOutput(pending, output, c.pick, &flag); };
        if (c.published != nullptr)
            EXPECT_EQ(publish(), sandbox.destinationFile(c.published));
        else if (c.message == nullptr)
            EXPECT_THROW(publish(), Cancelled);
        else
            ExpectConversionError(
                publish,
                {c.kind, std::string(c.message) + " (Windows " + std::to_string(c.code) + ")", c.code});
        renameScript = {};
        EXPECT_EQ(renameCalls, c.renames);
        EXPECT_EQ(seam.flushCalls, c.flushes);
        seam = test::SeamScript{};
        EXPECT_TRUE(c.renames != 10000 || lastRenameTarget == sandbox.recordedFile(L"Game (9999).nsp"));
        EXPECT_EQ(pending->publishFlushError(), c.flushError);
        pending.reset();
        EXPECT_TRUE(sandbox.temporaryFiles().empty());
        EXPECT_EQ(sandbox.journals().size(), c.flushError != 0 ? 1u : 0u);
        RecoverInterruptedOutputs();
        EXPECT_TRUE(sandbox.journals().empty());
        EXPECT_EQ(test::ListNames(sandbox.destination()).size(),
                  (c.nameTaken ? 1u : 0u) + (c.published ? 1u : 0u));
        EXPECT_TRUE(!c.nameTaken || test::ReadWholeFile(output) == (Bytes{'o', 'l', 'd'}));
        EXPECT_TRUE(c.published == nullptr ||
                    test::ReadWholeFile(sandbox.destinationFile(c.published)) == kContent);
    }
}

} // namespace
} // namespace vesko
