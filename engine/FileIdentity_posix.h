// The identity of a file as POSIX reports it, in the fields the Windows program records.
#pragma once

#include "engine/InputFile.h"

#include <sys/stat.h>

namespace vesko {

// Device (low 32 bits), inode, size, modification and change times in nanoseconds.
FileIdentity FileIdentityOf(const struct stat& info);

} // namespace vesko
