// Making a completed output appear under its final name, by renaming its open temporary file.
#pragma once

#include "storage/PendingOutput.h"
#include "storage/StorageRules.h"

#include <memory>
#include <string>

namespace vesko {

// Renames the temporary file to the wanted name or, with `pickUnusedName`, to the first free
// "stem (n).ext" beside it; never replaces an existing file. Returns the published path in the
// user's form of the directory. A failed flush after the rename is reported by publishFlushError().
std::wstring PublishOutput(std::unique_ptr<PendingOutput>& pending, const std::wstring& outputPath,
                           bool pickUnusedName, const CancelFlag* cancelFlag);

} // namespace vesko
