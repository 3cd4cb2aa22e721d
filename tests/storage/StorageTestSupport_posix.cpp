#include "tests/storage/StorageTestSupport.h"

#include "engine/Paths.h"
#include "storage/EntryFacts_posix.h"
#include "storage/Recovery.h"

#include <cstdlib>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vesko::test {

namespace {

bool ScriptedRandom(std::uint8_t* data, std::size_t length) {
    return !randomScript.fail && length == 16 &&
           (NextScriptedDraw(data) || RealStorageSystemCalls().fillRandom(data, length));
}

// ext4's magic for any file system that is not FAT.
int FakeStatfs(const char*, struct statfs* info) {
    *info = {};
    info->f_type = volume.fileSystem == L"FAT32" ? 0x4d44 : 0xEF53;
    return volume.limitQueryWorks ? 0 : (errno = EIO, -1);
}

int FakeStatvfs(const char*, struct statvfs* info) {
    *info = {};
    info->f_bavail = volume.freeBytes;
    info->f_frsize = 1;
    return volume.spaceQueryWorks ? 0 : (errno = EIO, -1);
}

} // namespace

StorageSandbox::StorageSandbox() : calls(RealStorageSystemCalls()) {
    ::setenv("XDG_STATE_HOME", ToUtf8(home_.path()).c_str(), 1);
    randomScript = RandomScript{};
    calls.fillRandom = &ScriptedRandom;
    apply();
}

StorageSandbox::~StorageSandbox() {
    override_.reset();
    ::unsetenv("XDG_STATE_HOME");
}

void StorageSandbox::fakeVolume() {
    calls.statFileSystem = &FakeStatfs;
    calls.statAvailableSpace = &FakeStatvfs;
    apply();
}

std::wstring StorageSandbox::recordedFile(const std::wstring& name) const {
    return destination() + L"/" + name;
}

bool Exists(const std::wstring& path) {
    struct stat info {};
    return ::lstat(ToUtf8(path).c_str(), &info) == 0;
}

std::unique_ptr<PendingOutput> ReserveAndWrite(const std::wstring& outputPath, const Bytes& bytes) {
    std::unique_ptr<PendingOutput> pending;
    CreatePendingOutput(pending, outputPath, nullptr);
    EXPECT_EQ(::write(pending->outputHandle(), bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
    return pending;
}

ReservingProcess::ReservingProcess(const StorageSandbox&, const std::wstring& outputPath, unsigned bytes) {
    int report[2];
    if (::pipe(report) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        try {
            const std::unique_ptr<PendingOutput> pending = ReserveAndWrite(outputPath, Bytes(bytes, 'k'));
            ::write(report[1], "r", 1);
            for (;;)
                ::pause();
        } catch (...) {
        }
        ::_exit(3);
    }
    ::close(report[1]);
    char answer = 0;
    ready = pid_ > 0 && ::read(report[0], &answer, 1) == 1 && answer == 'r';
    ::close(report[0]);
}

void ReservingProcess::kill() {
    if (pid_ > 0)
        ::kill(pid_, SIGKILL), ::waitpid(std::exchange(pid_, -1), nullptr, 0);
}

void RecoverInAnotherProcess(const StorageSandbox&) {
    const pid_t child = ::fork();
    if (child == 0) {
        RecoverInterruptedOutputs();
        ::_exit(0);
    }
    int status = -1;
    ASSERT_GT(child, 0);
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
}

JournalIdentity IdentityOf(const std::wstring& path) {
    EntryFacts facts;
    EXPECT_EQ(StatEntry(AT_FDCWD, ToUtf8(path), facts), 0);
    return facts.identity;
}

} // namespace vesko::test
