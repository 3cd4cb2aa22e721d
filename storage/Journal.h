// The recovery journal record: its layout, checksum, writing and strict reading. No system calls here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesko {

inline constexpr char kJournalMagic[8] = {'V', 'E', 'S', 'K', 'O', 'J', '0', '1'};
inline constexpr std::uint32_t kJournalVersion = 1;
inline constexpr std::size_t kJournalHeaderSize = 44;
inline constexpr std::size_t kJournalChecksumOffset = 40;
inline constexpr std::uint32_t kJournalMaxPathLength = 32767;
inline constexpr std::size_t kJournalMaxSize = kJournalHeaderSize + 2 * std::size_t{kJournalMaxPathLength};

// What GetFileInformationByHandle reported for the temporary output right after its creation.
struct JournalIdentity {
    std::uint32_t volumeSerial = 0;
    std::uint32_t fileIndexHigh = 0;
    std::uint32_t fileIndexLow = 0;
    std::uint32_t creationTimeLow = 0;
    std::uint32_t creationTimeHigh = 0;

    bool operator==(const JournalIdentity&) const = default;
};

struct JournalRecord {
    JournalIdentity identity;
    std::wstring temporaryPath;
};

// CRC-32 (reflected 0xEDB88320, zlib's) of the record with the bytes at offsets 40 to 43 taken as zero,
// so that the stored checksum never enters its own computation.
std::uint32_t JournalChecksum(const std::uint8_t* bytes, std::size_t size);

// The complete record, checksum included. `temporaryPath` must be 1 to 32767 UTF-16 units.
std::vector<std::uint8_t> BuildJournalRecord(const JournalIdentity& identity,
                                             const std::wstring& temporaryPath);

// The record, or nothing when the bytes are not exactly one intact record of version 1.
std::optional<JournalRecord> ParseJournalRecord(const std::uint8_t* bytes, std::size_t size);

} // namespace vesko
