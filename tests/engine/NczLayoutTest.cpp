// The NCZ section and block tables: every refusal with kind and exact message, and the layouts accepted.
#include "engine/Bytes.h"
#include "engine/InputFile.h"
#include "engine/NczLayout.h"
#include "tests/support/ExpectError.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

namespace vesko {
namespace {

using K = ConversionError::Kind;

constexpr const char* kOverflow = "Повреждённый файл: слишком большой размер или смещение.";
constexpr const char* kTruncated = "Повреждённый файл: данные обрезаны.";
constexpr const char* kSectionCount = "Повреждённый NCZ: некорректное число секций.";
constexpr const char* kOrder = "Повреждённый NCZ: секции пересекаются или имеют пропуски.";
constexpr const char* kCrypto = "Этот тип шифрования секции NCZ не поддерживается.";
constexpr const char* kVersion = "Неподдерживаемая версия или тип NCZBLOCK.";
constexpr const char* kBlockSize = "Повреждённый NCZBLOCK: некорректный размер блока.";
constexpr const char* kBlockCount = "Повреждённый NCZBLOCK: некорректное число блоков.";
constexpr const char* kBlockLength = "Повреждённый NCZBLOCK: некорректная длина блока.";
constexpr const char* kBlockBytes = "Повреждённый NCZBLOCK: данные обрезаны или содержат лишние байты.";
constexpr std::uint64_t kMax = 0x7FFFFFFFFFFFFFFFull;

struct Sec {
    std::uint64_t offset;
    std::uint64_t size;
    std::uint64_t type = 3;
};

// Header, section table (`count` overrides the record count), then `tail` bytes of 0x5A.
std::vector<std::uint8_t> RawNcz(const std::vector<Sec>& sections, std::optional<std::uint64_t> count = {},
                                 std::size_t tail = 64) {
    std::vector<std::uint8_t> out(0x4010 + 64 * sections.size() + tail, 0x5A);
    std::fill_n(out.begin(), 0x4000, std::uint8_t{0xAB});
    std::memcpy(out.data() + 0x4000, "NCZSECTN", 8);
    StoreLe64(out.data() + 0x4008, count.value_or(sections.size()));
    for (std::size_t k = 0; k < sections.size(); ++k) {
        std::uint8_t* record = out.data() + 0x4010 + 64 * k;
        std::fill_n(record, 64, std::uint8_t{0});
        StoreLe64(record, sections[k].offset);
        StoreLe64(record + 8, sections[k].size);
        StoreLe64(record + 16, sections[k].type);
    }
    return out;
}

// A field of the block header to overwrite: offset in the header, width in bytes, value.
struct Patch {
    int at = 0;
    int width = 0;
    std::uint64_t value = 0;
};
constexpr int kVersionAt = 8, kTypeAt = 9, kExponentAt = 11, kCountAt = 12, kBodyAt = 16;

// Block form (exponent 14 unless patched): header, the sizes, and their data with `extra` bytes more or less.
std::vector<std::uint8_t> Blk(const std::vector<Sec>& sections, const std::vector<std::uint32_t>& sizes,
                              Patch patch = {}, std::int64_t extra = 0) {
    std::uint64_t data = 0;
    for (std::uint32_t size : sizes)
        data += size;
    auto out = RawNcz(sections, {}, static_cast<std::size_t>(24 + 4 * sizes.size() + data + extra));
    std::uint8_t* header = out.data() + 0x4010 + 64 * sections.size();
    std::memcpy(header, "NCZBLOCK\2\1\0\16", 12);
    StoreLe32(header + kCountAt, static_cast<std::uint32_t>(sizes.size()));
    StoreLe64(header + kBodyAt, sections.back().offset + sections.back().size - 0x4000);
    for (std::size_t k = 0; k < sizes.size(); ++k)
        StoreLe32(header + 24 + 4 * k, sizes[k]);
    for (int i = 0; i < patch.width; ++i)
        header[patch.at + i] = static_cast<std::uint8_t>(patch.value >> (8 * i));
    return out;
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> Head(std::size_t size, const char* magic = "NCZSECTN", std::uint64_t count = 1) {
    std::vector<std::uint8_t> out(size, 0);
    if (size >= 0x4010) {
        std::memcpy(out.data() + 0x4000, magic, 8);
        StoreLe64(out.data() + 0x4008, count);
    }
    return out;
}

// 1100 sections, past one read of the section table; section `bad` of crypto type 2.
std::vector<std::uint8_t> ManySections(std::size_t bad) {
    std::vector<Sec> sections;
    for (std::uint64_t k = 0; k < 1100; ++k)
        sections.push_back({0x4000 + 0x10 * k, 0x10, k == bad ? 2u : 3u});
    return RawNcz(sections);
}

// Parses `bytes` as a member at `offset`, of `size` bytes (default: the rest of the file).
NczLayout Parse(const std::vector<std::uint8_t>& bytes, std::uint64_t offset = 0,
                std::optional<std::uint64_t> size = {}, const CancelFlag* flag = nullptr) {
    test::TempDir dir;
    testfiles::WriteWholeFile(dir.file(L"m.ncz"), bytes);
    InputFile input(dir.file(L"m.ncz"));
    return ParseNczLayout(input, offset, size.value_or(bytes.size() - offset), flag);
}

TEST(NczLayout, RefusalsCarryKindAndExactMessage) {
    struct Refusal {
        const char* what;
        std::vector<std::uint8_t> bytes;
        K kind;
        const char* message;
        std::uint64_t offset = 0;
        std::optional<std::uint64_t> size = {};
    };
    const Sec s1{0x4000, 0x4000};
    const std::uint64_t tooMany = 0x100001, most = 0x100000;
    const Refusal cases[] = {
        {"size with bit 63", Head(0x4100), K::Corrupt, kOverflow, 0, 1ull << 63},
        {"end past 2^63-1", Head(0x4100), K::Corrupt, kOverflow, kMax - 0x4000 + 1, 0x4000},
        {"smaller than the NCA header", Head(0x3FFF), K::Corrupt,
         "Повреждённый файл: заголовок выходит за границы данных."},
        {"no room for the section header", Head(0x400F), K::Corrupt, kTruncated},
        {"no room for the section count", Head(0x4008), K::Corrupt, kTruncated},
        {"other magic", Head(0x4100, "NCZSECTX"), K::Corrupt, "В файле NCZ отсутствует заголовок NCZSECTN."},
        {"16400 bytes, count 0", Head(0x4010, "NCZSECTN", 0), K::Corrupt, kSectionCount},
        {"16400 bytes, count 1", Head(0x4010, "NCZSECTN", 1), K::Corrupt, kSectionCount},
        {"count one more than fits", RawNcz({s1}, 2, 63), K::Corrupt, kSectionCount},
        // The member size alone decides whether the records fit; the largest count goes on to the records.
        {"one section more than supported", Head(0x4010, "NCZSECTN", tooMany), K::Unsupported, kSectionCount,
         0, 0x4010 + 64 * tooMany},
        {"most sections supported, first empty", Head(0x14010, "NCZSECTN", most), K::Corrupt,
         "Повреждённый NCZ: пустая секция.", 0, 0x4010 + 64 * most + 8},
        {"empty section", RawNcz({{0x4000, 0}}), K::Corrupt, "Повреждённый NCZ: пустая секция."},
        {"section size with bit 63", RawNcz({{0x4000, 1ull << 63}}), K::Corrupt, kOverflow},
        {"section end past 2^63-1", RawNcz({{kMax, 1}}), K::Corrupt, kOverflow},
        {"gap between sections", RawNcz({s1, {0x8001, 0x1000}}), K::Corrupt, kOrder},
        {"overlapping sections", RawNcz({s1, {0x7FFF, 0x1000}}), K::Corrupt, kOrder},
        {"crypto type 2", RawNcz({{0x4000, 0x4000, 2}}), K::Unsupported, kCrypto},
        {"crypto type 0", RawNcz({{0x4000, 0x4000, 0}}), K::Unsupported, kCrypto},
        {"crypto type 5", RawNcz({s1, {0x8000, 0x10, 5}}), K::Unsupported, kCrypto},
        {"crypto type 2 in the second read of records", ManySections(1050), K::Unsupported, kCrypto},
        {"NCA ends with its header", RawNcz({{0x3000, 0x1000}}), K::Corrupt,
         "Повреждённый NCZ: отсутствуют данные после заголовка NCA."},
        {"3 bytes of data", RawNcz({s1}, {}, 3), K::Corrupt, "Повреждённый NCZ: отсутствуют сжатые данные."},
        {"block magic only, 8 bytes", Cut(Blk({s1}, {1}), 0x4010 + 64 + 8), K::Corrupt, kTruncated},
        {"block header cut short, 23 bytes", Cut(Blk({s1}, {1}), 0x4010 + 64 + 23), K::Corrupt, kTruncated},
        {"block header whole, 24 bytes, no table", Cut(Blk({s1}, {1}), 0x4010 + 64 + 24), K::Corrupt,
         kBlockCount},
        {"block version 1", Blk({s1}, {1}, {kVersionAt, 1, 1}), K::Unsupported, kVersion},
        {"block type 2", Blk({s1}, {1}, {kTypeAt, 1, 2}), K::Unsupported, kVersion},
        {"exponent 13", Blk({s1}, {1}, {kExponentAt, 1, 13}), K::Corrupt, kBlockSize},
        {"exponent 33", Blk({s1}, {1}, {kExponentAt, 1, 33}), K::Corrupt, kBlockSize},
        {"body size other than the sections'", Blk({s1}, {1}, {kBodyAt, 8, 0x3FFF}), K::Corrupt,
         "Повреждённый NCZBLOCK: размеры блоков и секций не совпадают."},
        {"block count 0", Blk({s1}, {1}, {kCountAt, 4, 0}), K::Corrupt, kBlockCount},
        {"block count too high", Blk({s1}, {1, 1}), K::Corrupt, kBlockCount},
        {"block count too low", Blk({{0x4000, 0x4001}}, {1}), K::Corrupt, kBlockCount},
        {"table larger than the member", Blk({{0x4000, 0x8000}}, {1}, {kCountAt, 4, 2}), K::Corrupt,
         kBlockCount},
        {"block of size 0", Blk({s1}, {0}), K::Corrupt, kBlockLength},
        {"block larger than its content", Blk({s1}, {0x4001}), K::Corrupt, kBlockLength},
        {"last 1-byte block of size 2", Blk({{0x4000, 0x8001}}, {5, 5, 2}), K::Corrupt, kBlockLength},
        {"one spare byte", Blk({s1}, {10}, {}, 1), K::Corrupt, kBlockBytes},
        {"one byte missing", Blk({s1}, {10}, {}, -1), K::Corrupt, kBlockBytes},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        test::ExpectConversionError([&] { Parse(c.bytes, c.offset, c.size); }, {c.kind, c.message});
    }
}

TEST(NczLayout, SingleStreamForms) {
    for (std::size_t tail : {4u, 5u, 7u, 8u, 100u}) {
        SCOPED_TRACE(tail);
        auto bytes = RawNcz({{0x4000, 0x4000}, {0x8000, 0x1000, 1}}, {}, tail);
        std::memcpy(bytes.data() + 0x4010 + 128, "NCZBLOCK", std::min<std::size_t>(tail, 7));
        const NczLayout layout = Parse(bytes);
        EXPECT_FALSE(layout.blockForm);
        EXPECT_EQ(layout.sections.size(), 2u);
        EXPECT_EQ(layout.ncaSize, 0x9000u);
        EXPECT_EQ(layout.dataOffset, 0x4010u + 128);
        EXPECT_EQ(layout.dataSize, tail);
        EXPECT_EQ(layout.blockSize, 0u);
    }
    EXPECT_EQ(Parse(RawNcz({{0x100, 0x4000}, {0x4100, 0x10}})).ncaSize, 0x4110u); // sections start anywhere
}

TEST(NczLayout, BlockFormsAccepted) {
    struct Case {
        const char* what;
        std::uint64_t body;
        int exponent;
        std::vector<std::uint32_t> sizes;
    };
    const Case cases[] = {
        {"exponent 14", 0x4000, 14, {100}},
        {"exponent 32", 0x4000, 32, {0x4000}},
        {"five blocks and a byte, last stored", 5 * 0x4000 + 1, 14, {9, 9, 9, 9, 0x4000, 1}},
        // 20000 entries span two passes of the 16384-entry buffer.
        {"20000 blocks", 20000 * 0x4000, 14, std::vector<std::uint32_t>(20000, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint64_t at = 77;
        auto bytes =
            Blk({{0x4000, c.body}}, c.sizes, {kExponentAt, 1, static_cast<std::uint64_t>(c.exponent)});
        bytes.insert(bytes.begin(), at, 0);
        const NczLayout layout = Parse(bytes, at);
        EXPECT_TRUE(layout.blockForm);
        EXPECT_EQ(layout.blockSize, std::uint64_t{1} << c.exponent);
        EXPECT_EQ(layout.blockCount, c.sizes.size());
        EXPECT_EQ(layout.blockTableOffset, at + 0x4010 + 64 + 24);
        EXPECT_EQ(layout.dataOffset, layout.blockTableOffset + 4 * c.sizes.size());
        EXPECT_EQ(layout.dataSize, bytes.size() - layout.dataOffset);
    }
    // The bad entry sits in the table's second pass.
    std::vector<std::uint32_t> sizes(20000, 1);
    sizes[18000] = 0;
    test::ExpectConversionError(
        [&] {
            Parse(Blk({{0x4000, 20000 * 0x4000}}, sizes));
        },
        {K::Corrupt, kBlockLength});
}

TEST(NczLayout, CancellationIsHonoured) {
    CancelFlag flag{1};
    EXPECT_THROW(Parse(RawNcz({{0x4000, 0x4000}}), 0, {}, &flag), Cancelled);
}

} // namespace
} // namespace vesko
