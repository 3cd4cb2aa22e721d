// What only the POSIX storage code meets: links, read-only and full destinations, a signal in a write.
#include "convert/ConvertNszToNsp.h"
#include "engine/OutputFile.h"
#include "engine/Paths.h"
#include "tests/storage/StorageTestSupport.h"

#include <cstring>
#include <functional>
#include <future>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vesko {
namespace {

namespace fs = std::filesystem;
using K = ConversionError::Kind;
using namespace test;

// A small tmpfs over a test directory, unmounted on every way out; empty without root (CI has it).
std::shared_ptr<const std::string> MountTmpfs(const std::wstring& over, const char* options,
                                              unsigned long flags = 0) {
    if (::mount("tmpfs", ToUtf8(over).c_str(), "tmpfs", flags, options) != 0)
        return nullptr;
    return {new std::string(ToUtf8(over)),
            [](const std::string* dir) { ::umount2(dir->c_str(), MNT_DETACH), delete dir; }};
}

TEST(PosixStorage, LinksAndReadOnlyDestinationsAreRefused) {
    StorageSandbox sandbox;
    TempDir elsewhere;
    const std::string dest = ToUtf8(sandbox.destination()), away = ToUtf8(elsewhere.path()),
                      home = ToUtf8(sandbox.recoveryHome());
    const std::string planted = dest + "/" + ToUtf8(TemporaryFileName(std::wstring(32, L'0')));
    std::shared_ptr<const std::string> readOnly;
    // Root writes through permission bits: it gets a read-only mount instead.
    const bool root = ::geteuid() == 0;
    const char *unsafe = "Unsafe storage directory (Windows 1920)",
               *refused = "Cannot create temporary output";
    // clang-format off
    const struct { const char* what; std::function<void()> arrange; const wchar_t* target;
                   ExpectedError error; } cases[] = {
        {"destination is a link", [&] { ::symlink(away.c_str(), (dest + "/link").c_str()); }, L"link/x.nsp",
         {K::WriteFailed, unsafe, 1920}},
        {"read-only destination", [&] {
             root ? void(readOnly = MountTmpfs(sandbox.destination(), "size=1m", MS_RDONLY))
                  : void(::chmod(dest.c_str(), 0555)); }, L"x.nsp",
         {K::AccessDenied, refused + std::string(root ? " (Windows 19)" : " (Windows 5)"), root ? 19u : 5u}},
        {"temporary name is a link", [&] { ::symlink((away + "/victim").c_str(), planted.c_str()); },
         L"x.nsp", {K::RecoveryRecords, "Cannot choose a recovery record name (Windows 80)", 80}},
        {"recovery level is a link", [&] { ::symlink(away.c_str(), (home + "/VESKO").c_str()); }, L"x.nsp",
         {K::RecoveryRecords, unsafe, 1920}}};
    // clang-format on
    randomScript.chunks.assign(16, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.arrange();
        if (root && std::string(c.what) == "read-only destination" && !readOnly)
            GTEST_SKIP() << "cannot mount a read-only tmpfs here: " << std::strerror(errno);
        std::unique_ptr<PendingOutput> pending;
        ExpectConversionError([&] { CreatePendingOutput(pending, sandbox.file(c.target), nullptr); },
                              c.error);
        readOnly.reset();
        ::chmod(dest.c_str(), 0755);
        EXPECT_TRUE(ListNames(elsewhere.path()).empty());
        EXPECT_TRUE(sandbox.journals().empty());
        fs::remove_all(fs::path(sandbox.recoveryHome()) / "VESKO");
    }
    EXPECT_TRUE(fs::is_symlink(fs::path(planted)));
    fs::remove(fs::path(planted));
    EXPECT_TRUE(sandbox.temporaryFiles().empty());
}

TEST(PosixStorage, FullFileSystemFailsAndLeavesNothing) {
    StorageSandbox sandbox;
    const auto small = MountTmpfs(sandbox.destination(), "size=4m");
    if (!small)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    TempDir sources;
    const std::wstring source = sources.file(L"big.nsz");
    testfiles::WriteWholeFile(
        source,
        testfiles::BuildPfs0({"big.bin"}, {testfiles::MakeContent(testfiles::Content::Random, 6 << 20, 7)}));
    // The check sees the space missing; with the check fooled, the write itself runs out of space.
    for (const bool fooled : {false, true}) {
        SCOPED_TRACE(fooled ? "write runs out" : "space check");
        if (fooled) {
            volume = {L"NTFS", 1ull << 40};
            sandbox.fakeVolume();
        }
        try {
            ConvertNszToNsp(source, sandbox.file(L"big.nsp"), {}, nullptr, true, false);
            ADD_FAILURE() << "converted onto a full file system";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.windowsError, 112u) << e.what();
            EXPECT_EQ(e.availableBytes != 0, !fooled);
        }
        EXPECT_TRUE(ListNames(sandbox.destination()).empty());
        EXPECT_TRUE(sandbox.journals().empty());
    }
}

TEST(PosixCancellation, SignalEndsAWriteBlockedOnAFullPipe) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    struct sigaction action = {}, previous = {};
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
