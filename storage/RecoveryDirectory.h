// The per-user directory that holds the recovery journals, pinned level by level.
#pragma once

#include "engine/ConversionError.h"
#include "storage/UniqueHandle.h"

#include <string>
#include <vector>

namespace vesko {

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
    // The local application data folder and the three levels below it, in opening order.
    std::vector<UniqueHandle> handles;
};

// Locates (and with `create`, makes) LocalAppData\VESKO\ZARUvivuriza\Recovery, refusing links below the
// known folder. Failures are RecoveryRecords.
RecoveryDirectory OpenRecoveryDirectory(bool create, const CancelFlag* cancelFlag);

} // namespace vesko
