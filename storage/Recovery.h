// The start-up clean-up of outputs left behind by a process that died while converting.
#pragma once

#include <string>

namespace vesko {

// Deletes each orphaned temporary output that is provably the one its journal recorded, then the
// journal; bounded to 256 entries and 5 seconds. Reports nothing and never throws.
void RecoverInterruptedOutputs() noexcept;

// The scan itself, written for each system; throws when the recovery directory cannot be used.
void ScanRecoveryDirectory();

// True when `path` is a well-formed full long path ("\\?\D:\..." or "\\?\UNC\...") without streams,
// empty, "." or ".." components, whose file name is ".vesko-" + `recordName` + ".tmp".
bool IsRecordedTemporaryPath(const std::wstring& path, const std::wstring& recordName);

} // namespace vesko
