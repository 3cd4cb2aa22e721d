// The storage decisions that do not depend on the system: names, limits and the way a storage
// operation fails. The Windows and the POSIX storage code both decide through these.
#pragma once

#include "engine/ConversionError.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesko {

// Windows codes that the storage code raises itself; the POSIX code reports errno values in these too,
// so that the interface chooses the same texts on both systems.
inline constexpr std::uint32_t kErrorNotSameDevice = 17;
inline constexpr std::uint32_t kErrorWriteFault = 29;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorInvalidName = 123;
inline constexpr std::uint32_t kErrorFileTooLarge = 223;
inline constexpr std::uint32_t kErrorCantAccessFile = 1920;

// The longest path accepted anywhere in the storage code, in UTF-16 units.
inline constexpr std::uint32_t kMaxStoragePath = 32767;

inline constexpr std::size_t kRecordNameBytes = 16;
inline constexpr std::size_t kRecordNameLength = 2 * kRecordNameBytes;

// Throws Cancelled for 995 while `cancelFlag` is set; otherwise ConversionError with the " (Windows N)"
// suffix, the kind turned into AccessDenied for the access-denied codes unless it is RecoveryRecords.
[[noreturn]] void ThrowStorageError(ConversionError::Kind kind, const std::string& message,
                                    std::uint32_t windowsError, const CancelFlag* cancelFlag);

// 32 lower-case hexadecimal digits, high nibble first.
std::wstring RecordNameOf(const std::uint8_t (&random)[kRecordNameBytes]);

// The record name of a journal file name, or empty when the name is not one this program writes.
std::wstring RecordNameOfJournal(const std::wstring& fileName);

std::wstring JournalFileName(const std::wstring& recordName);
std::wstring TemporaryFileName(const std::wstring& recordName);

// Candidate `number` for a wanted file name: the name itself for 0, else "stem (number)" + extension,
// split at the last dot.
std::wstring CandidateName(const std::wstring& wantedName, std::uint32_t number);

// Called when candidate `number` was refused because its name is taken (with `error`): returns when the
// next candidate is to be tried, otherwise throws NameConflict.
void NextCandidateOrThrow(std::uint32_t error, bool pickUnusedName, std::uint32_t number,
                          const CancelFlag* cancelFlag);

// The largest file the named file system allows; no limit is the largest 64-bit value.
std::uint64_t FileSystemSizeLimit(const std::wstring& fileSystemName);

// The two answers of the space check; their messages carry no system code.
void ThrowIfOverSizeLimit(std::uint64_t requiredBytes, const std::wstring& fileSystemName);
void ThrowIfOverAvailable(std::uint64_t requiredBytes, std::uint64_t availableBytes);

} // namespace vesko
