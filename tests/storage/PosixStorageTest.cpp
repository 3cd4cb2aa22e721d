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
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
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

std::vector<std::string> Names(const std::wstring& directory) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fs::path(directory), ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void ExpectFailure(const std::function<void()>& action, K kind, const std::string& message) {
    try {
        action();
        ADD_FAILURE() << "no failure, expected: " << message;
    } catch (const ConversionError& e) {
        EXPECT_EQ(KindName(e.kind), std::string(KindName(kind)));
        EXPECT_EQ(e.what(), message);
    }
}

// A small tmpfs over a test directory, unmounted on every way out; mounting needs root (as in CI).
class Tmpfs {
  public:
    Tmpfs(const std::wstring& directory, const char* options, unsigned long flags = 0)
        : directory_(ToUtf8(directory)) {
        mounted_ = ::mount("tmpfs", directory_.c_str(), "tmpfs", flags, options) == 0;
        error_ = mounted_ ? "" : std::strerror(errno);
    }
    ~Tmpfs() {
        if (mounted_)
            ::umount2(directory_.c_str(), MNT_DETACH);
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;
    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }

  private:
    std::string directory_;
    bool mounted_ = false;
    std::string error_;
};

class PosixStorage : public ::testing::Test {
  protected:
    void SetUp() override {
        // Journals go to a scratch state home, never to the user's.
        ::setenv("XDG_STATE_HOME", ToUtf8(state.path()).c_str(), 1);
    }
    void TearDown() override { ::unsetenv("XDG_STATE_HOME"); }

    std::wstring recoveryPath() const { return state.path() + L"/VESKO/ZARUvivuriza/Recovery"; }

    // A reservation with `bytes` written into it.
    std::unique_ptr<PendingOutput> reserve(const std::wstring& path, std::size_t bytes = 4096) {
        std::unique_ptr<PendingOutput> pending;
        CreatePendingOutput(pending, path, nullptr);
        const std::vector<char> data(bytes, 'n');
        EXPECT_EQ(::write(pending->outputHandle(), data.data(), data.size()), static_cast<ssize_t>(bytes));
        return pending;
    }

    void expectNothingLeft(const std::wstring& directory) const {
        for (const std::string& name : Names(directory))
            EXPECT_NE(name.rfind(".vesko-", 0), 0u) << name;
        EXPECT_TRUE(Names(recoveryPath()).empty());
    }

    test::TempDir destination;
    test::TempDir state;
};

// File systems without RENAME_NOREPLACE, and without hard links either (FAT).
int RefuseRenameNoReplace(int, const char*, int, const char*) {
    errno = EINVAL;
    return -1;
}
int RefuseLink(int, const char*, int, const char*, int) {
    errno = EPERM;
    return -1;
}

TEST_F(PosixStorage, PublishingNeverReplacesAnExistingName) {
    struct Case {
        std::vector<std::string> existing;
        bool linkInsteadOfFile;
        bool pickUnusedName;
        std::string published; // empty: NameConflict
    };
    const Case cases[] = {
        {{}, false, true, "Game.nsp"},
        {{"Game.nsp", "Game (1).nsp"}, false, true, "Game (2).nsp"},
        {{"Game.nsp"}, true, true, "Game (1).nsp"}, // a dangling link is a taken name, never followed
        {{"Game.nsp"}, false, false, ""},
    };
    for (const char* route : {"renameat2", "link", "placeholder"}) {
        StorageSystemCalls calls = RealStorageSystemCalls();
        if (std::string(route) != "renameat2")
            calls.renameNoReplace = &RefuseRenameNoReplace;
        if (std::string(route) == "placeholder")
            calls.linkAt = &RefuseLink;
        const ScopedStorageSystemOverride system(calls);
        for (const Case& c : cases) {
            SCOPED_TRACE(route + std::to_string(c.existing.size() + 10 * c.linkInsteadOfFile +
                                                100 * c.pickUnusedName));
            test::TempDir dir;
            for (const std::string& name : c.existing) {
                const std::string path = ToUtf8(dir.file(FromUtf8(name)));
                if (c.linkInsteadOfFile)
                    ASSERT_EQ(::symlink("elsewhere", path.c_str()), 0);
                else
                    std::ofstream(path) << name;
            }
            std::unique_ptr<PendingOutput> pending = reserve(dir.file(L"Game.nsp"));
            if (c.published.empty()) {
                ExpectFailure([&] { PublishOutput(pending, dir.file(L"Game.nsp"), false, nullptr); },
                              K::NameConflict, "Output name is already in use (Windows 80)");
            } else {
                EXPECT_EQ(PublishOutput(pending, dir.file(L"Game.nsp"), c.pickUnusedName, nullptr),
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
                std::string content;
                if (!c.linkInsteadOfFile)
                    std::getline(std::ifstream(ToUtf8(dir.file(FromUtf8(name)))), content);
                EXPECT_EQ(content, c.linkInsteadOfFile ? "" : name);
            }
            EXPECT_FALSE(fs::exists(fs::path(dir.path()) / "elsewhere"));
            expectNothingLeft(dir.path());
        }
    }
}

bool ZeroRandom(std::uint8_t* data, std::size_t length) {
    std::memset(data, 0, length);
    return true;
}

TEST_F(PosixStorage, LinksAndUnwritableDirectoriesAreRefused) {
    test::TempDir elsewhere;
    const std::string victim = ToUtf8(elsewhere.file(L"victim"));
    struct Case {
        const char* what;
        std::function<void()> arrange;
        K kind;
        std::string message;
    };
    const std::string dest = ToUtf8(destination.path());
    const Case cases[] = {
        {"destination is a link",
         [&] { ::symlink(ToUtf8(elsewhere.path()).c_str(), (dest + "/link").c_str()); }, K::WriteFailed,
         "Unsafe storage directory (Windows 1920)"},
        {"temporary name is a link",
         [&] {
             ::symlink(victim.c_str(),
                       (dest + "/" + ToUtf8(TemporaryFileName(std::wstring(32, L'0')))).c_str());
         },
         K::RecoveryRecords, "Cannot choose a recovery record name (Windows 80)"},
        {"recovery level is a link",
         [&] {
             fs::create_directories(fs::path(state.path()));
             ::symlink(ToUtf8(elsewhere.path()).c_str(), (ToUtf8(state.path()) + "/VESKO").c_str());
         },
         K::RecoveryRecords, "Unsafe storage directory (Windows 1920)"},
    };
    StorageSystemCalls calls = RealStorageSystemCalls();
    calls.fillRandom = &ZeroRandom;
    const ScopedStorageSystemOverride fixedNames(calls);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        const std::wstring target = std::string(c.what) == "destination is a link"
                                        ? destination.file(L"link/x.nsp")
                                        : destination.file(L"x.nsp");
        std::unique_ptr<PendingOutput> pending;
        ExpectFailure([&] { CreatePendingOutput(pending, target, nullptr); }, c.kind, c.message);
        pending.reset();
        EXPECT_TRUE(Names(elsewhere.path()).empty());
        fs::remove_all(fs::path(state.path()) / "VESKO");
    }
    const fs::path planted = fs::path(destination.path()) / TemporaryFileName(std::wstring(32, L'0'));
    EXPECT_TRUE(fs::is_symlink(planted));
    fs::remove(planted);
    expectNothingLeft(destination.path());
}

TEST_F(PosixStorage, ReadOnlyDestinationIsAccessDenied) {
    // Root writes through permission bits: it gets a read-only mount instead.
    std::unique_ptr<Tmpfs> readOnly;
    if (::geteuid() == 0) {
        readOnly = std::make_unique<Tmpfs>(destination.path(), "size=1m", MS_RDONLY);
        if (!readOnly->mounted())
            GTEST_SKIP() << "cannot mount a read-only tmpfs here: " << readOnly->error();
    } else {
        ::chmod(ToUtf8(destination.path()).c_str(), 0555);
    }
    std::unique_ptr<PendingOutput> pending;
    ExpectFailure([&] { CreatePendingOutput(pending, destination.file(L"x.nsp"), nullptr); }, K::AccessDenied,
                  ::geteuid() == 0 ? "Cannot create temporary output (Windows 19)"
                                   : "Cannot create temporary output (Windows 5)");
    pending.reset();
    EXPECT_TRUE(Names(recoveryPath()).empty());
    ::chmod(ToUtf8(destination.path()).c_str(), 0755);
}

unsigned long fakeType = 0;
std::uint64_t fakeAvailable = 0;
int FakeStatfs(const char*, struct statfs* info) {
    *info = {};
    info->f_type = static_cast<decltype(info->f_type)>(fakeType);
    return 0;
}
int FakeStatvfs(const char*, struct statvfs* info) {
    *info = {};
    info->f_bavail = fakeAvailable;
    info->f_frsize = 1;
    return 0;
}

TEST_F(PosixStorage, SizeLimitOfFatThenFreeSpace) {
    StorageSystemCalls calls = RealStorageSystemCalls();
    calls.statFileSystem = &FakeStatfs;
    calls.statAvailableSpace = &FakeStatvfs;
    const ScopedStorageSystemOverride fake(calls);
    struct Case {
        unsigned long type;
        std::uint64_t available, required;
        std::uint32_t code; // 0: fits
        std::uint64_t reportedAvailable;
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
    const Tmpfs small(destination.path(), "size=4m");
    if (!small.mounted())
        GTEST_SKIP() << "cannot mount a 4 MiB tmpfs here (" << small.error() << "); run as root to test";
    test::TempDir sources;
    const std::wstring source = sources.file(L"big.nsz");
    testfiles::WriteWholeFile(
        source,
        testfiles::BuildPfs0({"big.bin"}, {testfiles::MakeContent(testfiles::Content::Random, 6 << 20, 7)}));
    // The check sees the space missing; with the check fooled, the write itself runs out of space.
    for (const bool fooled : {false, true}) {
        SCOPED_TRACE(fooled ? "write runs out" : "space check");
        StorageSystemCalls calls = RealStorageSystemCalls();
        if (fooled) {
            calls.statAvailableSpace = &FakeStatvfs;
            fakeAvailable = 1ull << 40;
        }
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
    struct Case {
        const char* what;
        std::function<void(const std::string&)> change;
        std::uint32_t code;
    };
    const Case cases[] = {
        {"unchanged", [](const std::string&) {}, 0},
        {"modified", [](const std::string& p) { std::ofstream(p, std::ios::app) << "x"; }, kErrorFileInvalid},
        {"touched", [](const std::string& p) { ::utimensat(AT_FDCWD, p.c_str(), nullptr, 0); },
         kErrorFileInvalid},
        {"replaced",
         [](const std::string& p) {
             std::ofstream(p + ".new") << "source";
             std::rename((p + ".new").c_str(), p.c_str());
         },
         kErrorFileInvalid},
        {"removed", [](const std::string& p) { ::unlink(p.c_str()); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring path = destination.file(L"source.nsz");
        std::ofstream(ToUtf8(path)) << "source";
        FileIdentity identity;
        {
            const InputFile input(path);
            ASSERT_EQ(input.queryIdentity(identity), 0u);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10)); // a later time stamp for "touched"
        c.change(ToUtf8(path));
        EXPECT_EQ(DeleteSourceIfUnchanged(path, &identity, 0, 0, nullptr), c.code);
        EXPECT_EQ(fs::exists(fs::path(path)), c.code != 0 && c.code != 2);
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
        const bool wrote = ::write(pending->outputHandle(), data.data(), data.size()) > 0;
        const char report = wrote ? 'r' : 'f';
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
    const std::vector<std::string> leftTemporary = Names(destination.path());
    const std::vector<std::string> leftJournal = Names(recoveryPath());
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
    const std::vector<std::string> before = Names(destination.path());
    const std::vector<std::string> journalsBefore = Names(recoveryPath());

    RecoverInterruptedOutputs();
    std::vector<std::string> expected = before;
    expected.erase(std::find(expected.begin(), expected.end(), leftTemporary[0]));
    EXPECT_EQ(Names(destination.path()), expected);
    std::vector<std::string> expectedJournals = journalsBefore;
    expectedJournals.erase(std::find(expectedJournals.begin(), expectedJournals.end(), leftJournal[0]));
    EXPECT_EQ(Names(recoveryPath()), expectedJournals);
    EXPECT_FALSE(fs::exists(fs::path(destination.file(L"killed.nsp"))));

    // Once the live run is gone too, its leftovers go at the next start; the strangers stay.
    Kill(live);
    RecoverInterruptedOutputs();
    EXPECT_EQ(Names(destination.path()), std::vector<std::string>{stranger});
    EXPECT_EQ(Names(recoveryPath()), std::vector<std::string>{damaged});
}

void IgnoreSignal(int) {}

TEST(PosixCancellation, SignalEndsAWriteBlockedOnAFullPipe) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = IgnoreSignal; // without SA_RESTART, as the console converter installs it
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
        for (;;) {
            std::uint32_t written = 0;
            if (const std::uint32_t error = out->writeSome(piece.data(), piece.size(), written))
                return error;
        }
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
