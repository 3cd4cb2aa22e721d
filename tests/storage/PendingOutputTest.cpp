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

// The seam's answers that only the reservation asks for: the journal write (recorded, failing, short or
// cancelling), the random draws (failing, or chunk n of the script for draw n, the last one once it runs
// out) and the known folder.
struct Script {
    std::vector<std::uint8_t> written;
    DWORD writeError = 0;
    bool shortWrite = false, failRandom = false;
    CancelFlag* cancelOnWrite = nullptr;
    std::vector<std::uint8_t> random;
    int randomCalls = 0;
    HRESULT knownFolderError = S_OK;
};
Script script;

BOOL WINAPI ScriptedWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                              LPOVERLAPPED overlapped) {
    script.written.assign(static_cast<const std::uint8_t*>(data),
                          static_cast<const std::uint8_t*>(data) + size);
    if (script.cancelOnWrite != nullptr)
        script.cancelOnWrite->store(1);
    if (script.writeError != 0) {
        SetLastError(script.writeError);
        return FALSE;
    }
    return WriteFile(file, data, script.shortWrite ? size - 1 : size, written, overlapped);
}

NTSTATUS WINAPI ScriptedRandom(BCRYPT_ALG_HANDLE algorithm, PUCHAR buffer, ULONG size, ULONG flags) {
    if (script.failRandom || flags != BCRYPT_USE_SYSTEM_PREFERRED_RNG || size != 16)
        return static_cast<NTSTATUS>(0xC0000001L);
    if (script.random.empty())
        return BCryptGenRandom(algorithm, buffer, size, flags);
    const std::size_t chunk = std::min<std::size_t>(script.randomCalls++, script.random.size() / 16 - 1);
    std::memcpy(buffer, script.random.data() + 16 * chunk, 16);
    return 0;
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
        sandbox.calls.genRandom = &ScriptedRandom;
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

TEST_F(CreatePendingOutputTest, ReservesATemporaryFileAndItsJournal) {
    std::unique_ptr<PendingOutput> pending = reserve();
    ASSERT_TRUE(pending);
    const std::vector<std::wstring> temporary = sandbox.temporaryFiles();
    ASSERT_EQ(temporary.size(), 1u);
    const std::wstring& tempName = temporary[0];
    ASSERT_EQ(tempName.size(), 43u);
    const std::wstring record = tempName.substr(7, 32);
    EXPECT_EQ(tempName.substr(0, 7) + tempName.substr(39), L".vesko-.tmp");
    EXPECT_EQ(record.find_first_not_of(L"0123456789abcdef"), std::wstring::npos);
    EXPECT_EQ(sandbox.journals(), std::vector<std::wstring>{record + L".journal"});
    EXPECT_FALSE(Exists(output()));
    const std::wstring journalPath = sandbox.recoveryPath() + L"\\" + record + L".journal";
    EXPECT_NE(GetFileAttributesW(journalPath.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

    // The record written names the temporary file exactly as it was created, with its identity.
    const std::wstring tempPath = ToLongPath(sandbox.destination()) + L"\\" + tempName;
    const std::optional<JournalRecord> parsed =
        ParseJournalRecord(script.written.data(), script.written.size());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(script.written.size(), 44 + 2 * tempPath.size());
    EXPECT_EQ(parsed->temporaryPath, tempPath);
    BY_HANDLE_FILE_INFORMATION info{};
    ASSERT_TRUE(GetFileInformationByHandle(pending->outputHandle(), &info));
    EXPECT_EQ(parsed->identity,
              (JournalIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
                               info.ftCreationTime.dwLowDateTime, info.ftCreationTime.dwHighDateTime}));
    // Both files are held exclusively.
    for (const std::wstring& path : {tempPath, journalPath}) {
        SCOPED_TRACE(ToUtf8(path));
        const UniqueHandle other(CreateFileW(path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(other.valid());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_EQ(pending->publishFlushError(), 0u);

    // The output handle writes but does not read.
    DWORD done = 0;
    const std::vector<std::uint8_t> data(70000, 1);
    ASSERT_TRUE(
        WriteFile(pending->outputHandle(), data.data(), static_cast<DWORD>(data.size()), &done, nullptr));
    EXPECT_EQ(done, data.size());
    SetFilePointerEx(pending->outputHandle(), LARGE_INTEGER{}, nullptr, FILE_BEGIN);
    char back[3] = {};
    EXPECT_FALSE(ReadFile(pending->outputHandle(), back, 3, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // Discarding removes both files; the recovery levels stay for the next reservation.
    pending.reset();
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
    EXPECT_TRUE(sandbox.journals().empty());
    EXPECT_TRUE(Exists(sandbox.recoveryPath()));
}

TEST(CreatePendingOutput, UsesTheUsersLocalApplicationData) {
    test::TempDir destination;
    wchar_t* raw = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw)));
    const std::wstring recovery = std::wstring(raw) + L"\\VESKO\\ZARUvivuriza\\Recovery";
    CoTaskMemFree(raw);
    std::unique_ptr<PendingOutput> pending;
    CreatePendingOutput(pending, destination.file(L"Game.nsp"), nullptr);
    const std::vector<std::wstring> temporary = test::ListNames(destination.path(), L".vesko-*");
    ASSERT_EQ(temporary.size(), 1u);
    const std::wstring journal = recovery + L"\\" + temporary[0].substr(7, 32) + L".journal";
    EXPECT_TRUE(Exists(journal));
    pending.reset();
    EXPECT_FALSE(Exists(journal));
    EXPECT_TRUE(test::ListNames(destination.path(), L"*").empty());
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
        {[](F&) { script.failRandom = true; }, K::SystemCrypto, "Windows random generator failed", 0},
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
        test::StorageSandbox sandbox; // resets the seam
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

TEST_F(CreatePendingOutputTest, PathAndDirectoryFailures) {
    test::WriteWholeFile(sandbox.destinationFile(L"file"), {1});
    const std::pair<std::wstring, test::ExpectedError> cases[] = {
        {L"", {K::PathProblem, "Invalid storage path (Windows 123)", 123}},
        {sandbox.destinationFile(L"missing\\Game.nsp"),
         {K::WriteFailed, "Cannot open storage directory (Windows 2)", 2}},
        // The directory prefix keeps its backslash, and a file named with one is an invalid name.
        {sandbox.destinationFile(L"file\\Game.nsp"),
         {K::WriteFailed, "Cannot open storage directory (Windows 123)", 123}},
    };
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(ToUtf8(path));
        std::unique_ptr<PendingOutput> pending;
        test::ExpectConversionError([&] { CreatePendingOutput(pending, path, nullptr); }, expected);
        EXPECT_TRUE(pending);
    }
    EXPECT_FALSE(Exists(sandbox.localAppData() + L"\\VESKO"));
}

TEST_F(CreatePendingOutputTest, ThirtyTwoJournalCollisionsGiveUp) {
    script.random.assign(16, 0xAB);
    sandbox.makeRecoveryDirectory();
    const std::wstring taken = sandbox.recoveryPath() + L"\\abababababababababababababababab.journal";
    test::WriteWholeFile(taken, {7, 7});
    std::unique_ptr<PendingOutput> pending;
    test::ExpectConversionError(
        [&] { CreatePendingOutput(pending, output(), nullptr); },
        {K::RecoveryRecords, "Cannot choose a recovery record name (Windows 80)", 80});
    EXPECT_EQ(script.randomCalls, 32);
    pending.reset();
    EXPECT_EQ(test::ReadWholeFile(taken), (std::vector<std::uint8_t>{7, 7}));
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
}

TEST_F(CreatePendingOutputTest, TakenTemporaryNameDrawsAnotherRecordName) {
    // First draw: 0x11 bytes, whose temporary name is taken; second draw: 0x22 bytes.
    script.random.assign(16, 0x11);
    script.random.insert(script.random.end(), 16, 0x22);
    const std::wstring first = L".vesko-" + std::wstring(32, L'1') + L".tmp", second(32, L'2');
    test::WriteWholeFile(sandbox.destinationFile(first), {9});
    std::unique_ptr<PendingOutput> pending = reserve();
    EXPECT_EQ(script.randomCalls, 2);
    EXPECT_EQ(sandbox.journals(), std::vector<std::wstring>{second + L".journal"});
    EXPECT_TRUE(Exists(sandbox.destinationFile(L".vesko-" + second + L".tmp")));
    pending.reset();
    EXPECT_EQ(test::ReadWholeFile(sandbox.destinationFile(first)), std::vector<std::uint8_t>{9});
    EXPECT_EQ(sandbox.temporaryFiles(), std::vector<std::wstring>{first});
    EXPECT_TRUE(sandbox.journals().empty());
}

TEST(OpenRecoveryDirectory, CreatesAndPinsTheThreeLevels) {
    test::StorageSandbox sandbox;
    {
        const RecoveryDirectory recovery = OpenRecoveryDirectory(true, nullptr);
        const UniqueHandle root =
            OpenStorageDirectory(sandbox.localAppData(), false, K::WriteFailed, nullptr);
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
        c.arrange(sandbox.localAppData());
        test::ExpectConversionError([&] { OpenRecoveryDirectory(c.create, nullptr); }, c.expected);
        if (!c.create) {
            EXPECT_FALSE(Exists(sandbox.localAppData() + L"\\VESKO"));
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
    test::WriteWholeFile(sandbox.localAppData() + L"\\VESKO", {1});
    try {
        OpenRecoveryDirectory(true, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::RecoveryRecords);
    }
}

} // namespace
} // namespace vesko
