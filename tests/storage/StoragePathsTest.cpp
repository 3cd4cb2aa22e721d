#include "storage/StoragePaths.h"

#include "engine/Paths.h"
#include "tests/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace vesko {
namespace {

using K = ConversionError::Kind;
using test::ExpectConversionError;

TEST(ThrowStorageError, KindsCodesAndCancellation) {
    enum class Flag { None, Clear, Set };
    struct Case {
        K kind;
        std::uint32_t code;
        Flag flag;
        bool cancelled;
        K expectedKind;
        std::string expectedMessage;
    };
    const Case cases[] = {
        {K::WriteFailed, 2, Flag::None, false, K::WriteFailed, "Boom (Windows 2)"},
        {K::WriteFailed, 5, Flag::None, false, K::AccessDenied, "Boom (Windows 5)"},
        {K::PathProblem, 19, Flag::Clear, false, K::AccessDenied, "Boom (Windows 19)"},
        {K::WriteFailed, 65, Flag::None, false, K::AccessDenied, "Boom (Windows 65)"},
        {K::NameConflict, 1314, Flag::None, false, K::AccessDenied, "Boom (Windows 1314)"},
        {K::RecoveryRecords, 5, Flag::None, false, K::RecoveryRecords, "Boom (Windows 5)"},
        {K::RecoveryRecords, 1314, Flag::Set, false, K::RecoveryRecords, "Boom (Windows 1314)"},
        {K::WriteFailed, 995, Flag::Set, true, K::WriteFailed, ""},
        {K::RecoveryRecords, 995, Flag::Set, true, K::WriteFailed, ""},
        {K::WriteFailed, 995, Flag::Clear, false, K::WriteFailed, "Boom (Windows 995)"},
        {K::WriteFailed, 995, Flag::None, false, K::WriteFailed, "Boom (Windows 995)"},
        {K::WriteFailed, 2, Flag::Set, false, K::WriteFailed, "Boom (Windows 2)"},
        {K::RecoveryRecords, 0x80070005u, Flag::None, false, K::RecoveryRecords, "Boom (Windows 2147942405)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " kind " + KindName(c.kind) + " flag " +
                     std::to_string(static_cast<int>(c.flag)));
        CancelFlag flag{static_cast<std::uint8_t>(c.flag == Flag::Set ? 1 : 0)};
        const CancelFlag* passed = c.flag == Flag::None ? nullptr : &flag;
        if (c.cancelled) {
            EXPECT_THROW(ThrowStorageError(c.kind, "Boom", c.code, passed), Cancelled);
            continue;
        }
        ExpectConversionError([&] { ThrowStorageError(c.kind, "Boom", c.code, passed); },
                              {c.expectedKind, c.expectedMessage, c.code});
    }
}

std::wstring CurrentDirectory() {
    wchar_t buffer[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, buffer);
    std::wstring dir = buffer;
    if (dir.back() != L'\\')
        dir += L'\\';
    return dir;
}

TEST(ResolveStoragePath, ResolvesAndTurnsSlashes) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"D:/games/x.nsp", L"D:\\games\\x.nsp"},
        {L"D:\\games\\..\\x.nsp", L"D:\\x.nsp"},
        {L"\\\\server\\share/dir/x.nsp", L"\\\\server\\share\\dir\\x.nsp"},
        {L"game.nsp", CurrentDirectory() + L"game.nsp"},
        {L"sub/game.nsp", CurrentDirectory() + L"sub\\game.nsp"},
    };
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(ToUtf8(in));
        EXPECT_EQ(ResolveStoragePath(in), out);
    }
}

TEST(ResolveStoragePath, Failures) {
    const std::wstring withNul(L"C:\\games\0x.nsp", 15);
    const std::wstring tooLong = L"C:\\" + std::wstring(32770, L'a');
    const std::pair<std::wstring, test::ExpectedError> cases[] = {
        {L"", {K::PathProblem, "Invalid storage path (Windows 123)", 123}},
        {withNul, {K::PathProblem, "Invalid storage path (Windows 123)", 123}},
        {tooLong, {K::PathProblem, "Cannot resolve storage path (Windows 206)", 206}},
    };
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(path.size());
        ExpectConversionError([&] { ResolveStoragePath(path); }, expected);
    }
}

TEST(DirectoryPrefix, KeepsTheLastBackslash) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"D:\\x.nsp", L"D:\\"},
        {L"D:\\games\\x.nsp", L"D:\\games\\"},
        {L"\\\\?\\D:\\a\\.vesko-1.tmp", L"\\\\?\\D:\\a\\"},
        {L"D:\\games\\", L"D:\\games\\"},
    };
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(ToUtf8(in));
        EXPECT_EQ(DirectoryPrefix(in), out);
    }
    ExpectConversionError([] { DirectoryPrefix(L"x.nsp"); },
                          {K::PathProblem, "Missing output directory (Windows 123)", 123});
    ExpectConversionError([] { DirectoryPrefix(L"D:/games/x.nsp"); },
                          {K::PathProblem, "Missing output directory (Windows 123)", 123});
}

TEST(JoinStoragePath, OneBackslashBetween) {
    struct Case {
        std::wstring directory, name, joined;
    };
    const Case cases[] = {
        {L"D:\\games", L"x.nsp", L"D:\\games\\x.nsp"},
        {L"\\\\?\\D:\\", L"x.nsp", L"\\\\?\\D:\\x.nsp"},
        {L"", L"x.nsp", L"\\x.nsp"},
        {L"\\\\?\\UNC\\s\\share", L"Recovery", L"\\\\?\\UNC\\s\\share\\Recovery"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.directory));
        EXPECT_EQ(JoinStoragePath(c.directory, c.name), c.joined);
    }
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
        const UniqueHandle handle =
            OpenStorageDirectory(sandbox.destination(), refuse, K::WriteFailed, nullptr);
        EXPECT_TRUE(handle.valid());
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

// Wine keeps no reparse points, so their attribute comes from the seam.
std::wstring reparseTarget;
BOOL WINAPI ReportReparsePoint(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION info) {
    if (!GetFileInformationByHandle(handle, info))
        return FALSE;
    if (test::FinalPathOf(handle) == reparseTarget)
        info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return TRUE;
}

DWORD forcedError = 0;
HANDLE WINAPI FailingCreateFile(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    SetLastError(forcedError);
    return INVALID_HANDLE_VALUE;
}
BOOL WINAPI FailingFileInformation(HANDLE, LPBY_HANDLE_FILE_INFORMATION) {
    SetLastError(forcedError);
    return FALSE;
}

TEST(OpenStorageDirectory, Failures) {
    test::StorageSandbox sandbox;
    const std::wstring file = sandbox.destinationFile(L"plain.bin");
    test::WriteWholeFile(file, {1, 2, 3});
    reparseTarget = ToLongPath(sandbox.destination());
    const auto createFails = [](StorageSystemCalls& c) { c.createFile = &FailingCreateFile; };
    const auto inspectFails = [](StorageSystemCalls& c) {
        c.getFileInformationByHandle = &FailingFileInformation;
    };
    const auto reparse = [](StorageSystemCalls& c) { c.getFileInformationByHandle = &ReportReparsePoint; };
    const std::wstring dir = sandbox.destination();
    struct Case {
        void (*seam)(StorageSystemCalls&);
        std::wstring path;
        bool refuseReparse;
        K callerKind, kind;
        const char* message;
        std::uint32_t code;
    };
    // Access denied follows the caller's kind, except that recovery records stay recovery records. A seam
    // that fails, fails with the row's code.
    const Case cases[] = {
        {nullptr, file, false, K::WriteFailed, K::WriteFailed, "Unsafe storage directory (Windows 1920)",
         1920},
        {nullptr, file, false, K::RecoveryRecords, K::RecoveryRecords,
         "Unsafe storage directory (Windows 1920)", 1920},
        {nullptr, dir + L"\\missing", false, K::WriteFailed, K::WriteFailed,
         "Cannot open storage directory (Windows 2)", 2},
        {nullptr, dir + L"\\missing\\deeper", false, K::RecoveryRecords, K::RecoveryRecords,
         "Cannot open storage directory (Windows 3)", 3},
        {reparse, dir, true, K::WriteFailed, K::WriteFailed, "Unsafe storage directory (Windows 1920)", 1920},
        {createFails, dir, false, K::WriteFailed, K::AccessDenied,
         "Cannot open storage directory (Windows 5)", 5},
        {createFails, dir, true, K::RecoveryRecords, K::RecoveryRecords,
         "Cannot open storage directory (Windows 5)", 5},
        {inspectFails, dir, false, K::WriteFailed, K::WriteFailed,
         "Cannot inspect storage directory (Windows 1117)", 1117},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        forcedError = c.code;
        sandbox.calls = RealStorageSystemCalls();
        sandbox.calls.getKnownFolderPath = &test::FakeKnownFolderPath;
        if (c.seam != nullptr)
            c.seam(sandbox.calls);
        sandbox.apply();
        test::ExpectConversionError(
            [&] { OpenStorageDirectory(c.path, c.refuseReparse, c.callerKind, nullptr); },
            {c.kind, c.message, c.code});
    }
    // A reparse point not refused opens; an aborted open while cancelling is cancellation.
    sandbox.calls.getFileInformationByHandle = &ReportReparsePoint;
    sandbox.apply();
    EXPECT_TRUE(OpenStorageDirectory(sandbox.destination(), false, K::WriteFailed, nullptr).valid());
    createFails(sandbox.calls);
    sandbox.apply();
    forcedError = 995;
    CancelFlag flag{1};
    EXPECT_THROW(OpenStorageDirectory(sandbox.destination(), false, K::WriteFailed, &flag), Cancelled);
}

TEST(FinalDirectoryPath, LongFormWithoutTrailingBackslashExceptAtTheRoot) {
    test::TempDir dir;
    const struct {
        std::wstring open, final;
    } cases[] = {
        {dir.path(), ToLongPath(dir.path())},
        {dir.path() + L"\\", ToLongPath(dir.path())},
        {L"C:\\", L"\\\\?\\C:\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.open));
        const UniqueHandle handle = OpenStorageDirectory(c.open, false, K::WriteFailed, nullptr);
        EXPECT_EQ(FinalDirectoryPath(handle.get(), K::WriteFailed, nullptr), c.final);
    }
}

std::wstring fakeFinalPath;
DWORD WINAPI FakeFinalPath(HANDLE, LPWSTR buffer, DWORD size, DWORD) {
    if (fakeFinalPath.size() >= size)
        return static_cast<DWORD>(fakeFinalPath.size() + 1);
    std::copy(fakeFinalPath.begin(), fakeFinalPath.end(), buffer);
    buffer[fakeFinalPath.size()] = L'\0';
    return static_cast<DWORD>(fakeFinalPath.size());
}
DWORD WINAPI FailingFinalPath(HANDLE, LPWSTR, DWORD, DWORD) {
    SetLastError(forcedError);
    return 0;
}

TEST(FinalDirectoryPath, TrimsEveryTrailingBackslash) {
    test::StorageSandbox sandbox;
    sandbox.calls.getFinalPathNameByHandle = &FakeFinalPath;
    sandbox.apply();
    const UniqueHandle handle = OpenStorageDirectory(sandbox.destination(), false, K::WriteFailed, nullptr);
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"\\\\?\\D:\\games\\\\\\", L"\\\\?\\D:\\games"},
        {L"\\\\?\\D:\\\\", L"\\\\?\\D:\\"},
        {L"\\\\?\\UNC\\s\\share\\", L"\\\\?\\UNC\\s\\share"},
    };
    for (const auto& [reported, expected] : cases) {
        SCOPED_TRACE(ToUtf8(reported));
        fakeFinalPath = reported;
        EXPECT_EQ(FinalDirectoryPath(handle.get(), K::WriteFailed, nullptr), expected);
    }
}

TEST(FinalDirectoryPath, Failures) {
    test::StorageSandbox sandbox;
    const UniqueHandle handle = OpenStorageDirectory(sandbox.destination(), false, K::WriteFailed, nullptr);
    sandbox.calls.getFinalPathNameByHandle = &FakeFinalPath;
    sandbox.apply();
    fakeFinalPath = L"\\\\?\\D:\\" + std::wstring(32767, L'a');
    ExpectConversionError([&] { FinalDirectoryPath(handle.get(), K::RecoveryRecords, nullptr); },
                          {K::RecoveryRecords, "Cannot resolve storage directory (Windows 206)", 206});
    sandbox.calls.getFinalPathNameByHandle = &FailingFinalPath;
    sandbox.apply();
    forcedError = 5;
    ExpectConversionError([&] { FinalDirectoryPath(handle.get(), K::WriteFailed, nullptr); },
                          {K::AccessDenied, "Cannot resolve storage directory (Windows 5)", 5});
    forcedError = 1;
    ExpectConversionError([&] { FinalDirectoryPath(handle.get(), K::RecoveryRecords, nullptr); },
                          {K::RecoveryRecords, "Cannot resolve storage directory (Windows 1)", 1});
}

} // namespace
} // namespace vesko
