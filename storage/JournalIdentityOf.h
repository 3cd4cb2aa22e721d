// What a journal records of a temporary file, as Windows reports it for the open file.
#pragma once

#include "storage/Journal.h"

#include <windows.h>

namespace vesko {

inline JournalIdentity JournalIdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    JournalIdentity identity;
    identity.volumeSerial = info.dwVolumeSerialNumber;
    identity.fileIndexHigh = info.nFileIndexHigh;
    identity.fileIndexLow = info.nFileIndexLow;
    identity.creationTimeLow = info.ftCreationTime.dwLowDateTime;
    identity.creationTimeHigh = info.ftCreationTime.dwHighDateTime;
    return identity;
}

} // namespace vesko
