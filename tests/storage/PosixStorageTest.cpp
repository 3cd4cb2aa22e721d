// The POSIX storage rules on real files: names never replaced, links refused, space and size limits,
// the source kept when it changed, and a run killed with SIGKILL cleaned up by the next start.
#include "convert/ConvertNszToNsp.h"
#include "convert/SourceDeletion.h"
#include "engine/InputFile.h"
#include "engine/OutputFile.h"
#include "engine/Paths.h"
#include "storage/OutputSpace.h"
#include "storage/PublishOutput.h"
#include "storage/Recovery.h"
#include "storage/StorageSystem_posix.h"
#include "tests/support/ExpectError.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vesko {
namespace {

namespace fs = std::filesystem;
using K = ConversionError::Kind;
using test::ExpectConversionError;

std::vector<std::string> Names(const std::wstring& directory) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fs::path(directory), ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A small tmpfs over a test directory, unmounted on every way out; empty where it cannot be mounted
// (mounting needs root, as in CI).
std::shared_ptr<const std::string> MountTmpfs(const std::wstring& over, const char* options,
                                              unsigned long flags = 0) {
    if (::mount("tmpfs", ToUtf8(over).c_str(), "tmpfs", flags, options) != 0)
        return nullptr;
    return {new std::string(ToUtf8(over)),
            [](const std::string* dir) { ::umount2(dir->c_str(), MNT_DETACH), delete dir; }};
}

// Answers of the file system that a test machine cannot give, for the seam.
std::uint64_t fakeAvailable = 0;
unsigned long fakeType = 0;
int FakeStatvfs(const char*, struct statvfs* info) {
    *info = {};
    info->f_bavail = fakeAvailable;
    info->f_frsize = 1;
    return 0;
}

class PosixStorage : public ::testing::Test {
  protected:
    // Journals go to a scratch state home, never to the user's.
    void SetUp() override { ::setenv("XDG_STATE_HOME", ToUtf8(state.path()).c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_STATE_HOME"); }
    std::wstring recoveryPath() const { return state.path() + L"/VESKO/ZARUvivuriza/Recovery"; }

    void expectNothingLeft(const std::wstring& directory) const {
        for (const std::string& name : Names(directory))
            EXPECT_NE(name.rfind(".vesko-", 0), 0u) << name;
        EXPECT_TRUE(Names(recoveryPath()).empty());
    }

    test::TempDir destination;
    test::TempDir state;
};

TEST_F(PosixStorage, PublishingNeverReplacesAnExistingName) {
    struct Case {
        std::vector<std::string> existing;
        bool links;
        std::string published; // empty: NameConflict, without picking an unused name
    };
    const Case cases[] = {
        {{}, false, "Game.nsp"},
        {{"Game.nsp", "Game (1).nsp"}, false, "Game (2).nsp"},
        {{"Game.nsp"}, true, "Game (1).nsp"}, // a dangling link is a taken name, never followed
        {{"Game.nsp"}, false, ""},
    };
    // renameat2, then file systems without RENAME_NOREPLACE, then without hard links either (FAT).
    for (const int route : {0, 1, 2}) {
        StorageSystemCalls calls = RealStorageSystemCalls();
        if (route > 0)
            calls.renameNoReplace = [](int, const char*, int, const char*) { return errno = EINVAL, -1; };
        if (route > 1)
            calls.linkAt = [](int, const char*, int, const char*, int) { return errno = EPERM, -1; };
        const ScopedStorageSystemOverride system(calls);
        for (const Case& c : cases) {
            SCOPED_TRACE("route " + std::to_string(route) + ", row " + std::to_string(&c - cases));
            test::TempDir dir;
            for (const std::string& name : c.existing) {
                if (c.links)
                    ASSERT_EQ(::symlink("elsewhere", ToUtf8(dir.file(FromUtf8(name))).c_str()), 0);
                else
                    std::ofstream(ToUtf8(dir.file(FromUtf8(name)))) << name;
            }
            std::unique_ptr<PendingOutput> pending;
            CreatePendingOutput(pending, dir.file(L"Game.nsp"), nullptr);
            ASSERT_EQ(::write(pending->outputHandle(), std::string(4096, 'n').data(), 4096), 4096);
            if (c.published.empty()) {
                ExpectConversionError([&] { PublishOutput(pending, dir.file(L"Game.nsp"), false, nullptr); },
                                      {K::NameConflict, "Output name is already in use (Windows 80)", 80});
            } else {
                EXPECT_EQ(PublishOutput(pending, dir.file(L"Game.nsp"), true, nullptr),
                          dir.file(FromUtf8(c.published)));
                struct stat published {};
                ASSERT_EQ(::stat(ToUtf8(dir.file(FromUtf8(c.published))).c_str(), &published), 0);
                EXPECT_EQ(published.st_size, 4096);
                const mode_t mask = ::umask(0);
                ::umask(mask);
                EXPECT_EQ(published.st_mode & 0777, 0666 & ~mask); // as any new file of the user
            }
            pending.reset();
            for (const std::string& name : c.existing) {
                const fs::path path(dir.file(FromUtf8(name)));
                std::string content;
                std::getline(std::ifstream(path), content);
                EXPECT_TRUE(c.links ? fs::is_symlink(path) : content == name) << name;
            }
            EXPECT_FALSE(fs::exists(fs::path(dir.path()) / "elsewhere"));
            expectNothingLeft(dir.path());
        }
    }
}

TEST_F(PosixStorage, LinksAndReadOnlyDestinationsAreRefused) {
    test::TempDir elsewhere;
    const std::string dest = ToUtf8(destination.path()), away = ToUtf8(elsewhere.path());
    const std::string planted = dest + "/" + ToUtf8(TemporaryFileName(std::wstring(32, L'0')));
    std::shared_ptr<const std::string> readOnly;
    // Root writes through permission bits: it gets a read-only mount instead.
    const bool root = ::geteuid() == 0;
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::wstring target;
        test::ExpectedError error;
    };
    const Case cases[] = {
        {"destination is a link",
         [&] { ::symlink(away.c_str(), (dest + "/link").c_str()); },
         destination.file(L"link/x.nsp"),
         {K::WriteFailed, "Unsafe storage directory (Windows 1920)", 1920}},
        {"read-only destination",
         [&] {
             if (root)
                 readOnly = MountTmpfs(destination.path(), "size=1m", MS_RDONLY);
             else
                 ::chmod(dest.c_str(), 0555);
         },
         destination.file(L"x.nsp"),
         root ? test::ExpectedError{K::AccessDenied, "Cannot create temporary output (Windows 19)", 19}
              : test::ExpectedError{K::AccessDenied, "Cannot create temporary output (Windows 5)", 5}},
        {"temporary name is a link",
         [&] { ::symlink((away + "/victim").c_str(), planted.c_str()); },
         destination.file(L"x.nsp"),
         {K::RecoveryRecords, "Cannot choose a recovery record name (Windows 80)", 80}},
        {"recovery level is a link",
         [&] {
             fs::create_directories(fs::path(state.path()));
             ::symlink(away.c_str(), (ToUtf8(state.path()) + "/VESKO").c_str());
         },
         destination.file(L"x.nsp"),
         {K::RecoveryRecords, "Unsafe storage directory (Windows 1920)", 1920}},
    };
    StorageSystemCalls calls = RealStorageSystemCalls();
    calls.fillRandom = [](std::uint8_t* data, std::size_t length) {
        return std::memset(data, 0, length), true;
    };
    const ScopedStorageSystemOverride fixedNames(calls);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        if (root && std::string(c.what) == "read-only destination" && !readOnly)
            GTEST_SKIP() << "cannot mount a read-only tmpfs here: " << std::strerror(errno);
        std::unique_ptr<PendingOutput> pending;
        ExpectConversionError([&] { CreatePendingOutput(pending, c.target, nullptr); }, c.error);
        readOnly.reset();
        ::chmod(dest.c_str(), 0755);
        EXPECT_TRUE(Names(elsewhere.path()).empty());
        EXPECT_TRUE(Names(recoveryPath()).empty());
        fs::remove_all(fs::path(state.path()) / "VESKO");
    }
    EXPECT_TRUE(fs::is_symlink(fs::path(planted)));
    fs::remove(fs::path(planted));
    expectNothingLeft(destination.path());
}

TEST_F(PosixStorage, SizeLimitOfFatThenFreeSpace) {
    StorageSystemCalls calls = RealStorageSystemCalls();
    calls.statFileSystem = [](const char*, struct statfs* info) {
        *info = {};
        info->f_type = static_cast<decltype(info->f_type)>(fakeType);
        return 0;
    };
    calls.statAvailableSpace = &FakeStatvfs;
    const ScopedStorageSystemOverride fake(calls);
    struct Case {
        unsigned long type;
        std::uint64_t available, required, code, reportedAvailable; // code 0: fits
    };
    const Case cases[] = {
        {0x4d44, ~0ull, 4294967295ull, 0, 0}, {0x4d44, ~0ull, 4294967296ull, 223, 0},
        {0x4d44, 1, 4294967296ull, 223, 0},   {0xEF53, 1ull << 40, 1ull << 36, 0, 0},
        {0xEF53, 5000, 5001, 112, 5000},      {0xEF53, 5000, 5000, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.required));
        fakeType = c.type;
        fakeAvailable = c.available;
        try {
            CheckOutputSpace(destination.file(L"x.nsp"), c.required, nullptr);
            EXPECT_EQ(c.code, 0u);
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.windowsError, c.code);
            EXPECT_EQ(e.kind, K::WriteFailed);
            EXPECT_EQ(e.requiredBytes, c.required);
            EXPECT_EQ(e.availableBytes, c.reportedAvailable);
        }
    }
}

TEST_F(PosixStorage, FullFileSystemFailsAndLeavesNothing) {
    const auto small = MountTmpfs(destination.path(), "size=4m");
    if (!small)
        GTEST_SKIP() << "cannot mount a 4 MiB tmpfs here (" << std::strerror(errno)
                     << "); run as root to test";
    test::TempDir sources;
    const std::wstring source = sources.file(L"big.nsz");
    testfiles::WriteWholeFile(
        source,
        testfiles::BuildPfs0({"big.bin"}, {testfiles::MakeContent(testfiles::Content::Random, 6 << 20, 7)}));
    // The check sees the space missing; with the check fooled, the write itself runs out of space.
    for (const bool fooled : {false, true}) {
        SCOPED_TRACE(fooled ? "write runs out" : "space check");
        StorageSystemCalls calls = RealStorageSystemCalls();
        if (fooled)
            calls.statAvailableSpace = &FakeStatvfs;
        fakeAvailable = 1ull << 40;
        const ScopedStorageSystemOverride override(calls);
        try {
            ConvertNszToNsp(source, destination.file(L"big.nsp"), {}, nullptr, true, false);
            ADD_FAILURE() << "converted onto a full file system";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.windowsError, 112u) << e.what();
            EXPECT_EQ(e.availableBytes != 0, !fooled);
        }
        EXPECT_TRUE(Names(destination.path()).empty());
        EXPECT_TRUE(Names(recoveryPath()).empty());
    }
}

TEST_F(PosixStorage, SourceIsDeletedOnlyWhenUnchanged) {
    const std::wstring path = destination.file(L"source.nsz");
    const std::string p = ToUtf8(path);
    const std::pair<std::function<void()>, std::uint32_t> cases[] = {
        {[] {}, 0},
        {[&] { std::ofstream(p, std::ios::app) << "x"; }, kErrorFileInvalid},
        {[&] { ::utimensat(AT_FDCWD, p.c_str(), nullptr, 0); }, kErrorFileInvalid},
        {[&] { std::ofstream(p + ".new") << "source", std::rename((p + ".new").c_str(), p.c_str()); },
         kErrorFileInvalid},
        {[&] { ::unlink(p.c_str()); }, 2},
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        SCOPED_TRACE("row " + std::to_string(row) + " of: unchanged, modified, touched, replaced, removed");
        const auto& [change, code] = cases[row];
        std::ofstream(p) << "source";
        FileIdentity identity;
        ASSERT_EQ(InputFile(path).queryIdentity(identity), 0u);
        std::this_thread::sleep_for(std::chrono::milliseconds(10)); // a later time stamp for "touched"
        change();
        EXPECT_EQ(DeleteSourceIfUnchanged(path, &identity, 0, 0, nullptr), code);
        EXPECT_EQ(fs::exists(fs::path(path)), code != 0 && code != 2);
    }
}

// Forks a process that reserves `path`, writes 1 MiB, reports on a pipe and waits to be killed.
pid_t ReservingChild(const std::wstring& path) {
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        std::unique_ptr<PendingOutput> pending;
        CreatePendingOutput(pending, path, nullptr);
        const std::vector<char> data(1 << 20, 'k');
        const char report = ::write(pending->outputHandle(), data.data(), data.size()) > 0 ? 'r' : 'f';
        ::write(ready[1], &report, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char report = 0;
    const bool ok = ::read(ready[0], &report, 1) == 1 && report == 'r';
    ::close(ready[0]);
    return ok ? child : -1;
}

void Kill(pid_t child) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

TEST_F(PosixStorage, KilledRunIsCleanedUpAndNothingElse) {
    const pid_t killed = ReservingChild(destination.file(L"killed.nsp"));
    ASSERT_GT(killed, 0);
    Kill(killed);
    const std::vector<std::string> leftTemporary = Names(destination.path()),
                                   leftJournal = Names(recoveryPath());
    ASSERT_EQ(leftTemporary.size(), 1u);
    ASSERT_EQ(leftJournal.size(), 1u);
    EXPECT_EQ(leftTemporary[0].substr(7, 32), leftJournal[0].substr(0, 32));

    const pid_t live = ReservingChild(destination.file(L"live.nsp"));
    ASSERT_GT(live, 0);
    // Not the program's: an orphan-looking temporary file without a journal, and a damaged journal.
    const std::string stranger = ".vesko-" + std::string(32, 'a') + ".tmp";
    const std::string damaged = std::string(32, 'b') + ".journal";
    std::ofstream(ToUtf8(destination.file(FromUtf8(stranger)))) << "keep";
    std::ofstream(ToUtf8(recoveryPath() + L"/" + FromUtf8(damaged))) << "keep";
    std::vector<std::string> expected = Names(destination.path()), expectedJournals = Names(recoveryPath());
    expected.erase(std::find(expected.begin(), expected.end(), leftTemporary[0]));
    expectedJournals.erase(std::find(expectedJournals.begin(), expectedJournals.end(), leftJournal[0]));
    RecoverInterruptedOutputs();
    EXPECT_EQ(Names(destination.path()), expected);
    EXPECT_EQ(Names(recoveryPath()), expectedJournals);
    EXPECT_FALSE(fs::exists(fs::path(destination.file(L"killed.nsp"))));

    // Once the live run is gone too, its leftovers go at the next start; the strangers stay.
    Kill(live);
    RecoverInterruptedOutputs();
    EXPECT_EQ(Names(destination.path()), std::vector<std::string>{stranger});
    EXPECT_EQ(Names(recoveryPath()), std::vector<std::string>{damaged});
}

TEST(PosixCancellation, SignalEndsAWriteBlockedOnAFullPipe) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = [](int) {}; // without SA_RESTART, as the console converter installs it
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGUSR1, &action, &previous);
    ::signal(SIGPIPE, SIG_IGN);
    CancelFlag flag{0};
    std::promise<pthread_t> started;
    std::future<std::uint32_t> result = std::async(std::launch::async, [&] {
        const CurrentCancelFlagScope scope(&flag);
        started.set_value(pthread_self());
        const std::unique_ptr<OutputFile> out = BorrowOutputFd(pipeEnds[1]);
        const std::vector<char> piece(65536, 'p');
        for (std::uint32_t written = 0;;)
            if (const std::uint32_t error = out->writeSome(piece.data(), piece.size(), written))
                return error;
    });
    const pthread_t writer = started.get_future().get();
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the pipe fills and the write blocks
    flag.store(1);
    // Repeated, as the console converter's alarm does: a signal between two writes interrupts nothing.
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
        ::pthread_kill(writer, SIGUSR1);
        ended = result.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready;
    }
    ::close(pipeEnds[0]); // unblocks the writer (EPIPE) if the signal did not
    EXPECT_TRUE(ended);
    EXPECT_EQ(result.get(), kErrorOperationAborted);
    ::close(pipeEnds[1]);
    ::sigaction(SIGUSR1, &previous, nullptr);
}

} // namespace
} // namespace vesko
