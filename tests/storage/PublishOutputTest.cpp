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
using Bytes = std::vector<std::uint8_t>;

const Bytes kContent = {'N', 'S', 'P', '!', 0, 1, 2, 3};
const Bytes kOld = {'o', 'l', 'd'};

// Discards the reservation; nothing of it may stay behind.
void ExpectCleanedUp(std::unique_ptr<PendingOutput>& pending, const test::StorageSandbox& sandbox) {
    pending.reset();
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
    EXPECT_TRUE(sandbox.journals().empty());
}

// Rename answers for the seam: every rename refused as "exists", access denied where a name is taken or
// always, another error, or a sharing violation for the first `lockedRenames` calls.
enum class RenameMode { Real, AlwaysExists, DeniedWhenTaken, DeniedAlways, OtherError, Locked };
RenameMode renameMode = RenameMode::Real;
int renameCalls = 0, lockedRenames = 0;
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
    SetLastError(error);
    return FALSE;
}

// Renames as the seam reports them; the real answers until a test asks otherwise.
class PublishOutputTest : public ::testing::Test {
  protected:
    PublishOutputTest() {
        renameMode = RenameMode::Real;
        renameTargets.clear();
        cancelOnRenameFailure = nullptr;
        sandbox.calls.setFileInformationByHandle = &ScriptedSetFileInformation;
        sandbox.apply();
    }
    ~PublishOutputTest() override { cancelOnRenameFailure = nullptr; }

    std::wstring output() const { return sandbox.destinationFile(L"Game.nsp"); }
    // A written reservation, the output name taken first if asked, and renames answered by `mode`. The
    // journal's flush during the reservation is not counted.
    std::unique_ptr<PendingOutput> reserve(RenameMode mode = RenameMode::Real, bool nameTaken = false,
                                           int locked = 1000) {
        renameMode = RenameMode::Real;
        renameCalls = test::seam.failingFlush = 0;
        lockedRenames = locked;
        if (nameTaken)
            test::WriteWholeFile(output(), kOld);
        std::unique_ptr<PendingOutput> pending = test::ReserveAndWrite(output(), kContent);
        renameMode = mode;
        test::seam.flushCalls = 0;
        return pending;
    }
    std::wstring target(const std::wstring& name) const {
        return ToLongPath(sandbox.destination()) + L"\\" + name;
    }

    test::StorageSandbox sandbox;
};

TEST_F(PublishOutputTest, AllTenThousandCandidatesTaken) {
    std::unique_ptr<PendingOutput> pending = reserve(RenameMode::AlwaysExists, false);
    test::ExpectConversionError([&] { PublishOutput(pending, output(), true, nullptr); },
                                {K::NameConflict, "No unused output name was found (Windows 80)", 80});
    EXPECT_EQ(renameCalls, 10000);
    EXPECT_EQ(renameTargets,
              (std::vector<std::wstring>{target(L"Game.nsp"), target(L"Game (1).nsp"),
                                         target(L"Game (2).nsp"), target(L"Game (9999).nsp")}));
    ExpectCleanedUp(pending, sandbox);
    EXPECT_TRUE(test::ListNames(sandbox.destination()).empty());
}

// Access denied on a visible name counts as taken; a lock gone before the fifth try is no failure.
TEST_F(PublishOutputTest, TakenOrLockedNamesThatStillPublish) {
    std::unique_ptr<PendingOutput> pending = reserve(RenameMode::DeniedWhenTaken, true);
    EXPECT_EQ(PublishOutput(pending, output(), true, nullptr), sandbox.destinationFile(L"Game (1).nsp"));
    EXPECT_EQ(renameCalls, 2);
    EXPECT_EQ(test::ReadWholeFile(output()), kOld);
    ASSERT_TRUE(DeleteFileW(output().c_str()));
    pending = reserve(RenameMode::Locked, false, 4);
    EXPECT_EQ(PublishOutput(pending, output(), false, nullptr), output());
    EXPECT_EQ(renameCalls, 5);
    EXPECT_EQ(test::ReadWholeFile(output()), kContent);
}

TEST_F(PublishOutputTest, RenameFailures) {
    const char* inUse = "Output name is already in use";
    const char* cannot = "Cannot publish completed output";
    // clang-format off
    const struct {
        RenameMode mode;
        bool nameTaken, pickUnusedName;
        K kind;
        const char* message;
        std::uint32_t code;
        int renames; // a lock is tried five times
    } cases[] = {
        {RenameMode::DeniedWhenTaken, true, false, K::AccessDenied, inUse, 5, 1},
        {RenameMode::DeniedAlways, false, true, K::AccessDenied, cannot, 5, 5},
        {RenameMode::OtherError, false, true, K::WriteFailed, cannot, 87, 1},
        {RenameMode::Locked, false, true, K::WriteFailed, cannot, 32, 5},
        {RenameMode::AlwaysExists, false, false, K::NameConflict, inUse, 183, 1}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        std::unique_ptr<PendingOutput> pending = reserve(c.mode, c.nameTaken);
        test::ExpectConversionError(
            [&] { PublishOutput(pending, output(), c.pickUnusedName, nullptr); },
            {c.kind, std::string(c.message) + " (Windows " + std::to_string(c.code) + ")", c.code});
        EXPECT_EQ(renameCalls, c.renames);
        renameMode = RenameMode::Real;
        ExpectCleanedUp(pending, sandbox);
        EXPECT_EQ(Exists(output()), c.nameTaken);
        DeleteFileW(output().c_str());
    }
}

// While waiting for a lock to go, and before the next candidate.
TEST_F(PublishOutputTest, CancelledAfterAFailedRename) {
    const std::pair<RenameMode, bool> cases[] = {{RenameMode::Locked, false},
                                                 {RenameMode::AlwaysExists, true}};
    for (const auto& [mode, nameTaken] : cases) {
        SCOPED_TRACE(nameTaken);
        std::unique_ptr<PendingOutput> pending = reserve(mode, nameTaken);
        CancelFlag flag{0};
        cancelOnRenameFailure = &flag;
        EXPECT_THROW(PublishOutput(pending, output(), true, &flag), Cancelled);
        cancelOnRenameFailure = nullptr;
        EXPECT_EQ(renameCalls, 1);
        ExpectCleanedUp(pending, sandbox);
        EXPECT_EQ(test::ListNames(sandbox.destination()).size(), nameTaken ? 1u : 0u);
        DeleteFileW(output().c_str());
    }
}

TEST_F(PublishOutputTest, FailedOrCancelledFirstFlushKeepsTheOutputUnpublished) {
    using test::seam;
    std::unique_ptr<PendingOutput> pending = reserve();
    CancelFlag entry{1};
    EXPECT_THROW(PublishOutput(pending, output(), true, &entry), Cancelled);
    EXPECT_EQ(seam.flushCalls, 0);
    seam.failingFlush = 1;
    seam.flushError = ERROR_IO_DEVICE;
    test::ExpectConversionError([&] { PublishOutput(pending, output(), true, nullptr); },
                                {K::WriteFailed, "Cannot flush completed output (Windows 1117)", 1117});
    ExpectCleanedUp(pending, sandbox);
    seam.failingFlush = 0;
    pending = reserve();
    CancelFlag flag{0};
    seam.cancelOnFlush = &flag;
    EXPECT_THROW(PublishOutput(pending, output(), true, &flag), Cancelled);
    seam.cancelOnFlush = nullptr;
    EXPECT_EQ(seam.flushCalls, 1);
    ExpectCleanedUp(pending, sandbox);
    EXPECT_FALSE(Exists(output()));
}

TEST_F(PublishOutputTest, FlushFailureAfterTheRenameIsReportedNotThrown) {
    const std::pair<DWORD, std::uint32_t> cases[] = {{ERROR_IO_DEVICE, 1117}, {0, 29}};
    for (const auto& [error, reported] : cases) {
        SCOPED_TRACE(reported);
        std::unique_ptr<PendingOutput> pending = reserve();
        test::seam.failingFlush = 2;
        test::seam.flushError = error;
        EXPECT_EQ(PublishOutput(pending, output(), false, nullptr), output());
        EXPECT_EQ(pending->publishFlushError(), reported);
        // The journal stays as a trace for the next start, which clears it: its temporary path is gone.
        pending.reset();
        EXPECT_EQ(sandbox.journals().size(), 1u);
        RecoverInterruptedOutputs();
        EXPECT_TRUE(sandbox.journals().empty());
        EXPECT_EQ(test::ReadWholeFile(output()), kContent);
        ASSERT_TRUE(DeleteFileW(output().c_str()));
    }
}

// The destination's final path as the seam reports it after the reservation: in other letter case, or
// another directory.
TEST_F(PublishOutputTest, DirectoryIdentityByFinalPath) {
    for (const bool publishes : {true, false}) {
        SCOPED_TRACE(publishes);
        std::unique_ptr<PendingOutput> pending = reserve();
        std::wstring final = ToLongPath(sandbox.destination());
        std::transform(final.begin(), final.end(), final.begin(), [](wchar_t c) { return std::towupper(c); });
        test::seam.finalPath = publishes ? final : ToLongPath(sandbox.destination()) + L"-elsewhere";
        if (publishes)
            EXPECT_EQ(PublishOutput(pending, output(), true, nullptr), output());
        else
            test::ExpectConversionError(
                [&] { PublishOutput(pending, output(), true, nullptr); },
                {K::WriteFailed, "Output directory changed during conversion (Windows 17)", 17});
        test::seam.finalPath.reset();
        ExpectCleanedUp(pending, sandbox);
        EXPECT_EQ(DeleteFileW(output().c_str()) != FALSE, publishes);
    }
}

} // namespace
} // namespace vesko
