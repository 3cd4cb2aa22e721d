// Reading the PFS0 container and every NCZ member's section and block tables, and planning the output
// header: every refusal with its kind and exact message, and the shapes accepted.
#include "engine/Bytes.h"
#include "engine/Container.h"
#include "engine/InputFile.h"
#include "engine/NczLayout.h"
#include "engine/OutputHeader.h"
#include "tests/support/ExpectError.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <tuple>

namespace vesko {
namespace {

using K = ConversionError::Kind;

constexpr const char* kTooShort = "Файл слишком короткий для NSZ.";
constexpr const char* kBadHeader =
    "Повреждённый PFS0: некорректный заголовок или слишком большая таблица файлов.";
constexpr const char* kOverflow = "Повреждённый файл: слишком большой размер или смещение.";
constexpr const char* kOutside = "Повреждённый PFS0: файл выходит за границы контейнера.";
constexpr const char* kBadNameOffset = "Повреждённый PFS0: неверное имя файла.";
constexpr const char* kBadName = "Повреждённый PFS0: некорректная строка имени файла.";
constexpr const char* kPathName = "Повреждённый PFS0: имя элемента содержит путь.";
constexpr const char* kDuplicate = "В контейнере обнаружены совпадающие имена файлов.";
constexpr const char* kOverlap = "Повреждённый PFS0: файлы пересекаются.";
constexpr std::uint64_t kMax = 0x7FFFFFFFFFFFFFFFull;

struct Entry {
    std::uint64_t offset;
    std::uint64_t size;
    std::optional<std::uint32_t> nameOffset; // default: where the name was put
    std::string name;
};

// A raw container: entries exactly as given, names in order, then `dataSize` bytes of data.
std::vector<std::uint8_t> RawPfs0(const std::vector<Entry>& entries, std::uint64_t dataSize,
                                  std::optional<std::uint32_t> stringTableSize = {}) {
    std::string strings;
    std::vector<std::uint32_t> offsets;
    for (const Entry& e : entries) {
        offsets.push_back(static_cast<std::uint32_t>(strings.size()));
        strings += e.name + '\0';
    }
    const std::uint32_t s = stringTableSize.value_or(static_cast<std::uint32_t>(strings.size()));
    strings.resize(s, '\0');
    std::vector<std::uint8_t> out(16 + 24 * entries.size() + s + dataSize, 0);
    std::memcpy(out.data(), "PFS0", 4);
    StoreLe32(out.data() + 4, static_cast<std::uint32_t>(entries.size()));
    StoreLe32(out.data() + 8, s);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::uint8_t* e = out.data() + 16 + 24 * i;
        StoreLe64(e, entries[i].offset);
        StoreLe64(e + 8, entries[i].size);
        StoreLe32(e + 16, entries[i].nameOffset.value_or(offsets[i]));
    }
    std::memcpy(out.data() + 16 + 24 * entries.size(), strings.data(), s);
    return out;
}

std::vector<PlannedMember> Read(const std::vector<std::uint8_t>& bytes, const CancelFlag* flag = nullptr) {
    test::TempDir dir;
    testfiles::WriteWholeFile(dir.file(L"c.nsz"), bytes);
    InputFile input(dir.file(L"c.nsz"));
    return ReadContainer(input, flag);
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> Bytes(const char* text, std::size_t size) {
    return std::vector<std::uint8_t>(text, text + size);
}

TEST(Container, RefusalsCarryKindAndExactMessage) {
    struct Refusal {
        const char* what;
        std::vector<std::uint8_t> bytes;
        K kind;
        const char* message;
    };
    const std::string longName(4097, 'n');
    // An NCA and an NCZ of one name collide; the NCA comes first, so the NCZ's tables are never read.
    auto pair = [](const char* a, const char* b) { return RawPfs0({{0, 1, {}, a}, {1, 1, {}, b}}, 2); };
    const Refusal cases[] = {
        {"empty file", {}, K::NotNsz, kTooShort},
        {"3 bytes", Bytes("PFS", 3), K::NotNsz, kTooShort},
        {"other magic", Bytes("PK\3\4 and more bytes", 20), K::NotNsz, "Это не NSZ-контейнер PFS0."},
        {"magic only, 10 bytes", Bytes("PFS0\1\0\0\0\0\0", 10), K::Corrupt, kTooShort},
        {"zero entries", RawPfs0({}, 64), K::Corrupt, kBadHeader},
        {"string table past the end", Cut(RawPfs0({{0, 0, {}, "a"}}, 0, 100), 16 + 24 + 99), K::Corrupt,
         kBadHeader},
        {"entry table past the end", Cut(RawPfs0({{0, 0, {}, "a"}, {0, 0, {}, "b"}}, 0), 16 + 24), K::Corrupt,
         kBadHeader},
        {"data offset with bit 63", RawPfs0({{1ull << 63, 0, {}, "a"}}, 0), K::Corrupt, kOverflow},
        {"data offset just past 2^63-1", RawPfs0({{kMax - 16 - 24 - 2 + 1, 0, {}, "a"}}, 0), K::Corrupt,
         kOverflow},
        {"data offset at 2^63-1, empty", RawPfs0({{kMax - 16 - 24 - 2, 0, {}, "a"}}, 0), K::Corrupt,
         kOutside},
        {"size with bit 63", RawPfs0({{0, 1ull << 63, {}, "a"}}, 0), K::Corrupt, kOverflow},
        {"end just past 2^63-1", RawPfs0({{100, kMax - 16 - 24 - 2 - 99, {}, "a"}}, 0), K::Corrupt,
         kOverflow},
        {"end past the file", RawPfs0({{0, 11, {}, "a"}}, 10), K::Corrupt, kOutside},
        {"name offset at the table's end", RawPfs0({{0, 1, 2, "a"}}, 1), K::Corrupt, kBadNameOffset},
        {"no string table", RawPfs0({{0, 1, 0, "a"}}, 1, 0), K::Corrupt, kBadNameOffset},
        {"name without terminator", RawPfs0({{0, 1, {}, "abc"}}, 1, 3), K::Corrupt, kBadName},
        {"empty name", RawPfs0({{0, 1, {}, ""}}, 1), K::Corrupt, kBadName},
        {"name of 4097 bytes", RawPfs0({{0, 1, {}, longName}}, 1), K::Corrupt, kBadName},
        {"slash", RawPfs0({{0, 1, {}, "a/b.nca"}}, 1), K::Corrupt, kPathName},
        {"backslash", RawPfs0({{0, 1, {}, "a\\b.nca"}}, 1), K::Corrupt, kPathName},
        {"colon", RawPfs0({{0, 1, {}, "c:b.nca"}}, 1), K::Corrupt, kPathName},
        {"dot", RawPfs0({{0, 1, {}, "."}}, 1), K::Corrupt, kPathName},
        {"dot dot", RawPfs0({{0, 1, {}, ".."}}, 1), K::Corrupt, kPathName},
        {"same name in other case", pair("x.nca", "X.nca"), K::Corrupt, kDuplicate},
        {"x.nca / x.ncz", pair("x.nca", "x.ncz"), K::Corrupt, kDuplicate},
        {"a.nca / A.NCZ", pair("a.nca", "A.NCZ"), K::Corrupt, kDuplicate},
        {"b.NCA / B.ncz", pair("b.NCA", "B.ncz"), K::Corrupt, kDuplicate},
        {"shared range", RawPfs0({{0, 4, {}, "a"}, {0, 4, {}, "b"}}, 4), K::Corrupt, kOverlap},
        {"overlap by one byte", RawPfs0({{0, 4, {}, "a"}, {3, 4, {}, "b"}}, 8), K::Corrupt, kOverlap},
        {"contained range, listed last", RawPfs0({{0, 9, {}, "a"}, {9, 1, {}, "c"}, {2, 2, {}, "b"}}, 10),
         K::Corrupt, kOverlap},
        // Refused before their (missing) tables are read.
        {"NCZ members sharing a range", RawPfs0({{0, 0x4100, {}, "a.ncz"}, {0, 0x4100, {}, "b.ncz"}}, 0x4100),
         K::Corrupt, kOverlap},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        test::ExpectConversionError([&] { Read(c.bytes); }, {c.kind, c.message});
    }
}

TEST(Container, TablesOverTheLimitsAreUnsupported) {
    // 2796203 entries need 67108872 table bytes: one entry more than 64 MiB allows. 2796032 entries leave
    // room in the output header for one 4079-byte name; the second entry (every entry is zero: the same
    // name) passes that limit, which is checked before its name is compared.
    const std::tuple<std::uint32_t, std::uint32_t, const char*> cases[] = {
        {2796203, 0, kBadHeader}, {2796032, 4079, "Слишком большой заголовок выходного NSP."}};
    for (const auto& [count, nameLength, message] : cases) {
        SCOPED_TRACE(count);
        const std::uint32_t stringTableSize = nameLength == 0 ? 0 : nameLength + 1;
        auto head = RawPfs0({}, 0);
        StoreLe32(head.data() + 4, count);
        StoreLe32(head.data() + 8, stringTableSize);
        test::TempDir dir;
        const std::filesystem::path path(dir.file(L"big.nsz"));
        testfiles::WriteWholeFile(path.wstring(), head);
        const std::uint64_t stringsAt = 16 + 24 * std::uint64_t{count};
        std::filesystem::resize_file(path, stringsAt + stringTableSize);
        {
            std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(static_cast<std::streamoff>(stringsAt));
            file << std::string(nameLength, 'n');
            ASSERT_TRUE(file.good());
        }
        InputFile input(path.wstring());
        test::ExpectConversionError([&] { ReadContainer(input, nullptr); }, {K::Unsupported, message});
    }
}

TEST(Container, AcceptedShapes) {
    const std::pair<std::vector<std::uint8_t>, std::size_t> cases[] = {
        {RawPfs0({{0, 1, {}, std::string(4096, 'n')}}, 1), 1}, // name of exactly 4096 bytes
        {RawPfs0({{0, 4, {}, "a"}, {4, 4, {}, "b"}}, 8), 2},   // touching ranges
        {RawPfs0({{3, 0, {}, "a"}, {3, 0, {}, "b"}}, 8), 2},   // two empty members at one offset
        {RawPfs0({{0, 8, {}, "a"}, {4, 0, {}, "b"}}, 8), 2},   // empty member inside a range
        {RawPfs0({{10, 2, {}, "a"}, {0, 3, {}, "b"}, {5, 1, {}, "c"}}, 12), 3}, // another order, gaps
        {RawPfs0({{4, 0, {}, "a"}}, 4), 1}, // empty member at the file's end
    };
    for (const auto& [bytes, members] : cases) {
        SCOPED_TRACE(members);
        std::vector<PlannedMember> plan;
        ASSERT_NO_THROW(plan = Read(bytes));
        EXPECT_EQ(plan.size(), members);
    }
}

TEST(Container, ExpectedHashFromTheName) {
    const std::string digits = "00112233445566778899aabbccddeeff";
    const std::pair<std::string, bool> cases[] = {
        {digits + ".nca", true},       {"00112233445566778899AABBCCDDEEFF.NCA", true},
        {digits + ".cnmt.nca", false}, {digits.substr(1) + ".nca", false},
        {digits + "0.nca", false},     {"0011223344556677889gaabbccddeeff.nca", false},
        {digits + ".tik", false},
    };
    for (const auto& [name, hashed] : cases) {
        SCOPED_TRACE(name);
        const auto plan = Read(RawPfs0({{0, 1, {}, name}}, 1));
        EXPECT_EQ(plan[0].hasExpectedHash, hashed);
        if (hashed) {
            EXPECT_EQ(testfiles::HexOf(plan[0].expectedHash.data(), 16), digits);
        }
    }
}

constexpr const char* kTruncated = "Повреждённый файл: данные обрезаны.";
constexpr const char* kSectionCount = "Повреждённый NCZ: некорректное число секций.";
constexpr const char* kOrder = "Повреждённый NCZ: секции пересекаются или имеют пропуски.";
constexpr const char* kCrypto = "Этот тип шифрования секции NCZ не поддерживается.";
constexpr const char* kVersion = "Неподдерживаемая версия или тип NCZBLOCK.";
constexpr const char* kBlockSize = "Повреждённый NCZBLOCK: некорректный размер блока.";
constexpr const char* kBlockCount = "Повреждённый NCZBLOCK: некорректное число блоков.";
constexpr const char* kBlockLength = "Повреждённый NCZBLOCK: некорректная длина блока.";
constexpr const char* kBlockBytes = "Повреждённый NCZBLOCK: данные обрезаны или содержат лишние байты.";

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

PlannedMember Member(std::string name, std::uint64_t size) {
    PlannedMember m;
    m.outputName = std::move(name);
    m.outputSize = size;
    return m;
}

TEST(OutputHeader, Limits) {
    const std::pair<std::vector<PlannedMember>, test::ExpectedError> cases[] = {
        {{Member("a", 1ull << 63)}, {K::Corrupt, kOverflow}}, // size with bit 63
        {{Member("a", 0x7FFFFFFFFFFFFFF0ull), Member("b", 0x10)},
         {K::Corrupt, kOverflow}},                                       // offsets past 2^63-1
        {{Member("a", 0x7FFFFFFFFFFFFFF0ull)}, {K::Corrupt, kOverflow}}, // total past 2^63-1
        {{Member(std::string(0x4000000, 'n'), 1)},
         {K::Unsupported, "Слишком большой заголовок выходного NSP."}},
    };
    for (const auto& [plan, expected] : cases) {
        SCOPED_TRACE(plan.size());
        test::ExpectConversionError([&plan = plan] { BuildOutputHeader(plan); }, expected);
    }
    // Just inside: the header may take the whole 64 MiB.
    const OutputHeader largest = BuildOutputHeader({Member(std::string(0x4000000 - 16 - 24 - 1, 'n'), 1)});
    EXPECT_EQ(largest.bytes.size(), 0x4000000u);
}

TEST(Container, CancellationMissingFileAndTruncatedReads) {
    CancelFlag flag{1};
    EXPECT_THROW(Read(RawPfs0({{0, 1, {}, "a"}}, 1), &flag), Cancelled);
    EXPECT_THROW(Parse(RawNcz({{0x4000, 0x4000}}), 0, {}, &flag), Cancelled);
    test::TempDir dir;
    try {
        InputFile missing(dir.file(L"missing.nsz"));
        FAIL() << "opened";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::ReadFailed);
        EXPECT_NE(e.windowsError, 0u);
        EXPECT_EQ(std::string(e.what()),
                  "Не удалось открыть входной NSZ. (Windows " + std::to_string(e.windowsError) + ")");
    }
    testfiles::WriteWholeFile(dir.file(L"c.nsz"), RawPfs0({{0, 1, {}, "a"}}, 1));
    InputFile input(dir.file(L"c.nsz"));
    std::uint8_t buffer[64];
    test::ExpectConversionError([&] { input.readAt(0, buffer, sizeof buffer); },
                                {K::Corrupt, "Входной файл обрезан: отсутствуют ожидаемые данные."});
    test::ExpectConversionError([&] { input.readAt(kMax, buffer, 2); }, {K::Corrupt, kOverflow});
}

} // namespace
} // namespace vesko
