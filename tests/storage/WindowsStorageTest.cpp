// What only the Windows storage code meets: path forms, directory handles and their final paths, the
// known folder, share modes, and the failures of single calls, provoked through the seam.
#include "engine/Paths.h"
#include "storage/OutputSpace.h"
#include "storage/PublishOutput.h"
#include "storage/Recovery.h"
#include "tests/storage/StorageTestSupport.h"

#include <algorithm>
#include <cwctype>

namespace vesko {
namespace {

using K = ConversionError::Kind;
using test::Bytes;
using test::Exists;
using test::ExpectConversionError;
using test::seam;
using Sandbox = test::StorageSandbox;

const Bytes kContent = {'N', 'S', 'P', '!', 0, 1, 2, 3};

TEST(StoragePaths, ResolvePrefixAndJoin) {
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    const std::wstring here = std::wstring(current) + (std::wstring(current).ends_with(L'\\') ? L"" : L"\\");
    // clang-format off
    const std::pair<std::wstring, std::wstring> resolved[] = {
        {L"D:/games/x.nsp", L"D:\\games\\x.nsp"}, {L"D:\\games\\..\\x.nsp", L"D:\\x.nsp"},
        {L"\\\\server\\share/dir/x.nsp", L"\\\\server\\share\\dir\\x.nsp"}, {L"game.nsp", here + L"game.nsp"},
        {L"sub/game.nsp", here + L"sub\\game.nsp"}};
    const std::pair<std::wstring, std::wstring> prefixes[] = {
        {L"D:\\x.nsp", L"D:\\"}, {L"D:\\games\\x.nsp", L"D:\\games\\"},
        {L"\\\\?\\D:\\a\\.vesko-1.tmp", L"\\\\?\\D:\\a\\"}, {L"D:\\games\\", L"D:\\games\\"}};
    const struct { std::wstring directory, name, joined; } joins[] = {
        {L"D:\\games", L"x.nsp", L"D:\\games\\x.nsp"}, {L"\\\\?\\D:\\", L"x.nsp", L"\\\\?\\D:\\x.nsp"},
        {L"", L"x.nsp", L"\\x.nsp"}, {L"\\\\?\\UNC\\s\\share", L"Recovery", L"\\\\?\\UNC\\s\\share\\Recovery"}};
    // clang-format on
    for (const auto& [in, out] : resolved)
        EXPECT_EQ(ResolveStoragePath(in), out) << ToUtf8(in);
    for (const auto& [in, out] : prefixes)
        EXPECT_EQ(DirectoryPrefix(in), out) << ToUtf8(in);
    for (const auto& c : joins)
        EXPECT_EQ(JoinStoragePath(c.directory, c.name), c.joined) << ToUtf8(c.directory);
    const test::ExpectedError invalid{K::PathProblem, "Invalid storage path (Windows 123)", 123};
    ExpectConversionError([] { ResolveStoragePath(std::wstring(L"C:\\games\0x.nsp", 15)); }, invalid);
    ExpectConversionError([] { ResolveStoragePath(L"C:\\" + std::wstring(32770, L'a')); },
                          {K::PathProblem, "Cannot resolve storage path (Windows 206)", 206});
    for (const wchar_t* path : {L"x.nsp", L"D:/games/x.nsp"})
        ExpectConversionError([&] { DirectoryPrefix(path); },
                              {K::PathProblem, "Missing output directory (Windows 123)", 123});
}

struct CreateFileCall {
    std::wstring path;
    DWORD access, share, disposition, flags;
};
std::vector<CreateFileCall> createFileCalls;
HANDLE WINAPI RecordingCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE templateFile) {
    createFileCalls.push_back({path, access, share, disposition, flags});
    return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

// Wine does not enforce share modes on directories, so the request itself is checked: no delete sharing,
// attribute access only, the long form of the path. Access denied follows the caller's kind, except that
// recovery records stay recovery records; wine keeps no reparse points, so their attribute comes from the
// seam.
TEST(StoragePaths, OpenStorageDirectory) {
    Sandbox sandbox;
    const std::wstring dir = sandbox.destination(), file = sandbox.destinationFile(L"plain.bin");
    sandbox.calls.createFile = &RecordingCreateFile;
    sandbox.apply();
    for (const bool refuse : {false, true}) {
        createFileCalls.clear();
        EXPECT_TRUE(OpenStorageDirectory(dir, refuse, K::WriteFailed, nullptr).valid());
        ASSERT_EQ(createFileCalls.size(), 1u);
        const CreateFileCall& call = createFileCalls[0];
        EXPECT_EQ(call.path, ToLongPath(dir));
        EXPECT_EQ(call.access, static_cast<DWORD>(FILE_READ_ATTRIBUTES));
        EXPECT_EQ(call.share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
        EXPECT_EQ(call.disposition, static_cast<DWORD>(OPEN_EXISTING));
        EXPECT_EQ(call.flags, static_cast<DWORD>(FILE_FLAG_BACKUP_SEMANTICS |
                                                 (refuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0)));
    }
    const Sandbox scripted; // the seam's calls again, over the recording one
    test::WriteWholeFile(file, {1, 2, 3});
    enum Seam { Real, Reparse, CreateFails, InspectFails };
    const char *unsafe = "Unsafe storage directory", *cannotOpen = "Cannot open storage directory";
    // clang-format off
    const struct { Seam seam; std::wstring path; bool refuseReparse; K callerKind, kind; const char* message;
                   std::uint32_t code; } cases[] = {
        {Real, file, false, K::WriteFailed, K::WriteFailed, unsafe, 1920},
        {Real, file, false, K::RecoveryRecords, K::RecoveryRecords, unsafe, 1920},
        {Real, dir + L"\\missing", false, K::WriteFailed, K::WriteFailed, cannotOpen, 2},
        {Real, dir + L"\\missing\\deeper", false, K::RecoveryRecords, K::RecoveryRecords, cannotOpen, 3},
        {Reparse, dir, true, K::WriteFailed, K::WriteFailed, unsafe, 1920},
        {CreateFails, dir, false, K::WriteFailed, K::AccessDenied, cannotOpen, 5},
        {CreateFails, dir, true, K::RecoveryRecords, K::RecoveryRecords, cannotOpen, 5},
        {InspectFails, dir, false, K::WriteFailed, K::WriteFailed, "Cannot inspect storage directory", 1117}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        seam = test::SeamScript{};
        seam.createError = c.seam == CreateFails ? c.code : 0;
        seam.infoError = c.seam == InspectFails ? c.code : 0;
        seam.infoSuffix = ToLongPath(dir);
        seam.extraAttributes = c.seam == Reparse ? FILE_ATTRIBUTE_REPARSE_POINT : 0;
        ExpectConversionError(
            [&] { OpenStorageDirectory(c.path, c.refuseReparse, c.callerKind, nullptr); },
            {c.kind, std::string(c.message) + " (Windows " + std::to_string(c.code) + ")", c.code});
    }
    // A reparse point not refused opens; an aborted open while cancelling is cancellation.
    seam.createError = seam.infoError = 0;
    seam.extraAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_TRUE(OpenStorageDirectory(dir, false, K::WriteFailed, nullptr).valid());
    seam.createError = 995;
    CancelFlag flag{1};
    EXPECT_THROW(OpenStorageDirectory(dir, false, K::WriteFailed, &flag), Cancelled);
}

TEST(StoragePaths, FinalDirectoryPathIsLongWithoutTrailingBackslashesExceptAtTheRoot) {
    Sandbox sandbox;
    const std::wstring dir = sandbox.destination();
    const std::pair<std::wstring, std::wstring> opened[] = {
        {dir, ToLongPath(dir)}, {dir + L"\\", ToLongPath(dir)}, {L"C:\\", L"\\\\?\\C:\\"}};
    for (const auto& [open, final] : opened) {
        const UniqueHandle handle = OpenStorageDirectory(open, false, K::WriteFailed, nullptr);
        EXPECT_EQ(FinalDirectoryPath(handle.get(), K::WriteFailed, nullptr), final) << ToUtf8(open);
    }
    const UniqueHandle handle = OpenStorageDirectory(dir, false, K::WriteFailed, nullptr);
    const std::pair<std::wstring, std::wstring> reported[] = {
        {L"\\\\?\\D:\\games\\\\\\", L"\\\\?\\D:\\games"},
        {L"\\\\?\\D:\\\\", L"\\\\?\\D:\\"},
        {L"\\\\?\\UNC\\s\\share\\", L"\\\\?\\UNC\\s\\share"}};
    for (const auto& [path, final] : reported) {
        seam.finalPath = path;
        EXPECT_EQ(FinalDirectoryPath(handle.get(), K::WriteFailed, nullptr), final) << ToUtf8(path);
    }
    // clang-format off
    const struct { std::wstring path; DWORD error; K kind; test::ExpectedError expected; } failures[] = {
        {L"\\\\?\\D:\\" + std::wstring(32767, L'a'), 0, K::RecoveryRecords, {K::RecoveryRecords, "Cannot resolve storage directory (Windows 206)", 206}},
        {L"", 5, K::WriteFailed, {K::AccessDenied, "Cannot resolve storage directory (Windows 5)", 5}},
        {L"", 1, K::RecoveryRecords, {K::RecoveryRecords, "Cannot resolve storage directory (Windows 1)", 1}}};
    // clang-format on
    for (const auto& c : failures) {
        seam.finalPath = c.path;
        seam.finalPathError = c.error;
        ExpectConversionError([&] { FinalDirectoryPath(handle.get(), c.kind, nullptr); }, c.expected);
    }
}

TEST(OpenRecoveryDirectory, CreatesAndPinsTheThreeLevels) {
    Sandbox sandbox;
    ExpectConversionError([] { OpenRecoveryDirectory(false, nullptr); },
                          {K::RecoveryRecords, "Cannot open storage directory (Windows 2)", 2});
    EXPECT_FALSE(Exists(sandbox.recoveryHome() + L"\\VESKO"));
    {
        const RecoveryDirectory recovery = OpenRecoveryDirectory(true, nullptr);
        const UniqueHandle root =
            OpenStorageDirectory(sandbox.recoveryHome(), false, K::WriteFailed, nullptr);
        EXPECT_EQ(recovery.path, FinalDirectoryPath(root.get(), K::WriteFailed, nullptr) +
                                     L"\\VESKO\\ZARUvivuriza\\Recovery");
        EXPECT_EQ(recovery.handles.size(), 4u);
        EXPECT_TRUE(Exists(sandbox.recoveryPath()));
    }
    // Opening again, with or without create, finds the same directory.
    EXPECT_EQ(OpenRecoveryDirectory(false, nullptr).path, OpenRecoveryDirectory(true, nullptr).path);
    // Below a file no level can be made; Windows and wine tell it with different codes.
    Sandbox blocked;
    test::WriteWholeFile(blocked.recoveryHome() + L"\\VESKO", {1});
    try {
        OpenRecoveryDirectory(true, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::RecoveryRecords);
    }
}

// Journals go to the user's local application data. The journal and the output are held exclusively; the
// output handle writes but does not read.
TEST(CreatePendingOutput, UsesTheUsersLocalApplicationDataAndHoldsBothFiles) {
    test::TempDir destination;
    wchar_t* raw = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw)));
    const std::wstring recovery = std::wstring(raw) + L"\\VESKO\\ZARUvivuriza\\Recovery";
    CoTaskMemFree(raw);
    std::unique_ptr<PendingOutput> pending =
        test::ReserveAndWrite(destination.file(L"Game.nsp"), Bytes(70000, 1));
    const std::vector<std::wstring> temporary = test::ListNames(destination.path(), L".vesko-");
    ASSERT_EQ(temporary.size(), 1u);
    const std::wstring journal = recovery + L"\\" + temporary[0].substr(7, 32) + L".journal";
    EXPECT_TRUE(Exists(journal));
    for (const std::wstring& path : {destination.file(temporary[0]), journal}) {
        const UniqueHandle other(CreateFileW(path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(other.valid()) << ToUtf8(path);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    SetFilePointerEx(pending->outputHandle(), LARGE_INTEGER{}, nullptr, FILE_BEGIN);
    char back[3] = {};
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(pending->outputHandle(), back, 3, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    pending.reset();
    EXPECT_FALSE(Exists(journal));
    EXPECT_TRUE(test::ListNames(destination.path()).empty());
}

// The journal write as the seam sees it (failing, short or cancelling), and the known folder.
struct Script {
    DWORD writeError = 0;
    bool shortWrite = false;
    CancelFlag* cancelOnWrite = nullptr;
    HRESULT knownFolderError = S_OK;
};
Script script;

BOOL WINAPI ScriptedWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                              LPOVERLAPPED overlapped) {
    if (script.cancelOnWrite != nullptr)
        script.cancelOnWrite->store(1);
    if (script.writeError != 0)
        return SetLastError(script.writeError), FALSE;
    return WriteFile(file, data, script.shortWrite ? size - 1 : size, written, overlapped);
}

HRESULT WINAPI ScriptedKnownFolder(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path) {
    *path = nullptr;
    return FAILED(script.knownFolderError) ? script.knownFolderError
                                           : test::FakeKnownFolderPath(id, flags, token, path);
}

// Every failure of a reservation leaves the partly built one in its owner, whose discarding removes whatever
// it made; a failure of the recovery directory is a recovery-records failure.
TEST(CreatePendingOutput, AbandonedAtAnyStepLeavesNeitherFile) {
    const char* identity = "Output identity is unavailable (Windows 50)";
    const char* unsafe = "Unsafe storage directory (Windows 1920)";
    const K records = K::RecoveryRecords, none = K::WriteFailed;
    using F = CancelFlag;
    using S = const Sandbox;
    // clang-format off
    const struct { void (*arrange)(CancelFlag&, S&); K kind; const char* message; std::uint32_t code; } cases[] = {
        {[](F& f, S&) { f.store(1); }, none, nullptr, 0}, // no message: cancelled
        {[](F&, S&) { script.knownFolderError = E_FAIL; }, records, "Cannot locate recovery directory (Windows 2147500037)", 0x80004005u},
        {[](F&, S&) { test::randomScript.fail = true; }, K::SystemCrypto, "Windows random generator failed", 0},
        {[](F&, S& s) { test::MakeDirectory(s.recoveryHome() + L"\\VESKO"), test::WriteWholeFile(s.recoveryHome() + L"\\VESKO\\ZARUvivuriza", {1}); },
         records, unsafe, 1920},
        // Wine keeps no junctions: the level reports the attribute through the seam.
        {[](F&, S&) { seam.infoSuffix = L"\\ZARUvivuriza", seam.extraAttributes = FILE_ATTRIBUTE_REPARSE_POINT; }, records, unsafe, 1920},
        {[](F&, S&) { seam.createSuffix = L"\\Recovery", seam.createError = 5; }, records, "Cannot open storage directory (Windows 5)", 5},
        {[](F&, S&) { seam.createSuffix = L".journal", seam.createError = 5; }, records, "Cannot create recovery journal (Windows 5)", 5},
        {[](F&, S&) { seam.createSuffix = L".tmp", seam.createError = 5; }, K::AccessDenied, "Cannot create temporary output (Windows 5)", 5},
        {[](F&, S&) { seam.createSuffix = L".tmp", seam.createError = 112; }, K::WriteFailed, "Cannot create temporary output (Windows 112)", 112},
        {[](F&, S&) { seam.infoSuffix = L".tmp", seam.infoError = 1; }, records, "Cannot record output identity (Windows 1)", 1},
        {[](F&, S&) { seam.infoSuffix = L".tmp", seam.zeroFileIndex = true; }, records, identity, 50},
        {[](F&, S&) { seam.infoSuffix = L".tmp", seam.extraLinks = 1; }, records, identity, 50},
        {[](F&, S&) { seam.infoSuffix = L".tmp", seam.extraAttributes = FILE_ATTRIBUTE_REPARSE_POINT; }, records, identity, 50},
        {[](F&, S&) { script.writeError = 112; }, records, "Cannot write recovery journal (Windows 112)", 112},
        {[](F&, S&) { script.shortWrite = true; }, records, "Incomplete recovery journal (Windows 29)", 29},
        {[](F&, S&) { seam.failingFlush = 1, seam.flushError = 1117; }, records, "Cannot flush recovery journal (Windows 1117)", 1117},
        {[](F& f, S&) { script.cancelOnWrite = &f; }, none, nullptr, 0},
        {[](F& f, S&) { seam.cancelOnFlush = &f; }, none, nullptr, 0},
        {[](F& f, S&) { script.cancelOnWrite = &f, script.writeError = 995; }, none, nullptr, 0}}; // aborted while cancelling
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message != nullptr ? c.message : "cancelled");
        Sandbox sandbox;
        script = Script{};
        sandbox.calls.writeFile = &ScriptedWriteFile;
        sandbox.calls.getKnownFolderPath = &ScriptedKnownFolder;
        sandbox.apply();
        CancelFlag flag{0};
        c.arrange(flag, sandbox);
        std::unique_ptr<PendingOutput> pending;
        const auto create = [&] {
            CreatePendingOutput(pending, sandbox.destinationFile(L"Game.nsp"), &flag);
        };
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
    CancelFlag set{1}, duringLimit{0}, duringSpace{0};
    volume = {L"NTFS", 100};
    // Set before the call: not even the path is looked at.
    EXPECT_THROW(CheckOutputSpace(L"", 1, &set), Cancelled);
    EXPECT_TRUE(volume.volumePathAskedFor.empty());
    volume.cancelOnInformation = &duringLimit;
    EXPECT_THROW(CheckOutputSpace(sandbox.destinationFile(L"Game.nsp"), 1, &duringLimit), Cancelled);
    EXPECT_TRUE(volume.freeSpaceAskedFor.empty());
    volume = {L"NTFS", 100};
    volume.cancelOnFreeSpace = &duringSpace;
    EXPECT_THROW(CheckOutputSpace(sandbox.destinationFile(L"Game.nsp"), 1, &duringSpace), Cancelled);
    volume = {};
}

// Rename answers for the seam: every rename refused as "exists", access denied where a name is taken or
// always, another error, or a sharing violation for the first `lockedRenames` calls; each failure may cancel.
enum class RenameMode { Real, AlwaysExists, DeniedWhenTaken, DeniedAlways, OtherError, Locked };
RenameMode renameMode = RenameMode::Real;
int renameCalls = 0, lockedRenames = 0;
std::vector<std::wstring> renameTargets;
CancelFlag* cancelOnRenameFailure = nullptr;

BOOL WINAPI ScriptedRename(HANDLE file, FILE_INFO_BY_HANDLE_CLASS type, LPVOID data, DWORD size) {
    if (type != FileRenameInfo || renameMode == RenameMode::Real)
        return SetFileInformationByHandle(file, type, data, size);
    ++renameCalls;
    const auto* rename = static_cast<const FILE_RENAME_INFO*>(data);
    const std::wstring target(rename->FileName, rename->FileNameLength / sizeof(wchar_t));
    if (renameTargets.size() < 3 || renameCalls == 10000)
        renameTargets.push_back(target);
    const bool taken = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
    const DWORD errors[] = {0,
                            ERROR_ALREADY_EXISTS,
                            taken ? DWORD{ERROR_ACCESS_DENIED} : 0,
                            ERROR_ACCESS_DENIED,
                            ERROR_INVALID_PARAMETER,
                            renameCalls <= lockedRenames ? DWORD{ERROR_SHARING_VIOLATION} : 0};
    const DWORD error = errors[static_cast<int>(renameMode)];
    if (error == 0)
        return SetFileInformationByHandle(file, type, data, size);
    if (cancelOnRenameFailure != nullptr)
        cancelOnRenameFailure->store(1);
    return SetLastError(error), FALSE;
}

// Renames: access denied on a visible name counts as taken; a lock gone before the fifth try is no failure;
// a cancellation while waiting for a lock to go, or before the next candidate. Flushes: before the rename,
// a failure or cancellation publishes nothing; after it, the output is published, the failure reported, and
// the journal stays as a trace for the next start, which clears it. The destination's final path as the
// seam reports it: in other letter case, or elsewhere.
TEST(PublishOutput, RenameAndFlushAnswers) {
    using M = RenameMode;
    using F = CancelFlag;
    using S = const Sandbox;
    const char *inUse = "Output name is already in use", *cannot = "Cannot publish completed output";
    // clang-format off
    const struct { void (*arrange)(F&, S&); bool nameTaken, pick; const wchar_t* published; K kind; const char* message; // none: cancelled
                   std::uint32_t code; int renames, flushes; std::uint32_t flushError = 0; } cases[] = {
        {[](F&, S&) { renameMode = M::DeniedWhenTaken; }, true, true, L"Game (1).nsp", K::WriteFailed, nullptr, 0, 2, 2},
        {[](F&, S&) { renameMode = M::Locked, lockedRenames = 4; }, false, false, L"Game.nsp", K::WriteFailed, nullptr, 0, 5, 2},
        {[](F&, S&) { renameMode = M::DeniedWhenTaken; }, true, false, nullptr, K::AccessDenied, inUse, 5, 1, 1},
        {[](F&, S&) { renameMode = M::DeniedAlways; }, false, true, nullptr, K::AccessDenied, cannot, 5, 5, 1},
        {[](F&, S&) { renameMode = M::OtherError; }, false, true, nullptr, K::WriteFailed, cannot, 87, 1, 1},
        {[](F&, S&) { renameMode = M::Locked; }, false, true, nullptr, K::WriteFailed, cannot, 32, 5, 1},
        {[](F&, S&) { renameMode = M::AlwaysExists; }, false, false, nullptr, K::NameConflict, inUse, 183, 1, 1},
        {[](F&, S&) { renameMode = M::AlwaysExists; }, false, true, nullptr, K::NameConflict, "No unused output name was found", 80, 10000, 1},
        {[](F& f, S&) { renameMode = M::Locked, cancelOnRenameFailure = &f; }, false, true, nullptr, K::WriteFailed, nullptr, 0, 1, 1},
        {[](F& f, S&) { renameMode = M::AlwaysExists, cancelOnRenameFailure = &f; }, true, true, nullptr, K::WriteFailed, nullptr, 0, 1, 1},
        {[](F& f, S&) { f.store(1); }, false, true, nullptr, K::WriteFailed, nullptr, 0, 0, 0},
        {[](F&, S&) { seam.failingFlush = 1, seam.flushError = ERROR_IO_DEVICE; }, false, true, nullptr, K::WriteFailed, "Cannot flush completed output", 1117, 0, 1},
        {[](F& f, S&) { seam.cancelOnFlush = &f; }, false, true, nullptr, K::WriteFailed, nullptr, 0, 0, 1},
        {[](F&, S&) { seam.failingFlush = 2, seam.flushError = ERROR_IO_DEVICE; }, false, true, L"Game.nsp", K::WriteFailed, nullptr, 0, 0, 2, 1117},
        {[](F&, S&) { seam.failingFlush = 2, seam.flushError = 0; }, false, true, L"Game.nsp", K::WriteFailed, nullptr, 0, 0, 2, 29},
        {[](F&, S& s) { std::wstring final = ToLongPath(s.destination());
             std::transform(final.begin(), final.end(), final.begin(), [](wchar_t c) { return std::towupper(c); });
             seam.finalPath = final; }, false, true, L"Game.nsp", K::WriteFailed, nullptr, 0, 0, 2},
        {[](F&, S& s) { seam.finalPath = ToLongPath(s.destination()) + L"-elsewhere"; }, false, true, nullptr, K::WriteFailed,
         "Output directory changed during conversion", 17, 0, 1}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases));
        Sandbox sandbox;
        const std::wstring output = sandbox.destinationFile(L"Game.nsp");
        if (c.nameTaken)
            test::WriteWholeFile(output, {'o', 'l', 'd'});
        std::unique_ptr<PendingOutput> pending = test::ReserveAndWrite(output, kContent);
        renameCalls = seam.flushCalls = 0, lockedRenames = 1000;
        renameTargets.clear();
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
        renameMode = RenameMode::Real;
        cancelOnRenameFailure = nullptr;
        EXPECT_EQ(renameCalls, c.renames);
        EXPECT_EQ(seam.flushCalls, c.flushes);
        seam = test::SeamScript{};
        if (c.renames == 10000) {
            const std::wstring d = sandbox.recordedFile(L"Game");
            EXPECT_EQ(renameTargets, (std::vector<std::wstring>{d + L".nsp", d + L" (1).nsp", d + L" (2).nsp",
                                                                d + L" (9999).nsp"}));
        }
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
