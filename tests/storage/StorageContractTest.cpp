// The storage contract that both systems keep, on real files: a reservation of two files, publishing
// under the first free name without replacing anything, path failures, and the space check.
#include "engine/Paths.h"
#include "storage/OutputSpace.h"
#include "storage/PublishOutput.h"
#include "tests/storage/StorageTestSupport.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vesko {
namespace {

namespace fs = std::filesystem;
using K = ConversionError::Kind;
using test::Bytes;
using test::Exists;

const Bytes kContent = {'N', 'S', 'P', '!', 0, 1, 2, 3};
const Bytes kOld = {'o', 'l', 'd'};

class StorageContract : public ::testing::Test {
  protected:
    std::wstring output() const { return sandbox.destinationFile(L"Game.nsp"); }

    test::StorageSandbox sandbox;
};

TEST_F(StorageContract, ReservesATemporaryFileAndItsJournal) {
    std::unique_ptr<PendingOutput> pending = test::ReserveAndWrite(output(), {});
    const std::vector<std::wstring> temporary = sandbox.temporaryFiles();
    ASSERT_EQ(temporary.size(), 1u);
    ASSERT_EQ(temporary[0].size(), 43u);
    const std::wstring record = temporary[0].substr(7, 32);
    EXPECT_EQ(temporary[0].substr(0, 7) + temporary[0].substr(39), L".vesko-.tmp");
    EXPECT_EQ(record.find_first_not_of(L"0123456789abcdef"), std::wstring::npos);
    EXPECT_EQ(sandbox.journals(), std::vector<std::wstring>{record + L".journal"});
    EXPECT_FALSE(Exists(output()));
    EXPECT_EQ(pending->publishFlushError(), 0u);
#ifndef _WIN32
    struct stat journal {};
    ASSERT_EQ(::stat(ToUtf8(sandbox.journalPath(record)).c_str(), &journal), 0);
    EXPECT_EQ(journal.st_mode & 0777, 0600u); // the user's own
#endif
    // Discarding removes both files; the recovery levels stay for the next reservation.
    pending.reset();
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
    EXPECT_TRUE(sandbox.journals().empty());
    EXPECT_TRUE(Exists(sandbox.recoveryPath()));
}

TEST_F(StorageContract, TakenNamesDrawAnotherRecordNameUpTo32Times) {
    // Every draw gives 0xab bytes, whose journal name is taken.
    test::randomScript.chunks.assign(16, 0xAB);
    sandbox.makeRecoveryDirectory();
    const std::wstring taken = sandbox.journalPath(L"abababababababababababababababab");
    test::WriteWholeFile(taken, {7, 7});
    std::unique_ptr<PendingOutput> pending;
    test::ExpectConversionError(
        [&] { CreatePendingOutput(pending, output(), nullptr); },
        {K::RecoveryRecords, "Cannot choose a recovery record name (Windows 80)", 80});
    EXPECT_EQ(test::randomScript.draws, 32);
    pending.reset();
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
    EXPECT_EQ(test::ReadWholeFile(taken), (Bytes{7, 7}));
    test::RemoveFile(taken);
    // First draw: 0x11 bytes, whose temporary name is taken; second draw: 0x22 bytes.
    test::randomScript = {Bytes(16, 0x11), 0, false};
    test::randomScript.chunks.insert(test::randomScript.chunks.end(), 16, 0x22);
    const std::wstring first = L".vesko-" + std::wstring(32, L'1') + L".tmp", second(32, L'2');
    test::WriteWholeFile(sandbox.destinationFile(first), {9});
    pending = test::ReserveAndWrite(output(), {});
    EXPECT_EQ(test::randomScript.draws, 2);
    EXPECT_EQ(sandbox.journals(), std::vector<std::wstring>{second + L".journal"});
    EXPECT_TRUE(Exists(sandbox.destinationFile(L".vesko-" + second + L".tmp")));
    pending.reset();
    EXPECT_EQ(test::ReadWholeFile(sandbox.destinationFile(first)), Bytes{9});
    EXPECT_EQ(sandbox.temporaryFiles(), std::vector<std::wstring>{first});
    EXPECT_TRUE(sandbox.journals().empty());
    test::randomScript.fail = true;
#ifdef _WIN32
    const char* failed = "Windows random generator failed";
#else
    const char* failed = "Random generator failed";
#endif
    test::ExpectConversionError([&] { CreatePendingOutput(pending, output(), nullptr); },
                                {K::SystemCrypto, failed});
}

// The first free candidate is taken, nothing there is replaced, and the path comes back in the user's form;
// without picking, a taken name is a conflict.
TEST(PublishOutput, PublishesUnderTheFirstFreeNameWithoutReplacing) {
    // clang-format off
    // What takes the names: 'f' files, 'd' a directory, 'l' a dangling link (never followed).
    const struct { char kind; std::vector<std::wstring> taken; std::wstring expected; } cases[] = {
        {'f', {}, L"Game.nsp"}, {'f', {L"Game.nsp"}, L"Game (1).nsp"},
        {'f', {L"Game.nsp", L"Game (1).nsp"}, L"Game (2).nsp"}, {'f', {L"Game.nsp", L"Game (2).nsp"}, L"Game (1).nsp"},
        {'f', {L"GAME.NSP"}, test::kCaseBlindNames ? L"Game (1).nsp" : L"Game.nsp"}, {'d', {L"Game.nsp"}, L"Game (1).nsp"},
#ifndef _WIN32
        {'l', {L"Game.nsp"}, L"Game (1).nsp"},
#endif
        {'f', {L"Game.nsp"}, L""}}; // empty: without picking an unused name
    // clang-format on
    for (int route = 0; route < test::kPublishRoutes; ++route) {
        bool slashed = false;
        for (const auto& c : cases) {
            SCOPED_TRACE("route " + std::to_string(route) + " row " + std::to_string(&c - cases));
            test::StorageSandbox sandbox;
            test::UsePublishRoute(sandbox, route);
            for (const std::wstring& name : c.taken)
                c.kind == 'f'   ? test::WriteWholeFile(sandbox.destinationFile(name), kOld)
                : c.kind == 'd' ? test::MakeDirectory(sandbox.destinationFile(name))
                                : fs::create_symlink("elsewhere", fs::path(sandbox.destinationFile(name)));
            // Every other row names the output with forward slashes and a detour.
            std::wstring output = sandbox.destination() +
                                  (slashed ? L"/sub/../" : std::wstring(1, test::kSeparator)) + L"Game.nsp";
            if (slashed)
                std::replace(output.begin(), output.end(), L'\\', L'/');
            slashed = !slashed;
            std::unique_ptr<PendingOutput> pending = test::ReserveAndWrite(output, kContent);
            if (c.expected.empty()) {
                // Wine's rename answers 183; the POSIX code and some Windows volumes answer 80.
                try {
                    PublishOutput(pending, output, false, nullptr);
                    ADD_FAILURE() << "no exception";
                } catch (const ConversionError& e) {
                    EXPECT_EQ(e.kind, K::NameConflict);
                    EXPECT_TRUE(e.windowsError == 80 || (test::kCaseBlindNames && e.windowsError == 183));
                    EXPECT_EQ(std::string(e.what()), "Output name is already in use (Windows " +
                                                         std::to_string(e.windowsError) + ")");
                }
                EXPECT_EQ(sandbox.temporaryFiles().size(), 1u);
            } else {
                EXPECT_EQ(PublishOutput(pending, output, true, nullptr), sandbox.destinationFile(c.expected));
                EXPECT_EQ(pending->publishFlushError(), 0u);
                EXPECT_EQ(pending->outputHandle(), decltype(pending->outputHandle())(std::intptr_t{-1}));
                // The journal goes at once; the temporary name is gone with the rename.
                EXPECT_TRUE(sandbox.journals().empty());
                EXPECT_EQ(test::ReadWholeFile(sandbox.destinationFile(c.expected)), kContent);
#ifndef _WIN32
                struct stat published {};
                ASSERT_EQ(::stat(ToUtf8(sandbox.destinationFile(c.expected)).c_str(), &published), 0);
                const mode_t mask = ::umask(0);
                ::umask(mask);
                EXPECT_EQ(published.st_mode & 0777, 0666 & ~mask); // as any new file of the user
#endif
            }
            pending.reset();
            EXPECT_TRUE(sandbox.temporaryFiles().empty());
            EXPECT_TRUE(sandbox.journals().empty());
            for (const std::wstring& name : c.taken) {
                const fs::path path(sandbox.destinationFile(name));
                EXPECT_TRUE(c.kind == 'f'   ? test::ReadWholeFile(path.wstring()) == kOld
                            : c.kind == 'd' ? fs::is_directory(path)
                                            : fs::is_symlink(path));
            }
            EXPECT_FALSE(Exists(sandbox.destinationFile(L"elsewhere")));
        }
    }
}

// Neither a reservation nor a publication goes anywhere but to a named file in an existing directory, and
// a reservation is published once.
TEST_F(StorageContract, PathFailures) {
    const test::ExpectedError invalid{K::PathProblem, "Invalid storage path (Windows 123)", 123},
        missing{K::WriteFailed, "Cannot open storage directory (Windows 2)", 2};
    test::WriteWholeFile(sandbox.destinationFile(L"file"), {1});
    const std::wstring belowFile = sandbox.destinationFile(L"file") + test::kSeparator + L"Game.nsp";
#ifdef _WIN32
    // The directory prefix keeps its backslash, and a file named with one is an invalid name.
    const test::ExpectedError notDirectory{K::WriteFailed, "Cannot open storage directory (Windows 123)",
                                           123};
#else
    const test::ExpectedError notDirectory{K::WriteFailed, "Unsafe storage directory (Windows 1920)", 1920};
#endif
    const std::pair<std::wstring, test::ExpectedError> reserving[] = {
        {L"", invalid},
        {sandbox.destinationFile(L"missing") + test::kSeparator + L"Game.nsp", missing},
        {belowFile, notDirectory}};
    for (const auto& c : reserving) {
        std::unique_ptr<PendingOutput> pending;
        test::ExpectConversionError([&] { CreatePendingOutput(pending, c.first, nullptr); }, c.second);
        EXPECT_TRUE(pending);
    }
    EXPECT_FALSE(Exists(sandbox.recoveryHome() + test::kSeparator + L"VESKO"));
    // A path without a file name has nothing to publish under; the reservation stays publishable.
    std::unique_ptr<PendingOutput> pending = test::ReserveAndWrite(output(), kContent);
    const std::pair<std::wstring, test::ExpectedError> publishing[] = {
        {L"", invalid},
        {sandbox.destinationFile(L"gone") + test::kSeparator + L"Game.nsp", missing},
        {sandbox.destination() + test::kSeparator, invalid}};
    for (const auto& c : publishing)
        test::ExpectConversionError([&] { PublishOutput(pending, c.first, true, nullptr); }, c.second);
    EXPECT_EQ(test::ListNames(sandbox.destination()).size(), 2u);
    EXPECT_EQ(PublishOutput(pending, output(), true, nullptr), output());
    // A second call, or one without a reservation, is refused.
    test::ExpectConversionError([&] { PublishOutput(pending, output(), true, nullptr); },
                                {K::WriteFailed, "Output was already committed (Windows 1)", 1});
    pending.reset();
    EXPECT_EQ(test::ReadWholeFile(output()), kContent);
    test::ExpectConversionError([&] { PublishOutput(pending, output(), true, nullptr); },
                                {K::WriteFailed, "No output is reserved (Windows 1)", 1});
}

// The limit is tested before the space; a query that fails skips its test.
TEST_F(StorageContract, SizeLimitThenFreeSpace) {
    const std::uint64_t big = 1ull << 40, fat = 4294967295ull, none = ~0ull;
    // clang-format off
    const struct { const wchar_t* fileSystem; bool limitWorks, spaceWorks; std::uint64_t free, required;
                   std::uint32_t code; } cases[] = { // code 0: fits
        {L"FAT32", 1, 1, big, fat, 0},      {L"FAT32", 1, 1, big, fat + 1, 223}, {L"NTFS", 1, 1, big, fat + 1, 0},
        {L"NTFS", 1, 1, none, none, 0},     {L"NTFS", 1, 1, 5000, 5000, 0},      {L"NTFS", 1, 1, 5000, 5001, 112},
        {L"FAT32", 1, 1, 10, fat + 1, 223}, {L"FAT32", 1, 1, 10, 11, 112},       {L"FAT32", 0, 1, big, fat + 1, 0},
        {L"NTFS", 1, 0, 0, big, 0},         {L"FAT32", 0, 1, 10, 11, 112}};
    // clang-format on
    sandbox.fakeVolume();
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.fileSystem) + " " + std::to_string(c.limitWorks) +
                     std::to_string(c.spaceWorks) + " " + std::to_string(c.required));
        test::volume = {c.fileSystem, c.free, c.limitWorks, c.spaceWorks};
        if (c.code == 0)
            EXPECT_NO_THROW(CheckOutputSpace(output(), c.required, nullptr));
        else
            test::ExpectSpaceError(output(), c.required, c.code, c.free);
    }
    CancelFlag set{1};
    EXPECT_THROW(CheckOutputSpace(L"", 1, &set), Cancelled);
    test::ExpectConversionError([] { CheckOutputSpace(L"", 1, nullptr); },
                                {K::PathProblem, "Invalid storage path (Windows 123)", 123});
    // The real volume: a small output fits, an impossible one reports the real free bytes.
    const ScopedStorageSystemOverride real(RealStorageSystemCalls());
    EXPECT_NO_THROW(CheckOutputSpace(output(), 1, nullptr));
    test::ExpectSpaceError(output(), none, 112, 0);
}

} // namespace
} // namespace vesko
