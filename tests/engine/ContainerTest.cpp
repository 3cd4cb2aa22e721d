// Reading the PFS0 container: every refusal with its kind and exact message, and what is accepted.
#include "engine/Bytes.h"
#include "engine/Container.h"
#include "engine/InputFile.h"
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
    auto cut = [](std::vector<std::uint8_t> bytes, std::size_t size) {
        bytes.resize(size);
        return bytes;
    };
    // An NCA and an NCZ of one name collide; the NCA comes first, so the NCZ's tables are never read.
    auto pair = [](const char* a, const char* b) { return RawPfs0({{0, 1, {}, a}, {1, 1, {}, b}}, 2); };
    const Refusal cases[] = {
        {"empty file", {}, K::NotNsz, kTooShort},
        {"3 bytes", Bytes("PFS", 3), K::NotNsz, kTooShort},
        {"other magic", Bytes("PK\3\4 and more bytes", 20), K::NotNsz, "Это не NSZ-контейнер PFS0."},
        {"magic only, 10 bytes", Bytes("PFS0\1\0\0\0\0\0", 10), K::Corrupt, kTooShort},
        {"zero entries", RawPfs0({}, 64), K::Corrupt, kBadHeader},
        {"string table past the end", cut(RawPfs0({{0, 0, {}, "a"}}, 0, 100), 16 + 24 + 99), K::Corrupt,
         kBadHeader},
        {"entry table past the end", cut(RawPfs0({{0, 0, {}, "a"}, {0, 0, {}, "b"}}, 0), 16 + 24), K::Corrupt,
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
    // The plan keeps the entry order and places each member after the header.
    const auto plan = Read(RawPfs0({{10, 2, {}, "a.bin"}, {0, 3, {}, "b.tik"}}, 12));
    ASSERT_EQ(plan.size(), 2u);
    const std::uint64_t headerEnd = 16 + 48 + 12;
    EXPECT_EQ(plan[0].outputName, "a.bin");
    EXPECT_EQ(plan[0].sourceOffset, headerEnd + 10);
    EXPECT_EQ(plan[0].sourceSize, 2u);
    EXPECT_EQ(plan[0].outputSize, 2u);
    EXPECT_EQ(plan[1].outputName, "b.tik");
    EXPECT_EQ(plan[1].sourceOffset, headerEnd);
    EXPECT_FALSE(plan[0].isNcz);
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

TEST(Container, NczNamesBecomeNcaKeepingTheirCase) {
    testfiles::ContainerSpec package;
    for (const char* name : {"ABC.NCZ", "abc2.Ncz"}) {
        testfiles::MemberSpec m;
        m.name = name;
        m.ncz = true;
        m.sections = {testfiles::MakeSection(0x1000, 3, 1)};
        package.members.push_back(m);
    }
    const auto plan = Read(testfiles::BuildNsz(package).nsz);
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].outputName, "ABC.nca");
    EXPECT_EQ(plan[1].outputName, "abc2.nca");
    EXPECT_TRUE(plan[0].isNcz);
    EXPECT_EQ(plan[0].outputSize, 0x5000u);
}

TEST(Container, CancellationMissingFileAndTruncatedReads) {
    CancelFlag flag{1};
    EXPECT_THROW(Read(RawPfs0({{0, 1, {}, "a"}}, 1), &flag), Cancelled);
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
