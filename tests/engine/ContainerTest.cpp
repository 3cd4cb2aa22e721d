// The container, every NCZ member's tables, the output header and the stream: every refusal with its kind
// and exact message, the shapes accepted, and both sides of each limit.
#include "engine/Bytes.h"
#include "engine/Container.h"
#include "engine/InputFile.h"
#include "engine/NczLayout.h"
#include "engine/OutputHeader.h"
#include "engine/OutputWriter.h"
#include "engine/SectionEncryptor.h"
#include "tests/support/ExpectError.h"
#include "tests/support/MemoryOutput.h"

#include <zstd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

namespace vesko {
namespace {

using K = ConversionError::Kind;
using Bytes = std::vector<std::uint8_t>;

// The messages are the contract: typed here, never taken from the code under test.
constexpr const char* kOverflow = "Повреждённый файл: слишком большой размер или смещение.";
constexpr const char* kShort = "Файл слишком короткий для NSZ.";
constexpr const char* kPfsHeader =
    "Повреждённый PFS0: некорректный заголовок или слишком большая таблица файлов.";
constexpr const char* kPfsBounds = "Повреждённый PFS0: файл выходит за границы контейнера.";
constexpr const char* kPfsNameAt = "Повреждённый PFS0: неверное имя файла.";
constexpr const char* kPfsName = "Повреждённый PFS0: некорректная строка имени файла.";
constexpr const char* kPfsOverlap = "Повреждённый PFS0: файлы пересекаются.";
constexpr const char* kCut = "Повреждённый файл: данные обрезаны.";
constexpr const char* kSections = "Повреждённый NCZ: некорректное число секций.";
constexpr const char* kEmptySection = "Повреждённый NCZ: пустая секция.";
constexpr const char* kSectionGaps = "Повреждённый NCZ: секции пересекаются или имеют пропуски.";
constexpr const char* kCrypto = "Этот тип шифрования секции NCZ не поддерживается.";
constexpr const char* kBlockVersion = "Неподдерживаемая версия или тип NCZBLOCK.";
constexpr const char* kBlockSize = "Повреждённый NCZBLOCK: некорректный размер блока.";
constexpr const char* kBlockCount = "Повреждённый NCZBLOCK: некорректное число блоков.";
constexpr const char* kBlockLength = "Повреждённый NCZBLOCK: некорректная длина блока.";
constexpr const char* kBlockBytes = "Повреждённый NCZBLOCK: данные обрезаны или содержат лишние байты.";
constexpr std::uint64_t kMax = 0x7FFFFFFFFFFFFFFFull;
constexpr std::size_t kBlock = 0x4050;  // the block header after one section record
constexpr std::uint64_t kBody = 0x3001; // the NCA body of the members with a stream

// `bytes` with `width` bytes at `at` overwritten by `value`, little-endian.
Bytes Set(Bytes bytes, std::size_t at, int width, std::uint64_t value) {
    for (int i = 0; i < width; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return bytes;
}

struct Entry {
    std::uint64_t offset, size;
    std::string name;
    std::optional<std::uint32_t> nameOffset = {}; // default: where the name was put
};

// A raw container: entries exactly as given, names in order, then `dataSize` bytes of data.
Bytes Pfs0(const std::vector<Entry>& entries, std::uint64_t dataSize,
           std::optional<std::uint32_t> strings = {}) {
    std::string names;
    Bytes out(16 + 24 * entries.size());
    std::memcpy(out.data(), "PFS0", 4);
    StoreLe32(&out[4], static_cast<std::uint32_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        StoreLe64(&out[16 + 24 * i], entries[i].offset);
        StoreLe64(&out[24 + 24 * i], entries[i].size);
        StoreLe32(&out[32 + 24 * i],
                  entries[i].nameOffset.value_or(static_cast<std::uint32_t>(names.size())));
        names += entries[i].name + '\0';
    }
    names.resize(strings.value_or(static_cast<std::uint32_t>(names.size())));
    StoreLe32(&out[8], static_cast<std::uint32_t>(names.size()));
    out.insert(out.end(), names.begin(), names.end());
    out.resize(out.size() + dataSize);
    return out;
}

// A container of `count` entries, all zero (the same name), and one name of `nameLength` bytes (none: 0).
// The file is sparse on disk; it goes to ReadContainer alone.
void ReadSparse(std::uint32_t count, std::uint32_t nameLength) {
    const std::uint32_t strings = nameLength == 0 ? 0 : nameLength + 1;
    const std::filesystem::path path(test::ScratchFile(Set(Set(Pfs0({}, 0), 4, 4, count), 8, 4, strings)));
    const std::uint64_t stringsAt = 16 + 24 * std::uint64_t{count};
    std::filesystem::resize_file(path, stringsAt + strings);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(file.seekp(static_cast<std::streamoff>(stringsAt)) << std::string(nameLength, 'n'));
    file.close();
    ReadContainer(InputFile(path.wstring()), nullptr);
}

TEST(Container, AcceptedShapesAndExpectedHashes) {
    const std::string digits = "00112233445566778899aabbccddeeff";
    auto named = [](const std::string& name) { return Pfs0({{0, 1, name}}, 1); };
    const std::tuple<Bytes, std::size_t, bool> cases[] = {
        {named(std::string(4096, 'n')), 1, false},                      // name of exactly 4096 bytes
        {Pfs0({{0, 4, "a"}, {4, 4, "b"}}, 8), 2, false},                // touching ranges
        {Pfs0({{3, 0, "a"}, {3, 0, "b"}}, 8), 2, false},                // two empty members at one offset
        {Pfs0({{0, 8, "a"}, {4, 0, "b"}}, 8), 2, false},                // empty member inside a range
        {Pfs0({{10, 2, "a"}, {0, 3, "b"}, {5, 1, "c"}}, 12), 3, false}, // another order, gaps
        {Pfs0({{4, 0, "a"}}, 4), 1, false},                             // empty member at the file's end
        {named(digits + ".nca"), 1, true},
        {named("00112233445566778899AABBCCDDEEFF.NCA"), 1, true},
        {named(digits + ".cnmt.nca"), 1, false},
        {named(digits.substr(1) + ".nca"), 1, false},
        {named(digits + "0.nca"), 1, false},
        {named(digits + ".tik"), 1, false},
        {named("0011223344556677889gaabbccddeeff.nca"), 1, false},
        {named(digits.substr(0, 31) + "X.nca"), 1, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const auto& [bytes, members, hashed] = cases[i];
        std::vector<PlannedMember> plan;
        ASSERT_NO_THROW(plan = ReadContainer(InputFile(test::ScratchFile(bytes)), nullptr));
        ASSERT_EQ(plan.size(), members);
        EXPECT_EQ(plan[0].hasExpectedHash, hashed);
        if (hashed) {
            EXPECT_EQ(testfiles::HexOf(plan[0].expectedHash.data(), 16), digits);
        }
    }
}

struct Sec {
    std::uint64_t offset, size, type = 3;
};

// NCA header, section table (`count` overrides the record count), then `tail` bytes of 0x5A.
Bytes Ncz(const std::vector<Sec>& sections, std::optional<std::uint64_t> count = {}, std::size_t tail = 64) {
    Bytes out(0x4010 + 64 * sections.size() + tail, 0x5A);
    std::fill_n(out.begin(), 0x4000, std::uint8_t{0xAB});
    std::fill_n(out.begin() + 0x4010, 64 * sections.size(), std::uint8_t{0});
    std::memcpy(&out[0x4000], "NCZSECTN", 8);
    StoreLe64(&out[0x4008], count.value_or(sections.size()));
    for (std::size_t k = 0; k < sections.size(); ++k) {
        StoreLe64(&out[0x4010 + 64 * k], sections[k].offset);
        StoreLe64(&out[0x4018 + 64 * k], sections[k].size);
        StoreLe64(&out[0x4020 + 64 * k], sections[k].type);
    }
    return out;
}

// Block form of exponent 14: header, the sizes, and their data with `extra` bytes more or less.
Bytes Blk(const std::vector<Sec>& sections, const std::vector<std::uint32_t>& sizes, std::int64_t extra = 0) {
    std::uint64_t data = 0;
    for (std::uint32_t size : sizes)
        data += size;
    auto out = Ncz(sections, {}, static_cast<std::size_t>(24 + 4 * sizes.size() + data + extra));
    std::uint8_t* header = &out[0x4010 + 64 * sections.size()];
    std::memcpy(header, "NCZBLOCK\2\1\0\16", 12);
    StoreLe32(header + 12, static_cast<std::uint32_t>(sizes.size()));
    StoreLe64(header + 16, sections.back().offset + sections.back().size - 0x4000);
    for (std::size_t k = 0; k < sizes.size(); ++k)
        StoreLe32(header + 24 + 4 * k, sizes[k]);
    return out;
}

// Parses `bytes` as a member at `offset`, of `size` bytes (default: the rest of the file).
NczLayout Parse(const Bytes& bytes, std::uint64_t offset = 0, std::optional<std::uint64_t> size = {},
                const CancelFlag* flag = nullptr) {
    InputFile input(test::ScratchFile(bytes));
    return ParseNczLayout(input, offset, size.value_or(bytes.size() - offset), flag);
}

// A stream of `size` bytes in one frame.
Bytes Frame(std::uint64_t size, bool pledge = true) {
    const auto content = testfiles::MakeContent(testfiles::Content::Mixed, size, 3);
    Bytes out(ZSTD_compressBound(content.size()));
    const std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> cctx(ZSTD_createCCtx(), &ZSTD_freeCCtx);
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_contentSizeFlag, pledge ? 1 : 0);
    out.resize(ZSTD_compress2(cctx.get(), out.data(), out.size(), content.data(), content.size()));
    return out;
}

// Planning and decompression: whatever a file holds, the conversion ends with the first refusal it meets.
TEST(FileRefusals, CarryKindAndExactMessage) {
    const Sec s1{0x4000, 0x4000};
    std::vector<Sec> many; // 1100 sections, past one read of the section table; one of crypto type 2
    for (std::uint64_t k = 0; k < 1100; ++k)
        many.push_back({0x4000 + 0x10 * k, 0x10, k == 1050 ? 2u : 3u});
    const std::uint64_t endOfHeader = kMax - 16 - 24 - 2; // data offset of the largest end, one name "a"
    auto ncz = [](const Bytes& member) { return testfiles::BuildPfs0({"m.ncz"}, {member}); };
    auto plus = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    auto cut = [](Bytes bytes, std::size_t size) {
        bytes.resize(size);
        return bytes;
    };
    // A hand-made frame: no content size, the given window descriptor, then one raw or reserved block.
    auto hand = [](std::uint8_t window, std::uint8_t type) {
        return Bytes{0x28, 0xB5, 0x2F, 0xFD, 0x00, window, static_cast<std::uint8_t>(1 | type << 1 | 1 << 3),
                     0,    0,    0x41};
    };
    // An NCZ member of one section over the body, then `stream`.
    auto solid = [&](const Bytes& stream, std::uint64_t body = kBody) {
        return ncz(plus(Ncz({{0x4000, body}}, {}, 0), stream));
    };
    auto zstd = [](int code) {
        return "Ошибка распаковки Zstandard: " +
               std::string(ZSTD_getErrorName(static_cast<std::size_t>(-code)));
    };
    const Bytes frame = Frame(kBody);
    const std::string larger = "Повреждённый NCZ: распакованный размер превышает ожидаемый.";
    const std::string after = "Повреждённый NCZ: лишние данные после потока Zstandard.";
    std::vector<std::tuple<std::string, Bytes, K, std::string>> cases = {
        {"empty file", {}, K::NotNsz, kShort},
        {"3 bytes", {'P', 'F', 'S'}, K::NotNsz, kShort},
        {"other magic", Bytes(20, 'P'), K::NotNsz, "Это не NSZ-контейнер PFS0."},
        {"magic only, 15 bytes", cut(Pfs0({{0, 0, "a"}}, 0), 15), K::Corrupt, kShort},
        {"zero entries", Pfs0({}, 64), K::Corrupt, kPfsHeader},
        {"string table past the end", cut(Pfs0({{0, 0, "a"}}, 0, 100), 16 + 24 + 99), K::Corrupt, kPfsHeader},
        {"entry table past the end", cut(Pfs0({{0, 0, "a"}, {0, 0, "b"}}, 0), 16 + 24), K::Corrupt,
         kPfsHeader},
        {"data offset with bit 63", Pfs0({{1ull << 63, 0, "a"}}, 0), K::Corrupt, kOverflow},
        {"data offset just past 2^63-1", Pfs0({{endOfHeader + 1, 0, "a"}}, 0), K::Corrupt, kOverflow},
        {"data offset at 2^63-1, empty", Pfs0({{endOfHeader, 0, "a"}}, 0), K::Corrupt, kPfsBounds},
        {"size with bit 63", Pfs0({{0, 1ull << 63, "a"}}, 0), K::Corrupt, kOverflow},
        {"end just past 2^63-1", Pfs0({{100, endOfHeader - 99, "a"}}, 0), K::Corrupt, kOverflow},
        {"end past the file", Pfs0({{0, 11, "a"}}, 10), K::Corrupt, kPfsBounds},
        {"name offset at the table's end", Pfs0({{0, 1, "a", 2}}, 1), K::Corrupt, kPfsNameAt},
        {"no string table", Pfs0({{0, 1, "a", 0}}, 1, 0), K::Corrupt, kPfsNameAt},
        {"name without terminator", Pfs0({{0, 1, "abc"}}, 1, 3), K::Corrupt, kPfsName},
        {"empty name", Pfs0({{0, 1, ""}}, 1), K::Corrupt, kPfsName},
        {"name of 4097 bytes", Pfs0({{0, 1, std::string(4097, 'n')}}, 1), K::Corrupt, kPfsName},
        {"shared range", Pfs0({{0, 4, "a"}, {0, 4, "b"}}, 4), K::Corrupt, kPfsOverlap},
        {"overlap by one byte", Pfs0({{0, 4, "a"}, {3, 4, "b"}}, 8), K::Corrupt, kPfsOverlap},
        {"contained range, listed last", Pfs0({{0, 9, "a"}, {9, 1, "c"}, {2, 2, "b"}}, 10), K::Corrupt,
         kPfsOverlap},
        // Refused before their (missing) tables are read.
        {"NCZ members sharing a range", Pfs0({{0, 0x4100, "a.ncz"}, {0, 0x4100, "b.ncz"}}, 0x4100),
         K::Corrupt, kPfsOverlap},
        // Each NCZ member's tables.
        {"smaller than the NCA header", ncz(Bytes(0x3FFF)), K::Corrupt,
         "Повреждённый файл: заголовок выходит за границы данных."},
        {"no room for the section header", ncz(Bytes(0x400F)), K::Corrupt, kCut},
        {"no room for the section count", ncz(Bytes(0x4008)), K::Corrupt, kCut},
        {"other magic", ncz(Set(Ncz({s1}), 0x4007, 1, 'X')), K::Corrupt,
         "В файле NCZ отсутствует заголовок NCZSECTN."},
        {"16400 bytes, count 0", ncz(Ncz({}, 0, 0)), K::Corrupt, kSections},
        {"16400 bytes, count 1", ncz(Ncz({}, 1, 0)), K::Corrupt, kSections},
        {"count one more than fits", ncz(Ncz({s1}, 2, 63)), K::Corrupt, kSections},
        {"empty section", ncz(Ncz({{0x4000, 0}})), K::Corrupt, kEmptySection},
        {"section size with bit 63", ncz(Ncz({{0x4000, 1ull << 63}})), K::Corrupt, kOverflow},
        {"section end past 2^63-1", ncz(Ncz({{kMax, 1}})), K::Corrupt, kOverflow},
        {"gap between sections", ncz(Ncz({s1, {0x8001, 0x1000}})), K::Corrupt, kSectionGaps},
        {"overlapping sections", ncz(Ncz({s1, {0x7FFF, 0x1000}})), K::Corrupt, kSectionGaps},
        {"crypto type 2", ncz(Ncz({{0x4000, 0x4000, 2}})), K::Unsupported, kCrypto},
        {"crypto type 0", ncz(Ncz({{0x4000, 0x4000, 0}})), K::Unsupported, kCrypto},
        {"crypto type 5", ncz(Ncz({s1, {0x8000, 0x10, 5}})), K::Unsupported, kCrypto},
        {"crypto type 2 in the second read of records", ncz(Ncz(many)), K::Unsupported, kCrypto},
        {"NCA ends with its header", ncz(Ncz({{0x3000, 0x1000}})), K::Corrupt,
         "Повреждённый NCZ: отсутствуют данные после заголовка NCA."},
        {"3 bytes of data", ncz(Ncz({s1}, {}, 3)), K::Corrupt,
         "Повреждённый NCZ: отсутствуют сжатые данные."},
        {"block magic only, 8 bytes", ncz(cut(Blk({s1}, {1}), kBlock + 8)), K::Corrupt, kCut},
        {"block header cut short, 23 bytes", ncz(cut(Blk({s1}, {1}), kBlock + 23)), K::Corrupt, kCut},
        {"block header whole, 24 bytes, no table", ncz(cut(Blk({s1}, {1}), kBlock + 24)), K::Corrupt,
         kBlockCount},
        {"block version 1", ncz(Set(Blk({s1}, {1}), kBlock + 8, 1, 1)), K::Unsupported, kBlockVersion},
        {"block type 2", ncz(Set(Blk({s1}, {1}), kBlock + 9, 1, 2)), K::Unsupported, kBlockVersion},
        {"exponent 13", ncz(Set(Blk({s1}, {1}), kBlock + 11, 1, 13)), K::Corrupt, kBlockSize},
        {"exponent 33", ncz(Set(Blk({s1}, {1}), kBlock + 11, 1, 33)), K::Corrupt, kBlockSize},
        {"body size other than the sections'", ncz(Set(Blk({s1}, {1}), kBlock + 16, 8, 0x3FFF)), K::Corrupt,
         "Повреждённый NCZBLOCK: размеры блоков и секций не совпадают."},
        {"block count 0", ncz(Set(Blk({s1}, {1}), kBlock + 12, 4, 0)), K::Corrupt, kBlockCount},
        {"block count too high", ncz(Blk({s1}, {1, 1})), K::Corrupt, kBlockCount},
        {"block count too low", ncz(Blk({{0x4000, 0x4001}}, {1})), K::Corrupt, kBlockCount},
        {"table larger than the member", ncz(Set(Blk({{0x4000, 0x8000}}, {1}), kBlock + 12, 4, 2)),
         K::Corrupt, kBlockCount},
        {"block of size 0", ncz(Blk({s1}, {0})), K::Corrupt, kBlockLength},
        {"block larger than its content", ncz(Blk({s1}, {0x4001})), K::Corrupt, kBlockLength},
        {"last 1-byte block of size 2", ncz(Blk({{0x4000, 0x8001}}, {5, 5, 2})), K::Corrupt, kBlockLength},
        {"a bad entry in the table's second pass",
         ncz(Set(Blk({{0x4000, 20000 * 0x4000}}, std::vector<std::uint32_t>(20000, 1)),
                 kBlock + 24 + 4 * 18000, 4, 0)),
         K::Corrupt, kBlockLength},
        {"one spare byte", ncz(Blk({s1}, {10}, 1)), K::Corrupt, kBlockBytes},
        {"one byte missing", ncz(Blk({s1}, {10}, -1)), K::Corrupt, kBlockBytes},
        // The stream against the planned NCA.
        {"one byte more than planned", solid(Frame(kBody + 1)), K::Corrupt, larger},
        {"one byte more, no content size", solid(Frame(kBody + 1, false)), K::Corrupt, larger},
        {"one byte less than planned", solid(Frame(kBody - 1)), K::Corrupt,
         "Повреждённый NCZ: распакованные данные обрезаны."},
        {"truncated stream", solid(cut(frame, frame.size() - 3)), K::Corrupt,
         "Повреждённый NCZ: поток Zstandard обрезан."},
        {"a byte after the frame", solid(plus(frame, {0})), K::Corrupt, after},
        {"a second frame", solid(plus(frame, Frame(16))), K::Corrupt, after},
        {"window of 2^30", solid(hand(20 << 3, 0), 1), K::Unsupported, zstd(16)},
        {"reserved block type", solid(hand(0, 3), 1), K::Corrupt, zstd(20)},
        {"not a frame", solid({1, 2, 3, 4, 5, 6, 7, 8, 9}), K::Corrupt, zstd(10)},
    };
    for (const char* name : {"a/b.nca", "a\\b.nca", "c:b.nca", ".", ".."})
        cases.push_back(
            {name, Pfs0({{0, 1, name}}, 1), K::Corrupt, "Повреждённый PFS0: имя элемента содержит путь."});
    // An NCA and an NCZ of one name collide; the NCA comes first, so the NCZ's tables are never read.
    for (const auto& [a, b] :
         {std::pair{"x.nca", "X.nca"}, {"x.nca", "x.ncz"}, {"a.nca", "A.NCZ"}, {"b.NCA", "B.ncz"}})
        cases.push_back({std::string(a) + " / " + b, Pfs0({{0, 1, a}, {1, 1, b}}, 2), K::Corrupt,
                         "В контейнере обнаружены совпадающие имена файлов."});
    for (const auto& [what, bytes, kind, message] : cases) {
        SCOPED_TRACE(what);
        test::MemoryOutput out;
        test::ExpectConversionError([&, &bytes = bytes] { test::ConvertBytes(bytes, out); }, {kind, message});
        EXPECT_LE(out.bytes.size(), 48 + 0x4000 + kBody); // at most the header and the planned NCA
    }
    // A 2^29 window is the largest the decoder takes; the frame itself holds one raw byte.
    test::MemoryOutput out;
    ASSERT_NO_THROW(test::ConvertBytes(solid(hand(19 << 3, 0), 1), out));
    EXPECT_EQ(out.bytes.size(), 48u + 0x4001u);
}

TEST(NczLayout, AcceptedForms) {
    // Single stream: 4 bytes of data and more; up to 7 bytes of the block magic do not make a block form.
    for (std::size_t tail : {4u, 5u, 7u, 8u, 100u}) {
        SCOPED_TRACE(tail);
        auto bytes = Ncz({{0x4000, 0x4000}, {0x8000, 0x1000, 1}}, {}, tail);
        std::memcpy(&bytes[0x4010 + 128], "NCZBLOCK", std::min<std::size_t>(tail, 7));
        const NczLayout layout = Parse(bytes);
        EXPECT_FALSE(layout.blockForm);
        EXPECT_EQ(layout.sections.size(), 2u);
        EXPECT_EQ(layout.ncaSize, 0x9000u);
        EXPECT_EQ(layout.dataOffset, 0x4010u + 128);
        EXPECT_EQ(layout.dataSize, tail);
        EXPECT_EQ(layout.blockSize, 0u);
    }
    EXPECT_EQ(Parse(Ncz({{0x100, 0x4000}, {0x4100, 0x10}})).ncaSize, 0x4110u); // sections start anywhere
    // Block form of the smallest and largest blocks, a last one stored, and 20000 entries: two passes of
    // the 16384-entry buffer.
    const std::tuple<std::uint64_t, int, std::vector<std::uint32_t>> blocks[] = {
        {0x4000, 14, {100}},
        {0x4000, 32, {0x4000}},
        {5 * 0x4000 + 1, 14, {9, 9, 9, 9, 0x4000, 1}},
        {20000 * 0x4000, 14, std::vector<std::uint32_t>(20000, 1)}};
    for (const auto& [body, exponent, sizes] : blocks) {
        SCOPED_TRACE(testing::Message() << "exponent " << exponent << ", blocks " << sizes.size());
        const std::uint64_t at = 77;
        auto bytes = Set(Blk({{0x4000, body}}, sizes), kBlock + 11, 1, static_cast<std::uint64_t>(exponent));
        bytes.insert(bytes.begin(), at, 0);
        const NczLayout layout = Parse(bytes, at);
        EXPECT_TRUE(layout.blockForm);
        EXPECT_EQ(layout.blockSize, std::uint64_t{1} << exponent);
        EXPECT_EQ(layout.blockCount, sizes.size());
        EXPECT_EQ(layout.blockTableOffset, at + 0x4010 + 64 + 24);
        EXPECT_EQ(layout.dataOffset, layout.blockTableOffset + 4 * sizes.size());
        EXPECT_EQ(layout.dataSize, bytes.size() - layout.dataOffset);
    }
}

// Pushes 0x11 bytes through an encryptor over one 16-byte section, in an NCA of `ncaSize` bytes.
void Encrypt(std::uint64_t ncaSize) {
    struct : ChunkSink {
        void write(std::uint8_t*, std::size_t) override {}
    } discard;
    const NczLayout layout{{{0x4000, 0x10, 3, {}, {}}}, ncaSize};
    std::uint8_t data[0x11] = {};
    SectionEncryptor(layout, CryptoProviders(), discard).push(data, sizeof data);
}

// The parts on their own, with sizes and offsets no container could give them.
TEST(PartRefusals, CarryKindAndExactMessage) {
    const std::uint64_t tooMany = 0x100001, most = 0x100000;
    const std::string kEmpty = kEmptySection, kTooLarge = "Слишком большой заголовок выходного NSP.";
    const std::tuple<const char*, std::function<void()>, K, std::string> cases[] = {
        // 2796203 entries need 67108872 table bytes: one entry more than 64 MiB allows. 2796032 entries leave
        // room in the output header for one 4079-byte name; the second entry passes that limit, which is
        // checked before its name is compared.
        {"entry table over 64 MiB", [] { ReadSparse(2796203, 0); }, K::Unsupported, kPfsHeader},
        {"output header over 64 MiB", [] { ReadSparse(2796032, 4079); }, K::Unsupported, kTooLarge},
        {"a missing input", [] { InputFile(test::ScratchFile({}) + L".missing"); }, K::ReadFailed,
         "Не удалось открыть входной NSZ. (Windows 2)"},
        {"member size with bit 63", [] { Parse(Bytes(0x4100), 0, 1ull << 63); }, K::Corrupt, kOverflow},
        {"member end past 2^63-1", [] { Parse(Bytes(0x4100), kMax - 0x4000 + 1, 0x4000); }, K::Corrupt,
         kOverflow},
        // The member size alone decides whether the records fit; the largest count goes on to the records.
        {"one section more than supported", [&] { Parse(Ncz({}, tooMany, 0), 0, 0x4010 + 64 * tooMany); },
         K::Unsupported, kSections},
        {"most sections supported, first empty",
         [&] {
             Parse(Ncz({{0, 0}}, most, 0x10000 - 64), 0, 0x4010 + 64 * most + 8);
         },
         K::Corrupt, kEmpty},
        {"output size with bit 63",
         [] {
             BuildOutputHeader({PlannedMember{0, 0, 1ull << 63, "a"}});
         },
         K::Corrupt, kOverflow},
        {"output offsets past 2^63-1",
         [] {
             BuildOutputHeader({PlannedMember{0, 0, kMax - 15, "a"}, PlannedMember{0, 0, 0x10, "b"}});
         },
         K::Corrupt, kOverflow},
        {"output total past 2^63-1",
         [] {
             BuildOutputHeader({PlannedMember{0, 0, kMax - 15, "a"}});
         },
         K::Corrupt, kOverflow},
        {"output header of 64 MiB",
         [] {
             BuildOutputHeader({PlannedMember{0, 0, 1, std::string(0x4000000, 'n')}});
         },
         K::Unsupported, kTooLarge},
        {"a read past the file's end",
         [] {
             std::uint8_t b[64];
             InputFile(test::ScratchFile(Bytes(10))).readAt(0, b, 64);
         },
         K::Corrupt, "Входной файл обрезан: отсутствуют ожидаемые данные."},
        {"a read past 2^63-1",
         [] {
             std::uint8_t b[2];
             InputFile(test::ScratchFile(Bytes(10))).readAt(kMax, b, 2);
         },
         K::Corrupt, kOverflow},
        {"a write past the total",
         [] {
             test::MemoryOutput out;
             const ProgressCallback none;
             OutputWriter w(out, none, nullptr, 3);
             w.write("ab", 2);
             w.write("ab", 2);
         },
         K::Corrupt, "Ошибка размера выходного NSP."},
        // A conversion stops at the decoder before these; the encryptor guards its own bounds all the same.
        {"encryption past the NCA", [] { Encrypt(0x4010); }, K::Corrupt,
         "NCZ распаковывается в больший размер, чем указан в заголовке."},
        {"encryption past the sections", [] { Encrypt(0x4020); }, K::Corrupt,
         "Повреждённая таблица секций NCZ."},
    };
    for (const auto& [what, action, kind, message] : cases) {
        SCOPED_TRACE(what);
        test::ExpectConversionError(action, {kind, message, kind == K::ReadFailed ? 2u : 0u});
    }
    // Just inside: the output header may take the whole 64 MiB.
    const PlannedMember largest{0, 0, 1, std::string(0x4000000 - 16 - 24 - 1, 'n')};
    EXPECT_EQ(BuildOutputHeader({largest}).bytes.size(), 0x4000000u);
}

TEST(Container, CancellationStopsPlanning) {
    CancelFlag flag{1};
    EXPECT_THROW(ReadContainer(InputFile(test::ScratchFile(Pfs0({{0, 1, "a"}}, 1))), &flag), Cancelled);
    EXPECT_THROW(Parse(Ncz({{0x4000, 0x4000}}), 0, {}, &flag), Cancelled);
}

} // namespace
} // namespace vesko
