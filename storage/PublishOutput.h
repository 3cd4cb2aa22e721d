// Making a completed output appear under its final name, by renaming its open temporary file.
#pragma once

#include "storage/PendingOutput.h"

#include <memory>
#include <string>

namespace vesko {

// Renames the temporary file to the wanted name or, with `pickUnusedName`, to the first free
// "stem (n).ext" beside it; never replaces an existing file. Returns the published path in the
// user's form of the directory. A failed flush after the rename is reported by publishFlushError().
std::wstring PublishOutput(std::unique_ptr<PendingOutput>& pending, const std::wstring& outputPath,
                           bool pickUnusedName, const CancelFlag* cancelFlag);

// Candidate `number` for a wanted file name: the name itself for 0, else "stem (number)" + extension,
// split at the last dot.
std::wstring CandidateName(const std::wstring& wantedName, std::uint32_t number);

} // namespace vesko
