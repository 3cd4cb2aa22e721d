#include "storage/Journal.h"

#include <array>
#include <cstring>

namespace vesko {

namespace {

constexpr std::size_t kVersionOffset = 8;
constexpr std::size_t kPathLengthOffset = 12;
constexpr std::size_t kIdentityOffset = 16;
constexpr std::size_t kReservedOffset = 36;

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

std::uint32_t ReadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void WriteU32(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
}

} // namespace

std::uint32_t JournalChecksum(const std::uint8_t* bytes, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        const bool inChecksumField = i >= kJournalChecksumOffset && i < kJournalChecksumOffset + 4;
        const std::uint8_t byte = inChecksumField ? 0 : bytes[i];
        crc = kCrcTable[(crc ^ byte) & 0xFFu] ^ (crc >> 8);
    }
    return ~crc;
}

std::vector<std::uint8_t> BuildJournalRecord(const JournalIdentity& identity,
                                             const std::wstring& temporaryPath) {
    const std::size_t n = temporaryPath.size();
    std::vector<std::uint8_t> record(kJournalHeaderSize + 2 * n, 0);
    std::memcpy(record.data(), kJournalMagic, sizeof kJournalMagic);
    WriteU32(record.data() + kVersionOffset, kJournalVersion);
    WriteU32(record.data() + kPathLengthOffset, static_cast<std::uint32_t>(n));
    const std::uint32_t fields[5] = {identity.volumeSerial, identity.fileIndexHigh, identity.fileIndexLow,
                                     identity.creationTimeLow, identity.creationTimeHigh};
    for (std::size_t i = 0; i < 5; ++i)
        WriteU32(record.data() + kIdentityOffset + 4 * i, fields[i]);
    for (std::size_t i = 0; i < n; ++i) {
        const auto unit = static_cast<std::uint16_t>(temporaryPath[i]);
        record[kJournalHeaderSize + 2 * i] = static_cast<std::uint8_t>(unit);
        record[kJournalHeaderSize + 2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
    WriteU32(record.data() + kJournalChecksumOffset, JournalChecksum(record.data(), record.size()));
    return record;
}

std::optional<JournalRecord> ParseJournalRecord(const std::uint8_t* bytes, std::size_t size) {
    if (size < kJournalHeaderSize || size > kJournalMaxSize)
        return std::nullopt;
    if (std::memcmp(bytes, kJournalMagic, sizeof kJournalMagic) != 0 ||
        ReadU32(bytes + kVersionOffset) != kJournalVersion || ReadU32(bytes + kReservedOffset) != 0 ||
        ReadU32(bytes + kJournalChecksumOffset) != JournalChecksum(bytes, size))
        return std::nullopt;
    const std::uint32_t n = ReadU32(bytes + kPathLengthOffset);
    if (n > kJournalMaxPathLength || kJournalHeaderSize + 2 * std::size_t{n} != size)
        return std::nullopt;
    JournalRecord record;
    record.identity.volumeSerial = ReadU32(bytes + kIdentityOffset);
    record.identity.fileIndexHigh = ReadU32(bytes + kIdentityOffset + 4);
    record.identity.fileIndexLow = ReadU32(bytes + kIdentityOffset + 8);
    record.identity.creationTimeLow = ReadU32(bytes + kIdentityOffset + 12);
    record.identity.creationTimeHigh = ReadU32(bytes + kIdentityOffset + 16);
    record.temporaryPath.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto unit = static_cast<std::uint16_t>(bytes[kJournalHeaderSize + 2 * i] |
                                                     bytes[kJournalHeaderSize + 2 * i + 1] << 8);
        record.temporaryPath[i] = static_cast<wchar_t>(unit);
    }
    return record;
}

} // namespace vesko
