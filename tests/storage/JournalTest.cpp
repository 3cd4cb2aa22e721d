#include "storage/Journal.h"

#include "tests/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vesko {
namespace {

using test::Reseal;
using test::SetU32;
using test::U32At;

// A bit-by-bit CRC-32 written from the definition, to check the table-driven one against.
std::uint32_t ReferenceCrc32(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
    }
    return ~crc;
}

TEST(JournalChecksum, StandardCheckValue) {
    const char* text = "123456789";
    EXPECT_EQ(JournalChecksum(reinterpret_cast<const std::uint8_t*>(text), 9), 0xCBF43926u);
    EXPECT_EQ(JournalChecksum(nullptr, 0), 0u);
}

TEST(JournalChecksum, TakesOffsets40To43AsZero) {
    std::vector<std::uint8_t> bytes(60);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::vector<std::uint8_t> zeroed = bytes;
    std::fill(zeroed.begin() + 40, zeroed.begin() + 44, 0);
    const std::uint32_t sum = JournalChecksum(bytes.data(), bytes.size());
    EXPECT_EQ(sum, ReferenceCrc32(zeroed));
    EXPECT_NE(sum, ReferenceCrc32(bytes));
    for (std::size_t offset : {std::size_t{39}, std::size_t{40}, std::size_t{43}, std::size_t{44}}) {
        SCOPED_TRACE(offset);
        std::vector<std::uint8_t> changed = bytes;
        changed[offset] ^= 0xFF;
        const bool inField = offset >= 40 && offset <= 43;
        EXPECT_EQ(JournalChecksum(changed.data(), changed.size()) == sum, inField);
    }
}

const JournalIdentity kIdentity{0x11223344u, 0x55667788u, 0x99AABBCCu, 0xDDEEFF00u, 0x01020304u};
const std::wstring kPath = L"\\\\?\\C:\\d\\.vesko-0123456789abcdef0123456789abcdef.tmp";

TEST(BuildJournalRecord, Layout) {
    const std::vector<std::uint8_t> record = BuildJournalRecord(kIdentity, kPath);
    ASSERT_EQ(record.size(), 44 + 2 * kPath.size());
    EXPECT_EQ(std::memcmp(record.data(), "VESKOJ01", 8), 0);
    // Little-endian fields after the magic: version, path length, the identity, the reserved zero.
    const auto length = static_cast<std::uint32_t>(kPath.size());
    const std::uint32_t fields[] = {1,           length,      0x11223344u, 0x55667788u,
                                    0x99AABBCCu, 0xDDEEFF00u, 0x01020304u, 0};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        EXPECT_EQ(U32At(record, 8 + 4 * i), fields[i]) << i;
    }
    std::vector<std::uint8_t> zeroed = record;
    std::fill(zeroed.begin() + 40, zeroed.begin() + 44, 0);
    EXPECT_EQ(U32At(record, 40), ReferenceCrc32(zeroed));
    for (std::size_t i = 0; i < kPath.size(); ++i) {
        EXPECT_EQ(record[44 + 2 * i], static_cast<std::uint8_t>(kPath[i]));
        EXPECT_EQ(record[45 + 2 * i], static_cast<std::uint8_t>(kPath[i] >> 8));
    }
}

TEST(ParseJournalRecord, ReadsBackWhatWasBuilt) {
    const std::wstring path = L"\\\\?\\UNC\\s\\share\\\u0418\u0433\u0440\u0430\\.vesko-x.tmp";
    const std::vector<std::uint8_t> record = BuildJournalRecord(kIdentity, path);
    const std::optional<JournalRecord> parsed = ParseJournalRecord(record.data(), record.size());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->identity, kIdentity);
    EXPECT_EQ(parsed->temporaryPath, path);
}

TEST(ParseJournalRecord, RefusesDamagedRecords) {
    struct Case {
        const char* name;
        void (*damage)(std::vector<std::uint8_t>&);
    };
    const Case cases[] = {
        {"checksum", [](std::vector<std::uint8_t>& b) { b[40] ^= 1; }},
        {"path byte without resealing", [](std::vector<std::uint8_t>& b) { b[50] ^= 1; }},
        {"magic",
         [](std::vector<std::uint8_t>& b) {
             b[7] = '2';
             Reseal(b);
         }},
        {"version 2",
         [](std::vector<std::uint8_t>& b) {
             SetU32(b, 8, 2);
             Reseal(b);
         }},
        {"version 0",
         [](std::vector<std::uint8_t>& b) {
             SetU32(b, 8, 0);
             Reseal(b);
         }},
        {"reserved field",
         [](std::vector<std::uint8_t>& b) {
             SetU32(b, 36, 1);
             Reseal(b);
         }},
        {"path length one short",
         [](std::vector<std::uint8_t>& b) {
             SetU32(b, 12, U32At(b, 12) - 1);
             Reseal(b);
         }},
        {"path length one long",
         [](std::vector<std::uint8_t>& b) {
             SetU32(b, 12, U32At(b, 12) + 1);
             Reseal(b);
         }},
        {"path length above 32767",
         [](std::vector<std::uint8_t>& b) {
             SetU32(b, 12, 32768);
             Reseal(b);
         }},
        {"one byte more",
         [](std::vector<std::uint8_t>& b) {
             b.push_back(0);
             Reseal(b);
         }},
        {"one byte less",
         [](std::vector<std::uint8_t>& b) {
             b.pop_back();
             Reseal(b);
         }},
        {"header only", [](std::vector<std::uint8_t>& b) { b.resize(43); }},
        {"empty", [](std::vector<std::uint8_t>& b) { b.clear(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> record = BuildJournalRecord(kIdentity, kPath);
        c.damage(record);
        EXPECT_FALSE(ParseJournalRecord(record.data(), record.size()).has_value());
    }
    const std::vector<std::uint8_t> intact = BuildJournalRecord(kIdentity, kPath);
    EXPECT_TRUE(ParseJournalRecord(intact.data(), intact.size()).has_value());
}

TEST(ParseJournalRecord, LongestPathFitsTheLargestJournal) {
    const std::wstring longest = L"\\\\?\\C:\\" + std::wstring(32767 - 7, L'a');
    const std::vector<std::uint8_t> record = BuildJournalRecord(kIdentity, longest);
    EXPECT_EQ(record.size(), kJournalMaxSize);
    EXPECT_EQ(kJournalMaxSize, 65578u);
    EXPECT_TRUE(ParseJournalRecord(record.data(), record.size()).has_value());
}

} // namespace
} // namespace vesko
