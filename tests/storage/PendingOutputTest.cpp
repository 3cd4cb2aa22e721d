#include "storage/PendingOutput.h"

#include "engine/Paths.h"
#include "storage/StoragePaths.h"
#include "tests/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string_view>

namespace vesko {
namespace {

using K = ConversionError::Kind;
using test::Exists;

bool IsRecordName(const std::wstring& name) {
    if (name.size() != 32)
        return false;
    for (wchar_t c : name) {
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')))
            return false;
    }
    return true;
}

// Records what the reservation wrote into its journal; the file itself is held exclusively.
std::vector<std::uint8_t> writtenRecord;
BOOL WINAPI RecordingWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                               LPOVERLAPPED overlapped) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    writtenRecord.assign(bytes, bytes + size);
    return WriteFile(file, data, size, written, overlapped);
}

TEST(CreatePendingOutput, ReservesATemporaryFileAndItsJournal) {
    test::StorageSandbox sandbox;
    sandbox.calls.writeFile = &RecordingWriteFile;
    sandbox.apply();
    std::unique_ptr<PendingOutput> pending;
    CreatePendingOutput(pending, sandbox.destinationFile(L"Game.nsp"), nullptr);
    ASSERT_TRUE(pending);

    const std::vector<std::wstring> temporary = sandbox.temporaryFiles();
    ASSERT_EQ(temporary.size(), 1u);
    const std::wstring& tempName = temporary[0];
    ASSERT_EQ(tempName.size(), 43u);
    const std::wstring record = tempName.substr(7, 32);
    EXPECT_EQ(tempName.substr(0, 7), L".vesko-");
    EXPECT_TRUE(IsRecordName(record));
    EXPECT_TRUE(tempName.ends_with(L".tmp"));
    EXPECT_EQ(sandbox.journals(), std::vector<std::wstring>{record + L".journal"});
    EXPECT_FALSE(Exists(sandbox.destinationFile(L"Game.nsp")));

    const std::wstring journalPath = sandbox.recoveryPath() + L"\\" + record + L".journal";
    EXPECT_NE(GetFileAttributesW(journalPath.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

    // The record written names the temporary file exactly as it was created, with its identity.
    const std::wstring tempPath = ToLongPath(sandbox.destination()) + L"\\" + tempName;
    const std::optional<JournalRecord> parsed =
        ParseJournalRecord(writtenRecord.data(), writtenRecord.size());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(writtenRecord.size(), 44 + 2 * tempPath.size());
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
}

TEST(CreatePendingOutput, OutputHandleWritesButDoesNotReadAndDiscardingRemovesBothFiles) {
    test::StorageSandbox sandbox;
    std::unique_ptr<PendingOutput> pending;
    CreatePendingOutput(pending, sandbox.destinationFile(L"Game.nsp"), nullptr);
    DWORD done = 0;
    const std::vector<std::uint8_t> data(70000, 1);
    ASSERT_TRUE(
        WriteFile(pending->outputHandle(), data.data(), static_cast<DWORD>(data.size()), &done, nullptr));
    EXPECT_EQ(done, data.size());
    LARGE_INTEGER start{};
    SetFilePointerEx(pending->outputHandle(), start, nullptr, FILE_BEGIN);
    char back[3] = {};
    EXPECT_FALSE(ReadFile(pending->outputHandle(), back, 3, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    pending.reset();
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
    EXPECT_TRUE(sandbox.journals().empty());
    // The recovery levels stay for the next reservation.
    EXPECT_TRUE(Exists(sandbox.recoveryPath()));
}

TEST(CreatePendingOutput, UsesTheUsersLocalApplicationData) {
    test::TempDir destination;
    wchar_t* raw = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw)));
    const std::wstring localAppData = raw;
    CoTaskMemFree(raw);
    const std::wstring recovery = localAppData + L"\\VESKO\\ZARUvivuriza\\Recovery";

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

// Failure injection for the discard rules: each switch makes one step of the reservation fail.
struct Faults {
    DWORD journalCreateError = 0;
    DWORD temporaryCreateError = 0;
    bool failRandom = false;
    DWORD identityError = 0;
    bool zeroFileIndex = false;
    DWORD extraLinks = 0;
    DWORD extraAttributes = 0;
    DWORD writeError = 0;
    bool shortWrite = false;
    DWORD flushError = 0;
    HRESULT knownFolderError = S_OK;
    CancelFlag* cancelOnWrite = nullptr;
    CancelFlag* cancelOnFlush = nullptr;
};
Faults faults;

HANDLE WINAPI FaultyCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile) {
    const std::wstring name = path;
    if (faults.journalCreateError != 0 && name.ends_with(L".journal")) {
        SetLastError(faults.journalCreateError);
        return INVALID_HANDLE_VALUE;
    }
    if (faults.temporaryCreateError != 0 && name.ends_with(L".tmp")) {
        SetLastError(faults.temporaryCreateError);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

NTSTATUS WINAPI FaultyRandom(BCRYPT_ALG_HANDLE algorithm, PUCHAR buffer, ULONG size, ULONG flags) {
    if (faults.failRandom)
        return static_cast<NTSTATUS>(0xC0000001L);
    return BCryptGenRandom(algorithm, buffer, size, flags);
}

bool IsTemporaryFile(HANDLE handle) {
    return test::FinalPathOf(handle).ends_with(L".tmp");
}

BOOL WINAPI FaultyFileInformation(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION info) {
    const bool temporary = IsTemporaryFile(handle);
    if (temporary && faults.identityError != 0) {
        SetLastError(faults.identityError);
        return FALSE;
    }
    if (!GetFileInformationByHandle(handle, info))
        return FALSE;
    if (temporary) {
        if (faults.zeroFileIndex)
            info->nFileIndexHigh = info->nFileIndexLow = 0;
        info->nNumberOfLinks += faults.extraLinks;
        info->dwFileAttributes |= faults.extraAttributes;
    }
    return TRUE;
}

BOOL WINAPI FaultyWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    if (faults.cancelOnWrite != nullptr)
        faults.cancelOnWrite->store(1);
    if (faults.writeError != 0) {
        SetLastError(faults.writeError);
        return FALSE;
    }
    return WriteFile(file, data, faults.shortWrite ? size - 1 : size, written, overlapped);
}

BOOL WINAPI FaultyFlush(HANDLE file) {
    if (faults.cancelOnFlush != nullptr)
        faults.cancelOnFlush->store(1);
    if (faults.flushError != 0) {
        SetLastError(faults.flushError);
        return FALSE;
    }
    return FlushFileBuffers(file);
}

HRESULT WINAPI FaultyKnownFolder(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path) {
    if (FAILED(faults.knownFolderError)) {
        *path = nullptr;
        return faults.knownFolderError;
    }
    return test::FakeKnownFolderPath(id, flags, token, path);
}

TEST(CreatePendingOutput, AbandonedAtAnyStepLeavesNeitherFile) {
    struct Case {
        const char* name;
        void (*arrange)(Faults&, CancelFlag&);
        bool cancelled;
        K kind = K::RecoveryRecords;
        const char* message = "";
        std::uint32_t code = 0;
    };
    const Case cases[] = {
        {"cancelled at entry", [](Faults&, CancelFlag& f) { f.store(1); }, true},
        {"known folder unavailable", [](Faults& x, CancelFlag&) { x.knownFolderError = E_FAIL; }, false,
         K::RecoveryRecords, "Cannot locate recovery directory (Windows 2147500037)", 0x80004005u},
        {"random generator fails", [](Faults& x, CancelFlag&) { x.failRandom = true; }, false,
         K::SystemCrypto, "Windows random generator failed", 0},
        {"journal cannot be created", [](Faults& x, CancelFlag&) { x.journalCreateError = 5; }, false,
         K::RecoveryRecords, "Cannot create recovery journal (Windows 5)", 5},
        {"temporary file denied", [](Faults& x, CancelFlag&) { x.temporaryCreateError = 5; }, false,
         K::AccessDenied, "Cannot create temporary output (Windows 5)", 5},
        {"temporary file fails otherwise", [](Faults& x, CancelFlag&) { x.temporaryCreateError = 112; },
         false, K::WriteFailed, "Cannot create temporary output (Windows 112)", 112},
        {"identity query fails", [](Faults& x, CancelFlag&) { x.identityError = 1; }, false,
         K::RecoveryRecords, "Cannot record output identity (Windows 1)", 1},
        {"zero file index", [](Faults& x, CancelFlag&) { x.zeroFileIndex = true; }, false, K::RecoveryRecords,
         "Output identity is unavailable (Windows 50)", 50},
        {"second link", [](Faults& x, CancelFlag&) { x.extraLinks = 1; }, false, K::RecoveryRecords,
         "Output identity is unavailable (Windows 50)", 50},
        {"reparse point", [](Faults& x, CancelFlag&) { x.extraAttributes = FILE_ATTRIBUTE_REPARSE_POINT; },
         false, K::RecoveryRecords, "Output identity is unavailable (Windows 50)", 50},
        {"journal write fails", [](Faults& x, CancelFlag&) { x.writeError = 112; }, false, K::RecoveryRecords,
         "Cannot write recovery journal (Windows 112)", 112},
        {"journal write short", [](Faults& x, CancelFlag&) { x.shortWrite = true; }, false,
         K::RecoveryRecords, "Incomplete recovery journal (Windows 29)", 29},
        {"journal flush fails", [](Faults& x, CancelFlag&) { x.flushError = 1117; }, false,
         K::RecoveryRecords, "Cannot flush recovery journal (Windows 1117)", 1117},
        {"cancelled while the journal is written", [](Faults& x, CancelFlag& f) { x.cancelOnWrite = &f; },
         true},
        {"cancelled during the journal flush", [](Faults& x, CancelFlag& f) { x.cancelOnFlush = &f; }, true},
        {"write aborted while cancelling",
         [](Faults& x, CancelFlag& f) {
             x.cancelOnWrite = &f;
             x.writeError = 995;
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::StorageSandbox sandbox;
        faults = Faults{};
        sandbox.calls.createFile = &FaultyCreateFile;
        sandbox.calls.genRandom = &FaultyRandom;
        sandbox.calls.getFileInformationByHandle = &FaultyFileInformation;
        sandbox.calls.writeFile = &FaultyWriteFile;
        sandbox.calls.flushFileBuffers = &FaultyFlush;
        sandbox.calls.getKnownFolderPath = &FaultyKnownFolder;
        sandbox.apply();
        CancelFlag flag{0};
        c.arrange(faults, flag);

        std::unique_ptr<PendingOutput> pending;
        if (c.cancelled) {
            EXPECT_THROW(CreatePendingOutput(pending, sandbox.destinationFile(L"Game.nsp"), &flag),
                         Cancelled);
        } else {
            test::ExpectConversionError(
                [&] { CreatePendingOutput(pending, sandbox.destinationFile(L"Game.nsp"), &flag); },
                {c.kind, c.message, c.code});
        }
        // The partly built reservation sits in the owner; discarding it removes whatever it made.
        EXPECT_TRUE(pending);
        pending.reset();
        EXPECT_TRUE(sandbox.temporaryFiles().empty());
        EXPECT_TRUE(sandbox.journals().empty());
    }
}

TEST(CreatePendingOutput, PathAndDirectoryFailures) {
    test::StorageSandbox sandbox;
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

// Hands out the same bytes every time, or a scripted sequence.
std::vector<std::uint8_t> scriptedRandom;
int randomCalls = 0;
NTSTATUS WINAPI ScriptedRandom(BCRYPT_ALG_HANDLE, PUCHAR buffer, ULONG size, ULONG flags) {
    if (flags != BCRYPT_USE_SYSTEM_PREFERRED_RNG || size != 16)
        return static_cast<NTSTATUS>(0xC000000DL);
    // Draw n takes chunk n, and the last chunk once the script runs out.
    const std::size_t chunks = scriptedRandom.size() / 16;
    const std::size_t chunk = std::min<std::size_t>(static_cast<std::size_t>(randomCalls), chunks - 1);
    std::memcpy(buffer, scriptedRandom.data() + 16 * chunk, 16);
    ++randomCalls;
    return 0;
}

TEST(CreatePendingOutput, ThirtyTwoJournalCollisionsGiveUp) {
    test::StorageSandbox sandbox;
    scriptedRandom.assign(16, 0xAB);
    randomCalls = 0;
    sandbox.calls.genRandom = &ScriptedRandom;
    sandbox.apply();
    sandbox.makeRecoveryDirectory();
    const std::wstring taken = sandbox.recoveryPath() + L"\\abababababababababababababababab.journal";
    test::WriteWholeFile(taken, {7, 7});

    std::unique_ptr<PendingOutput> pending;
    test::ExpectConversionError(
        [&] { CreatePendingOutput(pending, sandbox.destinationFile(L"Game.nsp"), nullptr); },
        {K::RecoveryRecords, "Cannot choose a recovery record name (Windows 80)", 80});
    EXPECT_EQ(randomCalls, 32);
    pending.reset();
    EXPECT_EQ(test::ReadWholeFile(taken), (std::vector<std::uint8_t>{7, 7}));
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
}

TEST(CreatePendingOutput, TakenTemporaryNameDrawsAnotherRecordName) {
    test::StorageSandbox sandbox;
    // First draw: 0x11 bytes, whose temporary name is taken; second draw: 0x22 bytes.
    scriptedRandom.assign(16, 0x11);
    scriptedRandom.insert(scriptedRandom.end(), 16, 0x22);
    randomCalls = 0;
    sandbox.calls.genRandom = &ScriptedRandom;
    sandbox.apply();
    const std::wstring first(32, L'1');
    const std::wstring second(32, L'2');
    const std::wstring takenTemporary = sandbox.destinationFile(L".vesko-" + first + L".tmp");
    test::WriteWholeFile(takenTemporary, {9});

    std::unique_ptr<PendingOutput> pending;
    CreatePendingOutput(pending, sandbox.destinationFile(L"Game.nsp"), nullptr);
    EXPECT_EQ(randomCalls, 2);
    EXPECT_EQ(sandbox.journals(), std::vector<std::wstring>{second + L".journal"});
    EXPECT_TRUE(Exists(sandbox.destinationFile(L".vesko-" + second + L".tmp")));
    pending.reset();
    EXPECT_EQ(test::ReadWholeFile(takenTemporary), std::vector<std::uint8_t>{9});
    EXPECT_EQ(sandbox.temporaryFiles(), std::vector<std::wstring>{L".vesko-" + first + L".tmp"});
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

// Wine keeps no junctions: the level reports the attribute through the seam.
BOOL WINAPI LevelIsJunction(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION info) {
    if (!GetFileInformationByHandle(handle, info))
        return FALSE;
    if (test::FinalPathOf(handle).ends_with(L"\\ZARUvivuriza"))
        info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return TRUE;
}

DWORD deniedError = 5;
HANDLE WINAPI DeniedRecoveryLevel(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (std::wstring_view(path).ends_with(L"\\Recovery")) {
        SetLastError(deniedError);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

// Every failure is a recovery-records failure, and a reservation fails the same way, leaving no file.
TEST(OpenRecoveryDirectory, Failures) {
    struct Case {
        const char* name;
        void (*arrange)(test::StorageSandbox&);
        bool create;
        test::ExpectedError expected;
    };
    const Case cases[] = {
        {"missing, not created",
         [](test::StorageSandbox&) {},
         false,
         {K::RecoveryRecords, "Cannot open storage directory (Windows 2)", 2}},
        {"a level that is a file",
         [](test::StorageSandbox& s) {
             CreateDirectoryW((s.localAppData() + L"\\VESKO").c_str(), nullptr);
             test::WriteWholeFile(s.localAppData() + L"\\VESKO\\ZARUvivuriza", {1});
         },
         true,
         {K::RecoveryRecords, "Unsafe storage directory (Windows 1920)", 1920}},
        {"a level that is a junction",
         [](test::StorageSandbox& s) { s.calls.getFileInformationByHandle = &LevelIsJunction; },
         true,
         {K::RecoveryRecords, "Unsafe storage directory (Windows 1920)", 1920}},
        {"a level denied",
         [](test::StorageSandbox& s) { s.calls.createFile = &DeniedRecoveryLevel; },
         true,
         {K::RecoveryRecords, "Cannot open storage directory (Windows 5)", 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::StorageSandbox sandbox;
        c.arrange(sandbox);
        sandbox.apply();
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
