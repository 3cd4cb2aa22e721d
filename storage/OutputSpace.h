// Whether the destination volume can take an output of a known size.
#pragma once

#include "engine/ConversionError.h"
#include "storage/StorageRules.h"

#include <cstdint>
#include <string>

namespace vesko {

// Throws WriteFailed with 223 when the file system cannot hold a file of `requiredBytes`, with 112 when
// less is available to the user; a volume query that fails skips its test.
void CheckOutputSpace(const std::wstring& outputPath, std::uint64_t requiredBytes,
                      const CancelFlag* cancelFlag);

} // namespace vesko
