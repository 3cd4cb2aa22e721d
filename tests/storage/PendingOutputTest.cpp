#include "storage/PendingOutput.h"

#include "engine/Paths.h"
#include "storage/StoragePaths.h"
#include "tests/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vesko {
namespace {

using K = ConversionError::Kind;
using test::Exists;
using test::seam;

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
    if (script.writeError != 0) {
        SetLastError(script.writeError);
        return FALSE;
    }
    return WriteFile(file, data, script.shortWrite ? size - 1 : size, written, overlapped);
}

HRESULT WINAPI ScriptedKnownFolder(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path) {
    *path = nullptr;
    return FAILED(script.knownFolderError) ? script.knownFolderError
                                           : test::FakeKnownFolderPath(id, flags, token, path);
}

class CreatePendingOutputTest : public ::testing::Test {
  protected:
    CreatePendingOutputTest() {
        script = Script{};
        sandbox.calls.writeFile = &ScriptedWriteFile;
        sandbox.calls.getKnownFolderPath = &ScriptedKnownFolder;
        sandbox.apply();
    }
    std::wstring output() const { return sandbox.destinationFile(L"Game.nsp"); }
    std::unique_ptr<PendingOutput> reserve() const {
        std::unique_ptr<PendingOutput> pending;
        CreatePendingOutput(pending, output(), nullptr);
        return pending;
    }

    test::StorageSandbox sandbox;
};

// The journal and the output are held exclusively; the output handle writes but does not read.
TEST_F(CreatePendingOutputTest, HoldsBothFilesAndOnlyWritesTheOutput) {
    std::unique_ptr<PendingOutput> pending = reserve();
    const std::wstring record = sandbox.journals().at(0).substr(0, 32);
    for (const std::wstring& path :
         {sandbox.recordedFile(L".vesko-" + record + L".tmp"), sandbox.journalPath(record)}) {
        SCOPED_TRACE(ToUtf8(path));
        const UniqueHandle other(CreateFileW(path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(other.valid());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    test::WriteOutput(*pending, std::vector<std::uint8_t>(70000, 1));
    SetFilePointerEx(pending->outputHandle(), LARGE_INTEGER{}, nullptr, FILE_BEGIN);
    char back[3] = {};
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(pending->outputHandle(), back, 3, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(CreatePendingOutput, UsesTheUsersLocalApplicationData) {
    test::TempDir destination;
    wchar_t* raw = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw)));
    const std::wstring recovery = std::wstring(raw) + L"\\VESKO\\ZARUvivuriza\\Recovery";
    CoTaskMemFree(raw);
    std::unique_ptr<PendingOutput> pending;
    CreatePendingOutput(pending, destination.file(L"Game.nsp"), nullptr);
    const std::vector<std::wstring> temporary = test::ListNames(destination.path(), L".vesko-");
    ASSERT_EQ(temporary.size(), 1u);
    const std::wstring journal = recovery + L"\\" + temporary[0].substr(7, 32) + L".journal";
    EXPECT_TRUE(Exists(journal));
    pending.reset();
    EXPECT_FALSE(Exists(journal));
    EXPECT_TRUE(test::ListNames(destination.path()).empty());
}

TEST_F(CreatePendingOutputTest, AbandonedAtAnyStepLeavesNeitherFile) {
    const char* identity = "Output identity is unavailable (Windows 50)";
    const K records = K::RecoveryRecords, none = K::WriteFailed;
    using F = CancelFlag;
    // clang-format off
    const struct {
        void (*arrange)(CancelFlag&);
        K kind;
        const char* message; // none: cancelled
        std::uint32_t code;
    } cases[] = {
        {[](F& f) { f.store(1); }, none, nullptr, 0},
        {[](F&) { script.knownFolderError = E_FAIL; }, records,
         "Cannot locate recovery directory (Windows 2147500037)", 0x80004005u},
        {[](F&) { test::randomScript.fail = true; }, K::SystemCrypto, "Windows random generator failed", 0},
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
        {[](F&) { script.writeError = 112; }, records, "Cannot write recovery journal (Windows 112)", 112},
        {[](F&) { script.shortWrite = true; }, records, "Incomplete recovery journal (Windows 29)", 29},
        {[](F&) { seam.failingFlush = 1, seam.flushError = 1117; }, records,
         "Cannot flush recovery journal (Windows 1117)", 1117},
        {[](F& f) { script.cancelOnWrite = &f; }, none, nullptr, 0},
        {[](F& f) { seam.cancelOnFlush = &f; }, none, nullptr, 0},
        // A write aborted while cancelling.
        {[](F& f) { script.cancelOnWrite = &f, script.writeError = 995; }, none, nullptr, 0}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message != nullptr ? c.message : "cancelled");
        test::StorageSandbox sandbox; // resets the seam and the random draws
        script = Script{};
        sandbox.calls = this->sandbox.calls;
        sandbox.apply();
        CancelFlag flag{0};
        c.arrange(flag);
        std::unique_ptr<PendingOutput> pending;
        const auto create = [&] {
            CreatePendingOutput(pending, sandbox.destinationFile(L"Game.nsp"), &flag);
        };
        if (c.message == nullptr)
            EXPECT_THROW(create(), Cancelled);
        else
            test::ExpectConversionError(create, {c.kind, c.message, c.code});
        // The partly built reservation sits in the owner; discarding it removes whatever it made.
        EXPECT_TRUE(pending);
        pending.reset();
        EXPECT_TRUE(sandbox.temporaryFiles().empty());
        EXPECT_TRUE(sandbox.journals().empty());
    }
}

TEST(OpenRecoveryDirectory, CreatesAndPinsTheThreeLevels) {
    test::StorageSandbox sandbox;
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
}

// Every failure is a recovery-records failure, and a reservation fails the same way, leaving no file.
TEST(OpenRecoveryDirectory, Failures) {
    const struct {
        void (*arrange)(const std::wstring& root);
        bool create;
        test::ExpectedError expected;
    } cases[] = {
        {[](const std::wstring&) {},
         false,
         {K::RecoveryRecords, "Cannot open storage directory (Windows 2)", 2}},
        {[](const std::wstring& r) {
             CreateDirectoryW((r + L"\\VESKO").c_str(), nullptr);
             test::WriteWholeFile(r + L"\\VESKO\\ZARUvivuriza", {1});
         },
         true,
         {K::RecoveryRecords, "Unsafe storage directory (Windows 1920)", 1920}},
        // Wine keeps no junctions: the level reports the attribute through the seam.
        {[](const std::wstring&) {
             seam.infoSuffix = L"\\ZARUvivuriza", seam.extraAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
         },
         true,
         {K::RecoveryRecords, "Unsafe storage directory (Windows 1920)", 1920}},
        {[](const std::wstring&) { seam.createSuffix = L"\\Recovery", seam.createError = 5; },
         true,
         {K::RecoveryRecords, "Cannot open storage directory (Windows 5)", 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected.message);
        test::StorageSandbox sandbox;
        c.arrange(sandbox.recoveryHome());
        test::ExpectConversionError([&] { OpenRecoveryDirectory(c.create, nullptr); }, c.expected);
        if (!c.create) {
            EXPECT_FALSE(Exists(sandbox.recoveryHome() + L"\\VESKO"));
            continue;
        }
        std::unique_ptr<PendingOutput> pending;
        test::ExpectConversionError(
            [&] { CreatePendingOutput(pending, sandbox.destinationFile(L"Game.nsp"), nullptr); }, c.expected);
        pending.reset();
        EXPECT_TRUE(sandbox.temporaryFiles().empty());
    }
    // Below a file no level can be made; Windows and wine tell it with different codes.
    test::StorageSandbox sandbox;
    test::WriteWholeFile(sandbox.recoveryHome() + L"\\VESKO", {1});
    try {
        OpenRecoveryDirectory(true, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::RecoveryRecords);
    }
}

} // namespace
} // namespace vesko
