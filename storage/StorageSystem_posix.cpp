#include "storage/StorageSystem_posix.h"

#include "engine/Crypto.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>

namespace vesko {

namespace {

int RenameNoReplace(int fromDirectory, const char* from, int toDirectory, const char* to) {
#ifdef RENAME_NOREPLACE
    return ::renameat2(fromDirectory, from, toDirectory, to, RENAME_NOREPLACE);
#else
    // Systems without it (macOS has renamex_np with RENAME_EXCL instead) take the link route.
    (void)fromDirectory, (void)from, (void)toDirectory, (void)to;
    errno = ENOSYS;
    return -1;
#endif
}

const StorageSystemCalls kRealCalls = {
    &::statfs, &::statvfs, &RenameNoReplace, &::linkat, &FillRandomBytes,
};

} // namespace

CallTable<StorageSystemCalls>& StorageCallTable(const StorageSystemCalls*) {
    static CallTable<StorageSystemCalls> table(kRealCalls);
    return table;
}

const StorageSystemCalls& RealStorageSystemCalls() {
    return kRealCalls;
}

const StorageSystemCalls& System() {
    return StorageCallTable(nullptr).active();
}

} // namespace vesko
