#include "storage/PublishOutput.h"

#include "engine/Paths.h"
#include "storage/Recovery.h"
#include "storage/StoragePaths.h"
#include "tests/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

namespace vesko {
namespace {

using K = ConversionError::Kind;
using test::Exists;

const std::vector<std::uint8_t> kContent = {'N', 'S', 'P', '!', 0, 1, 2, 3};

// A reservation with the output written, as the engine leaves it before publishing.
std::unique_ptr<PendingOutput> ReserveAndWrite(const std::wstring& outputPath) {
    std::unique_ptr<PendingOutput> pending;
    CreatePendingOutput(pending, outputPath, nullptr);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(pending->outputHandle(), kContent.data(), static_cast<DWORD>(kContent.size()),
                          &written, nullptr));
    return pending;
}

TEST(CandidateName, NumbersGoBeforeTheLastDot) {
    struct Case {
        std::wstring wanted;
        std::uint32_t number;
        std::wstring candidate;
    };
    const Case cases[] = {
        {L"Game.nsp", 0, L"Game.nsp"},
        {L"Game.nsp", 1, L"Game (1).nsp"},
        {L"Game.nsp", 9999, L"Game (9999).nsp"},
        {L"a.b.nsp", 1, L"a.b (1).nsp"},
        {L"Game", 1, L"Game (1)"},
        {L".nsp", 1, L" (1).nsp"},
        {L"Game.", 12, L"Game (12)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.wanted) + " " + std::to_string(c.number));
        EXPECT_EQ(CandidateName(c.wanted, c.number), c.candidate);
    }
}

TEST(PublishOutput, FreeNameIsUsedAsItIs) {
    test::StorageSandbox sandbox;
    const std::wstring output = sandbox.destinationFile(L"Game.nsp");
    std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output);
    const std::wstring published = PublishOutput(pending, output, true, nullptr);
    EXPECT_EQ(published, output);
    EXPECT_EQ(pending->publishFlushError(), 0u);
    EXPECT_EQ(pending->outputHandle(), INVALID_HANDLE_VALUE);
    // The journal goes at once; the temporary name is gone with the rename.
    EXPECT_TRUE(sandbox.journals().empty());
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
    pending.reset();
    EXPECT_EQ(test::ReadWholeFile(output), kContent);
    EXPECT_TRUE(sandbox.journals().empty());
}

TEST(PublishOutput, ReturnsTheUsersFormOfTheDirectory) {
    test::StorageSandbox sandbox;
    std::wstring slashed = sandbox.destination();
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    const std::wstring output = slashed + L"/sub/../Game.nsp";
    std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output);
    EXPECT_EQ(PublishOutput(pending, output, true, nullptr), sandbox.destinationFile(L"Game.nsp"));
}

TEST(PublishOutput, TakenNamesGetTheFirstFreeNumber) {
    struct Case {
        std::wstring wanted;
        std::vector<std::wstring> existingFiles;
        std::vector<std::wstring> existingDirectories;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"Game.nsp", {L"Game.nsp"}, {}, L"Game (1).nsp"},
        {L"Game.nsp", {L"Game.nsp", L"Game (1).nsp"}, {}, L"Game (2).nsp"},
        {L"Game.nsp", {L"Game.nsp", L"Game (2).nsp"}, {}, L"Game (1).nsp"},
        {L"Game.nsp", {L"GAME.NSP"}, {}, L"Game (1).nsp"},
        {L"a.b.nsp", {L"a.b.nsp"}, {}, L"a.b (1).nsp"},
        {L"Game", {L"Game"}, {}, L"Game (1)"},
        {L".nsp", {L".nsp"}, {}, L" (1).nsp"},
        {L"Game.nsp", {}, {L"Game.nsp"}, L"Game (1).nsp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.expected));
        test::StorageSandbox sandbox;
        for (const std::wstring& name : c.existingFiles)
            test::WriteWholeFile(sandbox.destinationFile(name), {'o', 'l', 'd'});
        for (const std::wstring& name : c.existingDirectories)
            ASSERT_TRUE(CreateDirectoryW(sandbox.destinationFile(name).c_str(), nullptr));
        const std::wstring output = sandbox.destinationFile(c.wanted);
        std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output);
        EXPECT_EQ(PublishOutput(pending, output, true, nullptr), sandbox.destinationFile(c.expected));
        pending.reset();
        EXPECT_EQ(test::ReadWholeFile(sandbox.destinationFile(c.expected)), kContent);
        // Nothing that was there was replaced.
        for (const std::wstring& name : c.existingFiles)
            EXPECT_EQ(test::ReadWholeFile(sandbox.destinationFile(name)),
                      (std::vector<std::uint8_t>{'o', 'l', 'd'}));
        for (const std::wstring& name : c.existingDirectories)
            EXPECT_NE(GetFileAttributesW(sandbox.destinationFile(name).c_str()) & FILE_ATTRIBUTE_DIRECTORY,
                      0u);
        EXPECT_TRUE(sandbox.journals().empty());
        EXPECT_TRUE(sandbox.temporaryFiles().empty());
    }
}

TEST(PublishOutput, TakenNameWithoutPickingIsAConflict) {
    test::StorageSandbox sandbox;
    const std::wstring output = sandbox.destinationFile(L"Game.nsp");
    test::WriteWholeFile(output, {'o', 'l', 'd'});
    std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output);
    try {
        PublishOutput(pending, output, false, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::NameConflict);
        EXPECT_TRUE(e.windowsError == 183 || e.windowsError == 80) << e.windowsError;
        EXPECT_EQ(std::string(e.what()),
                  "Output name is already in use (Windows " + std::to_string(e.windowsError) + ")");
    }
    EXPECT_EQ(sandbox.temporaryFiles().size(), 1u);
    pending.reset();
    EXPECT_EQ(test::ReadWholeFile(output), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(test::ListNames(sandbox.destination(), L"*"), std::vector<std::wstring>{L"Game.nsp"});
    EXPECT_TRUE(sandbox.journals().empty());
}

// Rename answers for the seam: every rename refused as "exists", or access denied where a name is taken,
// or a sharing violation for the first `lockedRenames` calls.
enum class RenameMode { Real, AlwaysExists, DeniedWhenTaken, DeniedAlways, OtherError, Locked };
RenameMode renameMode = RenameMode::Real;
int renameCalls = 0;
int lockedRenames = 0;
std::vector<std::wstring> renameTargets;
CancelFlag* cancelOnRenameFailure = nullptr;

BOOL WINAPI ScriptedSetFileInformation(HANDLE file, FILE_INFO_BY_HANDLE_CLASS type, LPVOID data, DWORD size) {
    if (type != FileRenameInfo || renameMode == RenameMode::Real)
        return SetFileInformationByHandle(file, type, data, size);
    ++renameCalls;
    const auto* rename = static_cast<const FILE_RENAME_INFO*>(data);
    const std::wstring target(rename->FileName, rename->FileNameLength / sizeof(wchar_t));
    if (renameTargets.size() < 3 || renameCalls == 10000)
        renameTargets.push_back(target);
    DWORD error = 0;
    switch (renameMode) {
    case RenameMode::AlwaysExists:
        error = ERROR_ALREADY_EXISTS;
        break;
    case RenameMode::DeniedWhenTaken:
        if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES)
            error = ERROR_ACCESS_DENIED;
        break;
    case RenameMode::DeniedAlways:
        error = ERROR_ACCESS_DENIED;
        break;
    case RenameMode::OtherError:
        error = ERROR_INVALID_PARAMETER;
        break;
    case RenameMode::Locked:
        if (renameCalls <= lockedRenames)
            error = ERROR_SHARING_VIOLATION;
        break;
    case RenameMode::Real:
        break;
    }
    if (error == 0)
        return SetFileInformationByHandle(file, type, data, size);
    if (cancelOnRenameFailure != nullptr)
        cancelOnRenameFailure->store(1);
    SetLastError(error);
    return FALSE;
}

class PublishWithScriptedRename : public ::testing::Test {
  protected:
    PublishWithScriptedRename() {
        renameMode = RenameMode::Real;
        renameCalls = 0;
        lockedRenames = 1000;
        renameTargets.clear();
        cancelOnRenameFailure = nullptr;
        sandbox.calls.setFileInformationByHandle = &ScriptedSetFileInformation;
        sandbox.apply();
    }
    ~PublishWithScriptedRename() override { cancelOnRenameFailure = nullptr; }

    std::wstring output() const { return sandbox.destinationFile(L"Game.nsp"); }
    // A written reservation, the output name taken first if asked, and renames answered by `mode`.
    std::unique_ptr<PendingOutput> reserve(RenameMode mode, bool nameTaken) const {
        renameMode = RenameMode::Real;
        renameCalls = 0;
        if (nameTaken)
            test::WriteWholeFile(output(), {'o', 'l', 'd'});
        std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output());
        renameMode = mode;
        return pending;
    }
    std::wstring target(const std::wstring& name) const {
        return ToLongPath(sandbox.destination()) + L"\\" + name;
    }

    test::StorageSandbox sandbox;
};

TEST_F(PublishWithScriptedRename, AllTenThousandCandidatesTaken) {
    std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output());
    renameMode = RenameMode::AlwaysExists;
    test::ExpectConversionError([&] { PublishOutput(pending, output(), true, nullptr); },
                                {K::NameConflict, "No unused output name was found (Windows 80)", 80});
    EXPECT_EQ(renameCalls, 10000);
    ASSERT_EQ(renameTargets.size(), 4u);
    EXPECT_EQ(renameTargets[0], target(L"Game.nsp"));
    EXPECT_EQ(renameTargets[1], target(L"Game (1).nsp"));
    EXPECT_EQ(renameTargets[2], target(L"Game (2).nsp"));
    EXPECT_EQ(renameTargets[3], target(L"Game (9999).nsp"));
    pending.reset();
    EXPECT_TRUE(test::ListNames(sandbox.destination(), L"*").empty());
    EXPECT_TRUE(sandbox.journals().empty());
}

TEST_F(PublishWithScriptedRename, AccessDeniedOnAVisibleNameCountsAsTaken) {
    test::WriteWholeFile(output(), {'o', 'l', 'd'});
    std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output());
    renameMode = RenameMode::DeniedWhenTaken;
    EXPECT_EQ(PublishOutput(pending, output(), true, nullptr), sandbox.destinationFile(L"Game (1).nsp"));
    EXPECT_EQ(renameCalls, 2);
    EXPECT_EQ(test::ReadWholeFile(output()), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

TEST_F(PublishWithScriptedRename, RenameFailures) {
    struct Case {
        const char* name;
        RenameMode mode;
        bool nameTaken;
        bool pickUnusedName;
        test::ExpectedError expected;
        int renames; // a lock is tried five times
    };
    const Case cases[] = {
        {"denied on a taken name, no picking",
         RenameMode::DeniedWhenTaken,
         true,
         false,
         {K::AccessDenied, "Output name is already in use (Windows 5)", 5},
         1},
        {"denied with nothing there",
         RenameMode::DeniedAlways,
         false,
         true,
         {K::AccessDenied, "Cannot publish completed output (Windows 5)", 5},
         5},
        {"another error",
         RenameMode::OtherError,
         false,
         true,
         {K::WriteFailed, "Cannot publish completed output (Windows 87)", 87},
         1},
        {"sharing violation that stays",
         RenameMode::Locked,
         false,
         true,
         {K::WriteFailed, "Cannot publish completed output (Windows 32)", 32},
         5},
        {"exists, no picking",
         RenameMode::AlwaysExists,
         false,
         false,
         {K::NameConflict, "Output name is already in use (Windows 183)", 183},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<PendingOutput> pending = reserve(c.mode, c.nameTaken);
        test::ExpectConversionError([&] { PublishOutput(pending, output(), c.pickUnusedName, nullptr); },
                                    c.expected);
        EXPECT_EQ(renameCalls, c.renames);
        renameMode = RenameMode::Real;
        pending.reset();
        EXPECT_TRUE(sandbox.temporaryFiles().empty());
        EXPECT_TRUE(sandbox.journals().empty());
        EXPECT_EQ(Exists(output()), c.nameTaken);
        DeleteFileW(output().c_str());
    }
}

TEST_F(PublishWithScriptedRename, LockGoneBeforeTheLastTryIsPublished) {
    std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output());
    renameMode = RenameMode::Locked;
    lockedRenames = 4;
    EXPECT_EQ(PublishOutput(pending, output(), false, nullptr), output());
    EXPECT_EQ(renameCalls, 5);
    EXPECT_EQ(test::ReadWholeFile(output()), kContent);
}

TEST_F(PublishWithScriptedRename, CancelledAfterAFailedRename) {
    struct Case {
        const char* what;
        RenameMode mode;
        bool nameTaken;
    };
    const Case cases[] = {
        {"while waiting for a lock to go", RenameMode::Locked, false},
        {"before the next candidate", RenameMode::AlwaysExists, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<PendingOutput> pending = reserve(c.mode, c.nameTaken);
        CancelFlag flag{0};
        cancelOnRenameFailure = &flag;
        EXPECT_THROW(PublishOutput(pending, output(), true, &flag), Cancelled);
        cancelOnRenameFailure = nullptr;
        EXPECT_EQ(renameCalls, 1);
        pending.reset();
        EXPECT_EQ(test::ListNames(sandbox.destination(), L"*").size(), c.nameTaken ? 1u : 0u);
        EXPECT_TRUE(sandbox.journals().empty());
        DeleteFileW(output().c_str());
    }
}

TEST(PublishOutput, SecondCallIsRefused) {
    test::StorageSandbox sandbox;
    const std::wstring output = sandbox.destinationFile(L"Game.nsp");
    std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output);
    PublishOutput(pending, output, true, nullptr);
    test::ExpectConversionError([&] { PublishOutput(pending, output, true, nullptr); },
                                {K::WriteFailed, "Output was already committed (Windows 1)", 1});
    pending.reset();
    EXPECT_EQ(test::ReadWholeFile(output), kContent);
}

TEST(PublishOutput, EmptyOwnerIsRefused) {
    std::unique_ptr<PendingOutput> pending;
    test::ExpectConversionError([&] { PublishOutput(pending, L"C:\\Game.nsp", true, nullptr); },
                                {K::WriteFailed, "No output is reserved (Windows 1)", 1});
}

// Flush answers for the seam: the n-th flush (counted from 1) fails with the given error.
int flushCalls = 0;
int failingFlush = 0;
DWORD flushError = 0;
CancelFlag* cancelOnFlush = nullptr;
BOOL WINAPI CountingFlush(HANDLE file) {
    ++flushCalls;
    if (cancelOnFlush != nullptr)
        cancelOnFlush->store(1);
    if (flushCalls == failingFlush) {
        SetLastError(flushError);
        return FALSE;
    }
    return FlushFileBuffers(file);
}

class PublishWithCountedFlush : public ::testing::Test {
  protected:
    PublishWithCountedFlush() {
        flushCalls = 0;
        failingFlush = 0;
        flushError = 0;
        cancelOnFlush = nullptr;
        sandbox.calls.flushFileBuffers = &CountingFlush;
        sandbox.apply();
        pending = ReserveAndWrite(output());
        flushCalls = 0; // the journal's flush during the reservation does not count
    }
    ~PublishWithCountedFlush() override { cancelOnFlush = nullptr; }

    std::wstring output() const { return sandbox.destinationFile(L"Game.nsp"); }

    test::StorageSandbox sandbox;
    std::unique_ptr<PendingOutput> pending;
};

TEST_F(PublishWithCountedFlush, FirstFlushFailureKeepsTheOutputUnpublished) {
    failingFlush = 1;
    flushError = ERROR_IO_DEVICE;
    test::ExpectConversionError([&] { PublishOutput(pending, output(), true, nullptr); },
                                {K::WriteFailed, "Cannot flush completed output (Windows 1117)", 1117});
    pending.reset();
    EXPECT_FALSE(Exists(output()));
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
    EXPECT_TRUE(sandbox.journals().empty());
}

TEST_F(PublishWithCountedFlush, CancelledDuringTheFirstFlush) {
    CancelFlag flag{0};
    cancelOnFlush = &flag;
    EXPECT_THROW(PublishOutput(pending, output(), true, &flag), Cancelled);
    EXPECT_EQ(flushCalls, 1);
    pending.reset();
    EXPECT_FALSE(Exists(output()));
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
    EXPECT_TRUE(sandbox.journals().empty());
}

TEST_F(PublishWithCountedFlush, CancelledAtEntry) {
    CancelFlag flag{1};
    EXPECT_THROW(PublishOutput(pending, output(), true, &flag), Cancelled);
    EXPECT_EQ(flushCalls, 0);
}

TEST_F(PublishWithCountedFlush, FlushFailureAfterTheRenameIsReportedNotThrown) {
    const std::pair<DWORD, std::uint32_t> cases[] = {{ERROR_IO_DEVICE, 1117}, {0, 29}};
    for (const auto& [error, reported] : cases) {
        SCOPED_TRACE(reported);
        if (!pending)
            pending = ReserveAndWrite(output());
        flushCalls = 0;
        failingFlush = 2;
        flushError = error;
        EXPECT_EQ(PublishOutput(pending, output(), false, nullptr), output());
        EXPECT_EQ(pending->publishFlushError(), reported);
        // The journal stays as a trace for the next start, which clears it: its temporary path is gone.
        pending.reset();
        EXPECT_EQ(test::ReadWholeFile(output()), kContent);
        EXPECT_EQ(sandbox.journals().size(), 1u);
        RecoverInterruptedOutputs();
        EXPECT_TRUE(sandbox.journals().empty());
        EXPECT_EQ(test::ReadWholeFile(output()), kContent);
        ASSERT_TRUE(DeleteFileW(output().c_str()));
    }
}

// The destination's final path as the seam reports it after the reservation.
enum class FinalPathMode { Real, OtherCase, OtherDirectory };
FinalPathMode finalPathMode = FinalPathMode::Real;
DWORD WINAPI ScriptedFinalPath(HANDLE handle, LPWSTR buffer, DWORD size, DWORD flags) {
    std::vector<wchar_t> real(32768, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handle, real.data(), 32768, flags);
    if (length == 0 || length >= 32768)
        return 0;
    std::wstring path(real.data(), length);
    if (finalPathMode == FinalPathMode::OtherCase)
        std::transform(path.begin(), path.end(), path.begin(), [](wchar_t c) { return std::towupper(c); });
    if (finalPathMode == FinalPathMode::OtherDirectory)
        path += L"-elsewhere";
    if (path.size() >= size)
        return static_cast<DWORD>(path.size() + 1);
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = L'\0';
    return static_cast<DWORD>(path.size());
}

TEST(PublishOutput, DirectoryIdentityByFinalPath) {
    struct Case {
        FinalPathMode mode;
        bool publishes;
    };
    for (const Case c : {Case{FinalPathMode::OtherCase, true}, Case{FinalPathMode::OtherDirectory, false}}) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        test::StorageSandbox sandbox;
        finalPathMode = FinalPathMode::Real;
        sandbox.calls.getFinalPathNameByHandle = &ScriptedFinalPath;
        sandbox.apply();
        const std::wstring output = sandbox.destinationFile(L"Game.nsp");
        std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output);
        finalPathMode = c.mode;
        if (c.publishes) {
            EXPECT_EQ(PublishOutput(pending, output, true, nullptr), output);
        } else {
            test::ExpectConversionError(
                [&] { PublishOutput(pending, output, true, nullptr); },
                {K::WriteFailed, "Output directory changed during conversion (Windows 17)", 17});
        }
        finalPathMode = FinalPathMode::Real;
        pending.reset();
        EXPECT_EQ(Exists(output), c.publishes);
        EXPECT_TRUE(sandbox.temporaryFiles().empty());
        EXPECT_TRUE(sandbox.journals().empty());
    }
}

TEST(PublishOutput, VanishedDirectoryOrBadPath) {
    test::StorageSandbox sandbox;
    const std::wstring output = sandbox.destinationFile(L"Game.nsp");
    std::unique_ptr<PendingOutput> pending = ReserveAndWrite(output);
    test::ExpectConversionError([&] { PublishOutput(pending, L"", true, nullptr); },
                                {K::PathProblem, "Invalid storage path (Windows 123)", 123});
    test::ExpectConversionError(
        [&] { PublishOutput(pending, sandbox.destinationFile(L"gone\\Game.nsp"), true, nullptr); },
        {K::WriteFailed, "Cannot open storage directory (Windows 2)", 2});
    // A path without a file name has nothing to publish under.
    test::ExpectConversionError([&] { PublishOutput(pending, sandbox.destination() + L"\\", true, nullptr); },
                                {K::PathProblem, "Invalid storage path (Windows 123)", 123});
    EXPECT_EQ(test::ListNames(sandbox.destination(), L"*").size(), 1u);
    // Still publishable after the failures.
    EXPECT_EQ(PublishOutput(pending, output, true, nullptr), output);
}

} // namespace
} // namespace vesko
