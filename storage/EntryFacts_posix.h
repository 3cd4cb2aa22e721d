// What the storage code knows of a directory entry on POSIX: the identity a journal records, and
// whether it is one plain file (a regular file with a single link, not a link itself).
#pragma once

#include "storage/Journal.h"

#include <cstdint>
#include <string>

namespace vesko {

struct EntryFacts {
    // Device (low 32 bits), inode, and birth time in 100 ns units where the file system keeps one (else 0).
    JournalIdentity identity;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool plainFile = false;
};

// Facts of `name` in the open directory `directory`, never following a link; an empty `name` means
// the open file `directory` itself. Returns 0 or the errno.
int StatEntry(int directory, const std::string& name, EntryFacts& facts);

} // namespace vesko
