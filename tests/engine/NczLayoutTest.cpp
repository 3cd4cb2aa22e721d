// The NCZ section and block tables: every refusal with kind and exact message, and the layouts accepted.
#include "engine/Bytes.h"
#include "engine/InputFile.h"
#include "engine/NczLayout.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>

namespace vesko {
namespace {

using K = ConversionError::Kind;

constexpr const char* kOverflow = "Повреждённый файл: слишком большой размер или смещение.";
constexpr const char* kTruncated = "Повреждённый файл: данные обрезаны.";
constexpr const char* kSectionCount = "Повреждённый NCZ: некорректное число секций.";
constexpr const char* kBlockCount = "Повреждённый NCZBLOCK: некорректное число блоков.";
constexpr const char* kBlockLength = "Повреждённый NCZBLOCK: некорректная длина блока.";
constexpr const char* kBlockBytes = "Повреждённый NCZBLOCK: данные обрезаны или содержат лишние байты.";
constexpr std::uint64_t kMax = 0x7FFFFFFFFFFFFFFFull;

struct Sec {
    std::uint64_t offset;
    std::uint64_t size;
    std::uint64_t type = 3;
};

struct Blocks {
    explicit Blocks(std::vector<std::uint32_t> blockSizes) : sizes(std::move(blockSizes)) {}
    Blocks& withVersion(int v) {
        version = v;
        return *this;
    }
    Blocks& withType(int t) {
        type = t;
        return *this;
    }
    Blocks& withExponent(int e) {
        exponent = e;
        return *this;
    }
    Blocks& withCount(std::uint32_t c) {
        count = c;
        return *this;
    }
    Blocks& withBody(std::uint64_t b) {
        body = b;
        return *this;
    }
    Blocks& withExtraData(std::int64_t e) {
        extraData = e;
        return *this;
    }

    int version = 2;
    int type = 1;
    int exponent = 14;
    std::optional<std::uint32_t> count; // default: what the sizes give
    std::optional<std::uint64_t> body;  // default: NCA size - 0x4000
    std::vector<std::uint32_t> sizes;
    std::int64_t extraData = 0; // bytes added to (or removed from) the data the sizes call for
};

// An NCZ member: header, section table, then either `tail` bytes or a block header, table and data.
std::vector<std::uint8_t> RawNcz(const std::vector<Sec>& sections, std::optional<std::uint64_t> count = {},
                                 const Blocks* blocks = nullptr, std::size_t tail = 64) {
    std::vector<std::uint8_t> out(0x4000, 0xAB);
    out.resize(0x4010);
    std::memcpy(out.data() + 0x4000, "NCZSECTN", 8);
    StoreLe64(out.data() + out.size() - 8, count.value_or(sections.size()));
    for (const Sec& s : sections) {
        out.resize(out.size() + 64);
        std::uint8_t* record = out.data() + out.size() - 64;
        StoreLe64(record, s.offset);
        StoreLe64(record + 8, s.size);
        StoreLe64(record + 16, s.type);
    }
    if (!blocks) {
        out.resize(out.size() + tail, 0x5A);
        return out;
    }
    const Sec& last = sections.back();
    const std::uint64_t body = blocks->body.value_or(last.offset + last.size - 0x4000);
    out.resize(out.size() + 24);
    std::uint8_t* header = out.data() + out.size() - 24;
    std::memcpy(header, "NCZBLOCK", 8);
    header[8] = static_cast<std::uint8_t>(blocks->version);
    header[9] = static_cast<std::uint8_t>(blocks->type);
    header[11] = static_cast<std::uint8_t>(blocks->exponent);
    StoreLe32(header + 12, blocks->count.value_or(static_cast<std::uint32_t>(blocks->sizes.size())));
    StoreLe64(header + 16, body);
    std::uint64_t data = 0;
    for (std::uint32_t size : blocks->sizes) {
        out.resize(out.size() + 4);
        StoreLe32(out.data() + out.size() - 4, size);
        data += size;
    }
    out.resize(static_cast<std::size_t>(static_cast<std::int64_t>(out.size() + data) + blocks->extraData),
               0x33);
    return out;
}

// Keeps a temporary alive for the full expression that takes its address.
const Blocks& Keep(const Blocks& b) {
    return b;
}

class MemberFile {
  public:
    explicit MemberFile(const std::vector<std::uint8_t>& bytes)
        : path_(dir_.file(L"m.ncz")), size_(bytes.size()) {
        testfiles::WriteWholeFile(path_, bytes);
    }
    NczLayout parse(std::uint64_t offset = 0, std::optional<std::uint64_t> size = {},
                    const CancelFlag* flag = nullptr) const {
        InputFile input(path_);
        return ParseNczLayout(input, offset, size.value_or(size_), flag);
    }
    const std::wstring& path() const { return path_; }

  private:
    test::TempDir dir_;
    std::wstring path_;
    std::uint64_t size_;
};

struct Refusal {
    const char* what;
    std::vector<std::uint8_t> bytes;
    K kind;
    const char* message;
    std::uint64_t offset = 0;
    std::optional<std::uint64_t> size = {};
};

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

TEST(NczLayout, RefusalsCarryKindAndExactMessage) {
    const Sec s1{0x4000, 0x4000};
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
        {"count one more than fits", RawNcz({s1}, 2, nullptr, 63), K::Corrupt, kSectionCount},
        {"empty section", RawNcz({{0x4000, 0}}), K::Corrupt, "Повреждённый NCZ: пустая секция."},
        {"section size with bit 63", RawNcz({{0x4000, 1ull << 63}}), K::Corrupt, kOverflow},
        {"section end past 2^63-1", RawNcz({{kMax, 1}}), K::Corrupt, kOverflow},
        {"gap between sections", RawNcz({s1, {0x8001, 0x1000}}), K::Corrupt,
         "Повреждённый NCZ: секции пересекаются или имеют пропуски."},
        {"overlapping sections", RawNcz({s1, {0x7FFF, 0x1000}}), K::Corrupt,
         "Повреждённый NCZ: секции пересекаются или имеют пропуски."},
        {"crypto type 2", RawNcz({{0x4000, 0x4000, 2}}), K::Unsupported,
         "Этот тип шифрования секции NCZ не поддерживается."},
        {"crypto type 0", RawNcz({{0x4000, 0x4000, 0}}), K::Unsupported,
         "Этот тип шифрования секции NCZ не поддерживается."},
        {"crypto type 5", RawNcz({s1, {0x8000, 0x10, 5}}), K::Unsupported,
         "Этот тип шифрования секции NCZ не поддерживается."},
        {"crypto type 2 in the second read of records", ManySections(1050), K::Unsupported,
         "Этот тип шифрования секции NCZ не поддерживается."},
        {"NCA ends with its header", RawNcz({{0x3000, 0x1000}}), K::Corrupt,
         "Повреждённый NCZ: отсутствуют данные после заголовка NCA."},
        {"3 bytes of data", RawNcz({s1}, {}, {}, 3), K::Corrupt,
         "Повреждённый NCZ: отсутствуют сжатые данные."},
        {"block header cut short",
         [&s1] {
             auto b = RawNcz({s1}, {}, &Keep(Blocks(std::vector<std::uint32_t>{1})));
             b.resize(0x4010 + 64 + 23);
             return b;
         }(),
         K::Corrupt, kTruncated},
        {"block version 1", RawNcz({s1}, {}, &Keep(Blocks(std::vector<std::uint32_t>{1}).withVersion(1))),
         K::Unsupported, "Неподдерживаемая версия или тип NCZBLOCK."},
        {"block type 2", RawNcz({s1}, {}, &Keep(Blocks(std::vector<std::uint32_t>{1}).withType(2))),
         K::Unsupported, "Неподдерживаемая версия или тип NCZBLOCK."},
        {"exponent 13", RawNcz({s1}, {}, &Keep(Blocks(std::vector<std::uint32_t>{1}).withExponent(13))),
         K::Corrupt, "Повреждённый NCZBLOCK: некорректный размер блока."},
        {"exponent 33", RawNcz({s1}, {}, &Keep(Blocks(std::vector<std::uint32_t>{1}).withExponent(33))),
         K::Corrupt, "Повреждённый NCZBLOCK: некорректный размер блока."},
        {"body size other than the sections'",
         RawNcz({s1}, {}, &Keep(Blocks(std::vector<std::uint32_t>{1}).withBody(0x3FFF))), K::Corrupt,
         "Повреждённый NCZBLOCK: размеры блоков и секций не совпадают."},
        {"block count 0", RawNcz({s1}, {}, &Keep(Blocks(std::vector<std::uint32_t>{1}).withCount(0))),
         K::Corrupt, kBlockCount},
        {"block count too high", RawNcz({s1}, {}, &Keep(Blocks(std::vector<std::uint32_t>{1, 1}))),
         K::Corrupt, kBlockCount},
        {"block count too low", RawNcz({{0x4000, 0x4001}}, {}, &Keep(Blocks(std::vector<std::uint32_t>{1}))),
         K::Corrupt, kBlockCount},
        {"table larger than the member",
         RawNcz({{0x4000, 0x8000}}, {}, &Keep(Blocks(std::vector<std::uint32_t>{1}).withCount(2))),
         K::Corrupt, kBlockCount},
        {"block of size 0", RawNcz({s1}, {}, &Keep(Blocks(std::vector<std::uint32_t>{0}))), K::Corrupt,
         kBlockLength},
        {"block larger than its content", RawNcz({s1}, {}, &Keep(Blocks(std::vector<std::uint32_t>{0x4001}))),
         K::Corrupt, kBlockLength},
        {"last 1-byte block of size 2",
         RawNcz({{0x4000, 0x8001}}, {}, &Keep(Blocks(std::vector<std::uint32_t>{5, 5, 2}))), K::Corrupt,
         kBlockLength},
        {"one spare byte", RawNcz({s1}, {}, &Keep(Blocks(std::vector<std::uint32_t>{10}).withExtraData(1))),
         K::Corrupt, kBlockBytes},
        {"one byte missing",
         RawNcz({s1}, {}, &Keep(Blocks(std::vector<std::uint32_t>{10}).withExtraData(-1))), K::Corrupt,
         kBlockBytes},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        MemberFile file(c.bytes);
        try {
            file.parse(c.offset, c.size);
            ADD_FAILURE() << "accepted";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.kind, c.kind);
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

TEST(NczLayout, MoreThanAMillionSectionsIsUnsupported) {
    const std::uint64_t count = 0x100001;
    auto head = Head(0x4010, "NCZSECTN", count);
    test::TempDir dir;
    const std::wstring path = dir.file(L"many.ncz");
    testfiles::WriteWholeFile(path, head);
    const std::uint64_t size = 0x4010 + 64 * count + 8;
    std::filesystem::resize_file(std::filesystem::path(path), size);
    InputFile input(path);
    try {
        ParseNczLayout(input, 0, size, nullptr);
        FAIL() << "accepted";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::Unsupported);
        EXPECT_STREQ(e.what(), kSectionCount);
    }
}

TEST(NczLayout, SingleStreamForms) {
    struct Case {
        std::size_t tail;
    };
    for (std::size_t tail : {4u, 5u, 7u, 8u, 100u}) {
        SCOPED_TRACE(tail);
        MemberFile file(RawNcz({{0x4000, 0x4000}, {0x8000, 0x1000, 1}}, {}, {}, tail));
        const NczLayout layout = file.parse();
        EXPECT_FALSE(layout.blockForm);
        EXPECT_EQ(layout.sections.size(), 2u);
        EXPECT_EQ(layout.ncaSize, 0x9000u);
        EXPECT_EQ(layout.dataOffset, 0x4010u + 128);
        EXPECT_EQ(layout.dataSize, tail);
        EXPECT_EQ(layout.blockSize, 0u);
    }
}

TEST(NczLayout, SectionsMayStartAnywhere) {
    MemberFile file(RawNcz({{0x100, 0x4000}, {0x4100, 0x10}}));
    EXPECT_EQ(file.parse().ncaSize, 0x4110u);
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint64_t memberOffset = 77;
        auto bytes = RawNcz({{0x4000, c.body}}, {}, &Keep(Blocks(c.sizes).withExponent(c.exponent)));
        bytes.insert(bytes.begin(), memberOffset, 0);
        MemberFile file(bytes);
        const NczLayout layout = file.parse(memberOffset, bytes.size() - memberOffset);
        EXPECT_TRUE(layout.blockForm);
        EXPECT_EQ(layout.blockSize, std::uint64_t{1} << c.exponent);
        EXPECT_EQ(layout.blockCount, c.sizes.size());
        const std::uint64_t tableOffset = memberOffset + 0x4010 + 64 + 24;
        EXPECT_EQ(layout.blockTableOffset, tableOffset);
        EXPECT_EQ(layout.dataOffset, tableOffset + 4 * c.sizes.size());
        EXPECT_EQ(layout.dataSize, bytes.size() - layout.dataOffset);
    }
}

TEST(NczLayout, BlockTableLargerThanOneBufferIsCheckedWhole) {
    // 20000 entries span two passes of the 16384-entry buffer; the bad entry sits in the second.
    const std::uint32_t blocks = 20000;
    std::vector<std::uint32_t> sizes(blocks, 1);
    MemberFile good(RawNcz({{0x4000, std::uint64_t{blocks} * 0x4000}}, {}, &Keep(Blocks(sizes))));
    EXPECT_EQ(good.parse().blockCount, blocks);
    sizes[18000] = 0;
    MemberFile bad(RawNcz({{0x4000, std::uint64_t{blocks} * 0x4000}}, {}, &Keep(Blocks(sizes))));
    try {
        bad.parse();
        FAIL() << "accepted";
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), kBlockLength);
    }
}

TEST(NczLayout, CancellationIsHonoured) {
    MemberFile file(RawNcz({{0x4000, 0x4000}}));
    CancelFlag flag{1};
    EXPECT_THROW(file.parse(0, {}, &flag), Cancelled);
}

} // namespace
} // namespace vesko
