#include "storage/FileDisposition.h"

#include "storage/StorageSystem.h"

namespace vesko {

bool MarkForDeletion(HANDLE handle) {
    // The plain class, not FileDispositionInfoEx: older systems (and wine) refuse the extended one.
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return System().setFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                               sizeof disposition) != FALSE;
}

} // namespace vesko
