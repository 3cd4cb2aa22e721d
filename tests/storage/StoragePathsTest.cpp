#include "storage/StoragePaths.h"

#include "engine/Paths.h"
#include "tests/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace vesko {
namespace {

using K = ConversionError::Kind;
using test::ExpectConversionError;
using test::seam;

TEST(ResolveStoragePath, ResolvesAndTurnsSlashesOrFails) {
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    const std::wstring here = std::wstring(current) + (std::wstring(current).ends_with(L'\\') ? L"" : L"\\");
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"D:/games/x.nsp", L"D:\\games\\x.nsp"},
        {L"D:\\games\\..\\x.nsp", L"D:\\x.nsp"},
        {L"\\\\server\\share/dir/x.nsp", L"\\\\server\\share\\dir\\x.nsp"},
        {L"game.nsp", here + L"game.nsp"},
        {L"sub/game.nsp", here + L"sub\\game.nsp"}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(ResolveStoragePath(in), out) << ToUtf8(in);
    const test::ExpectedError invalid{K::PathProblem, "Invalid storage path (Windows 123)", 123};
    ExpectConversionError([] { ResolveStoragePath(L""); }, invalid);
    ExpectConversionError([] { ResolveStoragePath(std::wstring(L"C:\\games\0x.nsp", 15)); }, invalid);
    ExpectConversionError([] { ResolveStoragePath(L"C:\\" + std::wstring(32770, L'a')); },
                          {K::PathProblem, "Cannot resolve storage path (Windows 206)", 206});
}

TEST(DirectoryPrefixAndJoin, KeepOneBackslashBetween) {
    const std::pair<std::wstring, std::wstring> prefixes[] = {
        {L"D:\\x.nsp", L"D:\\"},
        {L"D:\\games\\x.nsp", L"D:\\games\\"},
        {L"\\\\?\\D:\\a\\.vesko-1.tmp", L"\\\\?\\D:\\a\\"},
        {L"D:\\games\\", L"D:\\games\\"}};
    for (const auto& [in, out] : prefixes)
        EXPECT_EQ(DirectoryPrefix(in), out) << ToUtf8(in);
    for (const wchar_t* path : {L"x.nsp", L"D:/games/x.nsp"})
        ExpectConversionError([&] { DirectoryPrefix(path); },
                              {K::PathProblem, "Missing output directory (Windows 123)", 123});
    const struct {
        std::wstring directory, name, joined;
    } joins[] = {{L"D:\\games", L"x.nsp", L"D:\\games\\x.nsp"},
                 {L"\\\\?\\D:\\", L"x.nsp", L"\\\\?\\D:\\x.nsp"},
                 {L"", L"x.nsp", L"\\x.nsp"},
                 {L"\\\\?\\UNC\\s\\share", L"Recovery", L"\\\\?\\UNC\\s\\share\\Recovery"}};
    for (const auto& c : joins)
        EXPECT_EQ(JoinStoragePath(c.directory, c.name), c.joined) << ToUtf8(c.directory);
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

// Wine does not enforce share modes on directories, so the request itself is checked: no delete
// sharing, attribute access only, the long form of the path.
TEST(OpenStorageDirectory, OpensWithoutDeleteSharing) {
    test::StorageSandbox sandbox;
    sandbox.calls.createFile = &RecordingCreateFile;
    sandbox.apply();
    for (const bool refuse : {false, true}) {
        SCOPED_TRACE(refuse);
        createFileCalls.clear();
        EXPECT_TRUE(OpenStorageDirectory(sandbox.destination(), refuse, K::WriteFailed, nullptr).valid());
        ASSERT_EQ(createFileCalls.size(), 1u);
        const CreateFileCall& call = createFileCalls[0];
        EXPECT_EQ(call.path, ToLongPath(sandbox.destination()));
        EXPECT_EQ(call.access, static_cast<DWORD>(FILE_READ_ATTRIBUTES));
        EXPECT_EQ(call.share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
        EXPECT_EQ(call.disposition, static_cast<DWORD>(OPEN_EXISTING));
        EXPECT_EQ(call.flags, static_cast<DWORD>(FILE_FLAG_BACKUP_SEMANTICS |
                                                 (refuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0)));
    }
}

// Access denied follows the caller's kind, except that recovery records stay recovery records. A seam
// that fails, fails with the row's code; wine keeps no reparse points, so their attribute comes from it.
TEST(OpenStorageDirectory, Failures) {
    test::StorageSandbox sandbox;
    const std::wstring dir = sandbox.destination(), file = sandbox.destinationFile(L"plain.bin");
    test::WriteWholeFile(file, {1, 2, 3});
    enum Seam { Real, Reparse, CreateFails, InspectFails };
    const char* unsafe = "Unsafe storage directory";
    const char* cannotOpen = "Cannot open storage directory";
    const struct {
        Seam seam;
        std::wstring path;
        bool refuseReparse;
        K callerKind, kind;
        const char* message;
        std::uint32_t code;
    } cases[] = {
        // clang-format off
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
    seam = test::SeamScript{};
    seam.infoSuffix = ToLongPath(dir);
    seam.extraAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_TRUE(OpenStorageDirectory(dir, false, K::WriteFailed, nullptr).valid());
    seam.createError = 995;
    CancelFlag flag{1};
    EXPECT_THROW(OpenStorageDirectory(dir, false, K::WriteFailed, &flag), Cancelled);
}

TEST(FinalDirectoryPath, LongFormWithoutTrailingBackslashesExceptAtTheRoot) {
    test::StorageSandbox sandbox;
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
    seam.finalPath = L"\\\\?\\D:\\" + std::wstring(32767, L'a');
    ExpectConversionError([&] { FinalDirectoryPath(handle.get(), K::RecoveryRecords, nullptr); },
                          {K::RecoveryRecords, "Cannot resolve storage directory (Windows 206)", 206});
    seam.finalPath = L"";
    seam.finalPathError = 5;
    ExpectConversionError([&] { FinalDirectoryPath(handle.get(), K::WriteFailed, nullptr); },
                          {K::AccessDenied, "Cannot resolve storage directory (Windows 5)", 5});
    seam.finalPathError = 1;
    ExpectConversionError([&] { FinalDirectoryPath(handle.get(), K::RecoveryRecords, nullptr); },
                          {K::RecoveryRecords, "Cannot resolve storage directory (Windows 1)", 1});
}

} // namespace
} // namespace vesko
