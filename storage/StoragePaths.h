// Path and directory helpers shared by the storage operations, and their one way of failing.
#pragma once

#include "engine/ConversionError.h"
#include "engine/Paths.h"
#include "storage/UniqueHandle.h"

#include <cstdint>
#include <string>

namespace vesko {

// The longest path accepted anywhere in the storage code, in UTF-16 units.
inline constexpr std::uint32_t kMaxStoragePath = 32767;

// Throws Cancelled for 995 while `cancelFlag` is set; otherwise ConversionError with the " (Windows N)"
// suffix, the kind turned into AccessDenied for the access-denied codes unless it is RecoveryRecords.
[[noreturn]] void ThrowStorageError(ConversionError::Kind kind, const std::string& message,
                                    std::uint32_t windowsError, const CancelFlag* cancelFlag);

// The full path of `path` with every "/" turned into "\"; throws PathProblem.
std::wstring ResolveStoragePath(const std::wstring& path);

// `path` up to and including its last backslash; throws PathProblem.
std::wstring DirectoryPrefix(const std::wstring& path);

// `directory`, one backslash and `name`.
std::wstring JoinStoragePath(const std::wstring& directory, const std::wstring& name);

// Opens `path` as a directory without delete sharing, so that it cannot be renamed or removed while
// the handle lives. Failures are raised with `kind`.
UniqueHandle OpenStorageDirectory(const std::wstring& path, bool refuseReparsePoint,
                                  ConversionError::Kind kind, const CancelFlag* cancelFlag);

// The final path of an open directory, without trailing backslashes except for a drive root.
std::wstring FinalDirectoryPath(HANDLE directory, ConversionError::Kind kind, const CancelFlag* cancelFlag);

} // namespace vesko
