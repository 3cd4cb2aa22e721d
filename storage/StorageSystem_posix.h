// The calls whose answers the POSIX storage code cannot provoke on a test machine (a FAT file system, a
// file system without RENAME_NOREPLACE or hard links, a chosen record name), routed through one table
// so that tests can answer differently. Production code never swaps it.
#pragma once

#include "storage/CallTable.h"

#include <cstddef>
#include <cstdint>
#include <sys/statfs.h>
#include <sys/statvfs.h>

namespace vesko {

struct StorageSystemCalls {
    int (*statFileSystem)(const char* path, struct statfs* info);
    int (*statAvailableSpace)(const char* path, struct statvfs* info);
    // renameat2 with RENAME_NOREPLACE; fails with EINVAL (or ENOSYS) where the system cannot.
    int (*renameNoReplace)(int fromDirectory, const char* from, int toDirectory, const char* to);
    int (*linkAt)(int fromDirectory, const char* from, int toDirectory, const char* to, int flags);
    bool (*fillRandom)(std::uint8_t* data, std::size_t length);
};

// The real calls.
const StorageSystemCalls& RealStorageSystemCalls();

// The table in force; the real calls unless a test has swapped it.
const StorageSystemCalls& System();

CallTable<StorageSystemCalls>& StorageCallTable(const StorageSystemCalls*);
using ScopedStorageSystemOverride = ScopedCallsOverride<StorageSystemCalls>;

} // namespace vesko
