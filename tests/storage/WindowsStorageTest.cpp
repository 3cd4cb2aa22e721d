// What only the Windows storage code meets, single calls' failures provoked through the seam.
#include "engine/Paths.h"
#include "storage/PublishOutput.h"
#include "storage/Recovery.h"
#include "tests/storage/StorageTestSupport.h"

namespace vesko {
namespace {

using K = ConversionError::Kind;
using namespace test;
using Sandbox = StorageSandbox;

const Bytes kContent = {'N', 'S', 'P', '!', 0, 1, 2, 3};

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

// Wine has no share modes on directories nor reparse points: the request is checked, the attribute scripted.
TEST(StoragePaths, OpenStorageDirectory) {
    Sandbox sandbox;
    const std::wstring dir = sandbox.destination(), file = sandbox.file(L"plain.bin");
    for (const bool refuse : {false, true}) {
        seam.creates.clear();
        EXPECT_TRUE(OpenStorageDirectory(dir, refuse, K::WriteFailed, nullptr).valid());
        const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (refuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
        EXPECT_EQ(seam.creates,
                  (decltype(seam.creates){{ToLongPath(dir), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, flags}}));
    }
    WriteWholeFile(file, {1, 2, 3});
    const ExpectedError unsafe{K::WriteFailed, "Unsafe storage directory (Windows 1920)", 1920};
    ExpectConversionError([&] { OpenStorageDirectory(file, false, K::WriteFailed, nullptr); }, unsafe);
    seam.infoSuffix = ToLongPath(dir);
    seam.extraAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
    ExpectConversionError([&] { OpenStorageDirectory(dir, true, K::WriteFailed, nullptr); }, unsafe);
    EXPECT_TRUE(OpenStorageDirectory(dir, false, K::WriteFailed, nullptr).valid()); // not refused: opens
    seam.infoError = 1117;
    ExpectConversionError([&] { OpenStorageDirectory(dir, false, K::WriteFailed, nullptr); },
                          {K::WriteFailed, "Cannot inspect storage directory (Windows 1117)", 1117});
    seam.createError = 995;
    CancelFlag flag{1};
    EXPECT_THROW(OpenStorageDirectory(dir, false, K::WriteFailed, &flag), Cancelled);
}

// Trailing backslashes go except at the root; the recovery levels below the known folder are held open.
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
    TempDir destination;
    wchar_t* raw = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw)));
    const std::wstring recovery = std::wstring(raw) + L"\\VESKO\\ZARUvivuriza\\Recovery";
    CoTaskMemFree(raw);
    auto pending = ReserveAndWrite(destination.file(L"Game.nsp"), Bytes(70000, 1));
    const std::vector<std::wstring> temporary = ListNames(destination.path(), L".vesko-");
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
    EXPECT_FALSE(Exists(journal));
    EXPECT_TRUE(ListNames(destination.path()).empty());
}

// A failed reservation stays in its owner, whose discarding removes whatever it made.
TEST(CreatePendingOutput, AbandonedAtAnyStepLeavesNeitherFile) {
    CancelFlag flag{0};
    const K records = K::RecoveryRecords, none = K::WriteFailed;
    const DWORD reparse = FILE_ATTRIBUTE_REPARSE_POINT;
    const char *identity = "Output identity is unavailable", *cannotCreate = "Cannot create temporary output";
    // clang-format off
    const struct { test::SeamScript seam; K kind; const char* message; std::uint32_t code; } cases[] = {
        {{}, none, nullptr, 0}, // no message: cancelled; in the first row before the call
        {{.knownFolderError = E_FAIL}, records, "Cannot locate recovery directory", 0x80004005u},
        {{.infoSuffix = L"\\ZARUvivuriza", .extraAttributes = reparse}, records, "Unsafe storage directory",
         1920},
        {{.createSuffix = L"\\Recovery", .createError = 5}, records, "Cannot open storage directory", 5},
        {{.createSuffix = L".journal", .createError = 5}, records, "Cannot create recovery journal", 5},
        {{.createSuffix = L".tmp", .createError = 5}, K::AccessDenied, cannotCreate, 5},
        {{.createSuffix = L".tmp", .createError = 112}, K::WriteFailed, cannotCreate, 112},
        {{.infoSuffix = L".tmp", .infoError = 1}, records, "Cannot record output identity", 1},
        {{.infoSuffix = L".tmp", .zeroFileIndex = true}, records, identity, 50},
        {{.infoSuffix = L".tmp", .extraLinks = 1}, records, identity, 50},
        {{.infoSuffix = L".tmp", .extraAttributes = reparse}, records, identity, 50},
        {{.writeError = 112}, records, "Cannot write recovery journal", 112},
        {{.shortWrite = true}, records, "Incomplete recovery journal", 29},
        {{.failingFlush = 1, .flushError = 1117}, records, "Cannot flush recovery journal", 1117},
        {{.cancelOnWrite = &flag}, none, nullptr, 0},
        {{.cancelOnWrite = &flag, .writeError = 995}, none, nullptr, 0}}; // aborted while cancelling
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message != nullptr ? c.message : "cancelled");
        Sandbox sandbox;
        seam = c.seam;
        flag.store(&c == cases ? 1 : 0);
        std::unique_ptr<PendingOutput> pending;
        const auto create = [&] { CreatePendingOutput(pending, sandbox.file(L"x"), &flag); };
        if (c.message == nullptr)
            EXPECT_THROW(create(), Cancelled);
        else
            ExpectConversionError(
                create,
                {c.kind, std::string(c.message) + " (Windows " + std::to_string(c.code) + ")", c.code});
        EXPECT_TRUE(pending);
        pending.reset();
        EXPECT_TRUE(sandbox.temporaryFiles().empty());
        EXPECT_TRUE(sandbox.journals().empty());
    }
}

// What the space check asks the volume, and when a cancellation stops it (the answers: StorageContractTest).
TEST(CheckOutputSpace, AsksAboutTheLongDirectoryOfTheResolvedPath) {
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
    EXPECT_NO_THROW(CheckOutputSpace(sandbox.file(L"Game.nsp"), 4294967296ull, nullptr));
    volume.freeBytes = 10; // the space is still checked
    ExpectSpaceError(sandbox.file(L"Game.nsp"), 11, 112, 10);
    CancelFlag duringLimit{0}, duringSpace{0};
    volume = {L"NTFS", 100};
    volume.cancelOnInformation = &duringLimit;
    EXPECT_THROW(CheckOutputSpace(sandbox.file(L"Game.nsp"), 1, &duringLimit), Cancelled);
    EXPECT_TRUE(volume.freeSpaceAskedFor.empty());
    volume = {L"NTFS", 100};
    volume.cancelOnFreeSpace = &duringSpace;
    EXPECT_THROW(CheckOutputSpace(sandbox.file(L"Game.nsp"), 1, &duringSpace), Cancelled);
    volume = {};
}

// `error` for the first `failures` renames (with `onlyTaken`, only onto a visible name), maybe cancelling.
struct RenameScript {
    DWORD error;
    int failures;
    bool onlyTaken, cancels;
} renameScript;
int renameCalls = 0;
CancelFlag* renameFlag = nullptr;
std::wstring lastRenameTarget;

BOOL WINAPI ScriptedRename(HANDLE file, FILE_INFO_BY_HANDLE_CLASS type, LPVOID data, DWORD size) {
    if (type != FileRenameInfo || renameScript.error == 0)
        return SetFileInformationByHandle(file, type, data, size);
    const auto* info = static_cast<const FILE_RENAME_INFO*>(data);
    lastRenameTarget.assign(info->FileName, info->FileNameLength / sizeof(wchar_t));
    if (++renameCalls > renameScript.failures ||
        (renameScript.onlyTaken && GetFileAttributesW(lastRenameTarget.c_str()) == INVALID_FILE_ATTRIBUTES))
        return SetFileInformationByHandle(file, type, data, size);
    if (renameScript.cancels)
        renameFlag->store(1);
    return SetLastError(renameScript.error), FALSE;
}

// Access denied on a visible name is taken; a lock gone by the fifth try is no failure; a failed late
// flush leaves the journal for the next start.
TEST(PublishOutput, RenameAndFlushAnswers) {
    using F = CancelFlag;
    using S = const Sandbox;
    constexpr int all = 1 << 30;
    const K W = K::WriteFailed, D = K::AccessDenied;
    const char *inUse = "Output name is already in use", *cannot = "Cannot publish completed output";
    // clang-format off
    // message none: cancelled, unless `published`
    const struct { RenameScript rename; void (*arrange)(F&, S&); bool nameTaken, pick;
                   const wchar_t* published; K kind; const char* message; std::uint32_t code;
                   int renames, flushes; std::uint32_t flushError = 0; } cases[] = {
        {{5, all, true, false}, nullptr, 1, 1, L"Game (1).nsp", W, nullptr, 0, 2, 2},
        {{32, 4, false, false}, nullptr, 0, 0, L"Game.nsp", W, nullptr, 0, 5, 2},
        {{5, all, true, false}, nullptr, 1, 0, nullptr, D, inUse, 5, 1, 1},
        {{5, all, false, false}, nullptr, 0, 1, nullptr, D, cannot, 5, 5, 1},
        {{87, all, false, false}, nullptr, 0, 1, nullptr, W, cannot, 87, 1, 1},
        {{32, all, false, false}, nullptr, 0, 1, nullptr, W, cannot, 32, 5, 1},
        {{183, all, false, false}, nullptr, 0, 1, nullptr, K::NameConflict, "No unused output name was found",
         80, 10000, 1},
        {{32, all, false, true}, nullptr, 0, 1, nullptr, W, nullptr, 0, 1, 1},
        {{183, all, false, true}, nullptr, 1, 1, nullptr, W, nullptr, 0, 1, 1},
        {{}, [](F& f, S&) { f.store(1); }, 0, 1, nullptr, W, nullptr, 0, 0, 0},
        {{}, [](F&, S&) { seam.failingFlush = 1, seam.flushError = ERROR_IO_DEVICE; }, 0, 1, nullptr, W,
         "Cannot flush completed output", 1117, 0, 1},
        {{}, [](F& f, S&) { seam.cancelOnFlush = &f; }, 0, 1, nullptr, W, nullptr, 0, 0, 1},
        {{}, [](F&, S&) { seam.failingFlush = 2, seam.flushError = ERROR_IO_DEVICE; }, 0, 1, L"Game.nsp", W,
         nullptr, 0, 0, 2, 1117},
        {{}, [](F&, S&) { seam.failingFlush = 2, seam.flushError = 0; }, 0, 1, L"Game.nsp", W, nullptr, 0, 0,
         2, 29},
        {{}, [](F&, S& s) {
             seam.finalPath = ToLongPath(s.destination()), CharUpperW(seam.finalPath->data()); },
         0, 1, L"Game.nsp", W, nullptr, 0, 0, 2},
        {{}, [](F&, S& s) { seam.finalPath = ToLongPath(s.destination()) + L"-elsewhere"; }, 0, 1, nullptr, W,
         "Output directory changed during conversion", 17, 0, 1}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases));
        Sandbox sandbox;
        const std::wstring output = sandbox.file(L"Game.nsp");
        if (c.nameTaken)
            WriteWholeFile(output, {'o', 'l', 'd'});
        std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output, kContent);
        renameCalls = seam.flushCalls = 0, renameScript = c.rename;
        sandbox.calls.setFileInformationByHandle = &ScriptedRename;
        sandbox.apply();
        CancelFlag flag{0};
        renameFlag = &flag;
        if (c.arrange != nullptr)
            c.arrange(flag, sandbox);
        const auto publish = [&] { return PublishOutput(pending, output, c.pick, &flag); };
        if (c.published != nullptr)
            EXPECT_EQ(publish(), sandbox.file(c.published));
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
        EXPECT_EQ(ListNames(sandbox.destination()).size(), (c.nameTaken ? 1u : 0u) + (c.published ? 1u : 0u));
        EXPECT_TRUE(!c.nameTaken || ReadWholeFile(output) == (Bytes{'o', 'l', 'd'}));
        EXPECT_TRUE(c.published == nullptr || ReadWholeFile(sandbox.file(c.published)) == kContent);
    }
}

} // namespace
} // namespace vesko
