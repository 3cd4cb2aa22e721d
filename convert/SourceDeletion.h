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

// The rules that keep the source before it is looked at again, in order: a failed final flush of the
// output, cancellation (1223), an identity that was not recorded, a file system without file indexes
// (50). Returns 0 when the source may be checked and deleted.
std::uint32_t SourceKeptBeforeCheck(const FileIdentity* identity, std::uint32_t identityError,
                                    std::uint32_t publishFlushError, const CancelFlag* cancelFlag) noexcept;

// A system error while checking or deleting: 995 (operation aborted) while cancelling is 1223.
std::uint32_t KeptForSystemError(std::uint32_t systemError, const CancelFlag* cancelFlag) noexcept;

inline constexpr std::uint32_t kErrorCancelled = 1223;
inline constexpr std::uint32_t kErrorFileInvalid = 1006;

// Which disposition call removed the last deleted source: for tests and diagnostics.
enum class DeletionPath { None, PosixSemantics, Classic };
DeletionPath LastDeletionPath() noexcept;
void RecordDeletionPath(DeletionPath path) noexcept;

} // namespace vesko
