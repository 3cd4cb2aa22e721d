#include "storage/Journal.h"

#include "tests/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vesko {
namespace {

using test::Reseal;
using test::SetU32;
using test::U32At;
using Bytes = std::vector<std::uint8_t>;

// A bit-by-bit CRC-32 written from the definition, to check the table-driven one against.
std::uint32_t ReferenceCrc32(const Bytes& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
    }
    return ~crc;
}

Bytes ChecksumZeroed(Bytes bytes) {
    std::fill(bytes.begin() + 40, bytes.begin() + 44, 0);
    return bytes;
}

TEST(JournalChecksum, Crc32WithOffsets40To43AsZero) {
    EXPECT_EQ(JournalChecksum(reinterpret_cast<const std::uint8_t*>("123456789"), 9), 0xCBF43926u);
    EXPECT_EQ(JournalChecksum(nullptr, 0), 0u);
    Bytes bytes(60);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const std::uint32_t sum = JournalChecksum(bytes.data(), bytes.size());
    EXPECT_EQ(sum, ReferenceCrc32(ChecksumZeroed(bytes)));
    for (std::size_t offset : {39, 40, 43, 44}) {
        SCOPED_TRACE(offset);
        Bytes changed = bytes;
        changed[offset] ^= 0xFF;
        EXPECT_EQ(JournalChecksum(changed.data(), changed.size()) == sum, offset >= 40 && offset <= 43);
    }
}

const JournalIdentity kIdentity{0x11223344u, 0x55667788u, 0x99AABBCCu, 0xDDEEFF00u, 0x01020304u};
const std::wstring kPath = L"\\\\?\\C:\\d\\.vesko-0123456789abcdef0123456789abcdef.tmp";

TEST(BuildJournalRecord, Layout) {
    const Bytes record = BuildJournalRecord(kIdentity, kPath);
    ASSERT_EQ(record.size(), 44 + 2 * kPath.size());
    EXPECT_EQ(std::memcmp(record.data(), "VESKOJ01", 8), 0);
    // Little-endian fields after the magic: version, path length, the identity, the reserved zero.
    const std::uint32_t fields[] = {1,           static_cast<std::uint32_t>(kPath.size()),
                                    0x11223344u, 0x55667788u,
                                    0x99AABBCCu, 0xDDEEFF00u,
                                    0x01020304u, 0};
    for (std::size_t i = 0; i < std::size(fields); ++i)
        EXPECT_EQ(U32At(record, 8 + 4 * i), fields[i]) << i;
    EXPECT_EQ(U32At(record, 40), ReferenceCrc32(ChecksumZeroed(record)));
    for (std::size_t i = 0; i < kPath.size(); ++i)
        EXPECT_EQ(record[44 + 2 * i] | record[45 + 2 * i] << 8, kPath[i]) << i;
}

TEST(ParseJournalRecord, ReadsBackWhatWasBuiltAndRefusesDamage) {
    const std::wstring longest = L"\\\\?\\C:\\" + std::wstring(32767 - 7, L'a');
    for (const std::wstring& path :
         {std::wstring(L"\\\\?\\UNC\\s\\share\\\u0418\u0433\u0440\u0430\\.vesko-x.tmp"), longest}) {
        const Bytes record = BuildJournalRecord(kIdentity, path);
        const std::optional<JournalRecord> parsed = ParseJournalRecord(record.data(), record.size());
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->identity, kIdentity);
        EXPECT_EQ(parsed->temporaryPath, path);
    }
    // The longest path fits the largest journal, which the recovery scan reads up to.
    EXPECT_EQ(BuildJournalRecord(kIdentity, longest).size(), kJournalMaxSize);
    EXPECT_EQ(kJournalMaxSize, 65578u);
    struct Case {
        const char* name;
        void (*damage)(Bytes&);
        bool reseal;
    };
    const Case cases[] = {
        {"checksum", [](Bytes& b) { b[40] ^= 1; }, false},
        {"path byte without resealing", [](Bytes& b) { b[50] ^= 1; }, false},
        {"magic", [](Bytes& b) { b[7] = '2'; }, true},
        {"version 2", [](Bytes& b) { SetU32(b, 8, 2); }, true},
        {"version 0", [](Bytes& b) { SetU32(b, 8, 0); }, true},
        {"reserved field", [](Bytes& b) { SetU32(b, 36, 1); }, true},
        {"path length one short", [](Bytes& b) { SetU32(b, 12, U32At(b, 12) - 1); }, true},
        {"path length one long", [](Bytes& b) { SetU32(b, 12, U32At(b, 12) + 1); }, true},
        {"path length above 32767", [](Bytes& b) { SetU32(b, 12, 32768); }, true},
        {"one byte more", [](Bytes& b) { b.push_back(0); }, true},
        {"one byte less", [](Bytes& b) { b.pop_back(); }, true},
        {"header only", [](Bytes& b) { b.resize(43); }, false},
        {"empty", [](Bytes& b) { b.clear(); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes record = BuildJournalRecord(kIdentity, kPath);
        c.damage(record);
        if (c.reseal)
            Reseal(record);
        EXPECT_FALSE(ParseJournalRecord(record.data(), record.size()).has_value());
    }
}

} // namespace
} // namespace vesko
