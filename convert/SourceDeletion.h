// Deleting the converted source, only when it is provably the file that was read.
#pragma once

#include "engine/ConversionError.h"
#include "engine/InputFile.h"

#include <cstdint>
#include <string>

namespace vesko {

// Returns 0 when the source was deleted, else the Windows code that explains why it was kept.
// `identity` is what was recorded at open, or null with `identityError` saying why it could not be.
std::uint32_t DeleteSourceIfUnchanged(const std::wstring& longInputPath, const FileIdentity* identity,
                                      std::uint32_t identityError, std::uint32_t publishFlushError,
                                      const CancelFlag* cancelFlag) noexcept;

// Which disposition call removed the last deleted source: for tests and diagnostics.
enum class DeletionPath { None, PosixSemantics, Classic };
DeletionPath LastDeletionPath() noexcept;

} // namespace vesko
