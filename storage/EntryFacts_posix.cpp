#include "storage/EntryFacts_posix.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace vesko {

namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000; // a Windows FILETIME's 100 ns units

void SetIdentity(EntryFacts& facts, std::uint64_t device, std::uint64_t inode, std::uint64_t birthTicks) {
    facts.device = device;
    facts.inode = inode;
    facts.identity.volumeSerial = static_cast<std::uint32_t>(device);
    facts.identity.fileIndexHigh = static_cast<std::uint32_t>(inode >> 32);
    facts.identity.fileIndexLow = static_cast<std::uint32_t>(inode);
    facts.identity.creationTimeLow = static_cast<std::uint32_t>(birthTicks);
    facts.identity.creationTimeHigh = static_cast<std::uint32_t>(birthTicks >> 32);
}

} // namespace

int StatEntry(int directory, const std::string& name, EntryFacts& facts) {
#ifdef STATX_BTIME
    const int flags = AT_SYMLINK_NOFOLLOW | (name.empty() ? AT_EMPTY_PATH : 0);
    // The birth time tells a file from a later one that was given the same inode number.
    struct statx info {};
    if (::statx(directory, name.c_str(), flags, STATX_BASIC_STATS | STATX_BTIME, &info) != 0)
        return errno;
    const std::uint64_t birth = (info.stx_mask & STATX_BTIME) != 0
                                    ? static_cast<std::uint64_t>(info.stx_btime.tv_sec) * kTicksPerSecond +
                                          info.stx_btime.tv_nsec / 100
                                    : 0;
    SetIdentity(facts, makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino, birth);
    facts.plainFile = S_ISREG(info.stx_mode) && info.stx_nlink == 1;
#else
    struct stat info {};
    const int result = name.empty() ? ::fstat(directory, &info)
                                    : ::fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW);
    if (result != 0)
        return errno;
    SetIdentity(facts, static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino), 0);
    facts.plainFile = S_ISREG(info.st_mode) && info.st_nlink == 1;
#endif
    return 0;
}

} // namespace vesko
