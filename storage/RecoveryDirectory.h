// The per-user directory that holds the recovery journals, pinned level by level.
#pragma once

#include "engine/ConversionError.h"
#ifdef _WIN32
#include "storage/UniqueHandle.h"
#else
#include "storage/UniqueFd.h"
#endif

#include <string>
#include <vector>

namespace vesko {

// The owner of an open file or directory of this system.
#ifdef _WIN32
using StorageHandle = UniqueHandle;
#else
using StorageHandle = UniqueFd;
#endif

class RecoveryDirectory {
  public:
    RecoveryDirectory() = default;
    ~RecoveryDirectory() { reset(); }
    RecoveryDirectory(RecoveryDirectory&& other) noexcept = default;
    RecoveryDirectory& operator=(RecoveryDirectory&& other) noexcept {
        if (this != &other) {
            reset();
            path = std::move(other.path);
            handles = std::move(other.handles);
        }
        return *this;
    }
    RecoveryDirectory(const RecoveryDirectory&) = delete;
    RecoveryDirectory& operator=(const RecoveryDirectory&) = delete;

    // Closes the levels from the innermost outwards, then forgets the path.
    void reset() {
        while (!handles.empty())
            handles.pop_back();
        path.clear();
    }

    std::wstring path;
    // The local application data folder (on POSIX the state home) and the three levels below it, in
    // opening order.
    std::vector<StorageHandle> handles;
};

// Locates (and with `create`, makes) LocalAppData\VESKO\ZARUvivuriza\Recovery, on POSIX below
// $XDG_STATE_HOME (by default ~/.local/state), refusing links below that folder. Failures are
// RecoveryRecords.
RecoveryDirectory OpenRecoveryDirectory(bool create, const CancelFlag* cancelFlag);

} // namespace vesko
