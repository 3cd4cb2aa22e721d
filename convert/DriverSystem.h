// What the conversion driver asks of the system around the conversion itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vesko {

class OutputFile;
class PendingOutput;

// The form of a full path that this system's file calls take (on Windows the long form).
std::wstring FileCallPath(const std::wstring& fullPath);

// True when both paths name one file: on Windows equal but for letter case, on POSIX equal or the same
// existing file (device and inode) through another name.
bool IsSameFile(const std::wstring& inputCallPath, const std::wstring& outputCallPath);

// True when something exists at the path; otherwise `error` is the code of the failed probe.
bool OutputPathExists(const std::wstring& outputCallPath, std::uint32_t& error);

// The writer's view of the reserved temporary file, which stays owned by the reservation.
std::unique_ptr<OutputFile> BorrowReservedOutput(const PendingOutput& pending);

} // namespace vesko
