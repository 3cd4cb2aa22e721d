// Path and directory helpers shared by the storage operations, and their one way of failing.
#pragma once

#include "engine/ConversionError.h"
#include "engine/Paths.h"
#include "storage/StorageRules.h"
#ifdef _WIN32
#include "storage/UniqueHandle.h"
#else
#include "storage/UniqueFd.h"
#endif

#include <cstdint>
#include <string>

namespace vesko {

// The full path of `path` (on Windows with every "/" turned into "\"); throws PathProblem.
std::wstring ResolveStoragePath(const std::wstring& path);

// `path` up to and including its last separator; throws PathProblem.
std::wstring DirectoryPrefix(const std::wstring& path);

// `directory`, one separator and `name`.
std::wstring JoinStoragePath(const std::wstring& directory, const std::wstring& name);

#ifdef _WIN32
// Opens `path` as a directory without delete sharing, so that it cannot be renamed or removed while
// the handle lives. Failures are raised with `kind`.
UniqueHandle OpenStorageDirectory(const std::wstring& path, bool refuseReparsePoint,
                                  ConversionError::Kind kind, const CancelFlag* cancelFlag);

// The final path of an open directory, without trailing backslashes except for a drive root.
std::wstring FinalDirectoryPath(HANDLE directory, ConversionError::Kind kind, const CancelFlag* cancelFlag);
#else
// Opens `path` as a directory; with `refuseSymbolicLink` a link as its last component is refused
// ("Unsafe storage directory"). Failures are raised with `kind`.
UniqueFd OpenStorageDirectory(const std::wstring& path, bool refuseSymbolicLink, ConversionError::Kind kind,
                              const CancelFlag* cancelFlag);

// The entry `name` of an open directory, opened the same way; a link is always refused.
UniqueFd OpenStorageDirectoryAt(const UniqueFd& parent, const std::wstring& name, ConversionError::Kind kind,
                                const CancelFlag* cancelFlag);

// What tells two opened directories apart: device and inode.
struct DirectoryIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const DirectoryIdentity&) const = default;
};
DirectoryIdentity IdentityOfDirectory(const UniqueFd& directory, ConversionError::Kind kind,
                                      const CancelFlag* cancelFlag);
#endif

} // namespace vesko
