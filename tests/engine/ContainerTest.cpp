// Reading the PFS0 container: every refusal with its kind and exact message, and what is accepted.
#include "engine/Bytes.h"
#include "engine/Container.h"
#include "engine/InputFile.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

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
        strings += e.name;
        strings += '\0';
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

class ContainerFile {
  public:
    explicit ContainerFile(const std::vector<std::uint8_t>& bytes) : path_(dir_.file(L"c.nsz")) {
        testfiles::WriteWholeFile(path_, bytes);
    }
    std::vector<PlannedMember> read(const CancelFlag* flag = nullptr) const {
        InputFile input(path_);
        return ReadContainer(input, flag);
    }
    const std::wstring& path() const { return path_; }

  private:
    test::TempDir dir_;
    std::wstring path_;
};

struct Refusal {
    const char* what;
    std::vector<std::uint8_t> bytes;
    K kind;
    const char* message;
};

std::vector<std::uint8_t> Truncated(std::vector<std::uint8_t> bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> Bytes(const char* text, std::size_t size) {
    return std::vector<std::uint8_t>(text, text + size);
}

TEST(Container, RefusalsCarryKindAndExactMessage) {
    const std::string longName(4097, 'n');
    // Two NCZ members on one range: refused before their (missing) tables are read.
    const auto sharedNcz = RawPfs0({{0, 0x4100, {}, "a.ncz"}, {0, 0x4100, {}, "b.ncz"}}, 0x4100);
    const Refusal cases[] = {
        {"empty file", {}, K::NotNsz, kTooShort},
        {"3 bytes", Bytes("PFS", 3), K::NotNsz, kTooShort},
        {"other magic", Bytes("PK\3\4 and more bytes", 20), K::NotNsz, "Это не NSZ-контейнер PFS0."},
        {"magic only, 10 bytes", Bytes("PFS0\1\0\0\0\0\0", 10), K::Corrupt, kTooShort},
        {"zero entries", RawPfs0({}, 64), K::Corrupt, kBadHeader},
        {"string table past the end", Truncated(RawPfs0({{0, 0, {}, "a"}}, 0, 100), 16 + 24 + 99), K::Corrupt,
         kBadHeader},
        {"entry table past the end", Truncated(RawPfs0({{0, 0, {}, "a"}, {0, 0, {}, "b"}}, 0), 16 + 24),
         K::Corrupt, kBadHeader},
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
        {"same name in other case", RawPfs0({{0, 1, {}, "x.nca"}, {1, 1, {}, "X.nca"}}, 2), K::Corrupt,
         kDuplicate},
        {"shared range", RawPfs0({{0, 4, {}, "a"}, {0, 4, {}, "b"}}, 4), K::Corrupt, kOverlap},
        {"overlap by one byte", RawPfs0({{0, 4, {}, "a"}, {3, 4, {}, "b"}}, 8), K::Corrupt, kOverlap},
        {"contained range, listed last", RawPfs0({{0, 9, {}, "a"}, {9, 1, {}, "c"}, {2, 2, {}, "b"}}, 10),
         K::Corrupt, kOverlap},
        {"NCZ members sharing a range", sharedNcz, K::Corrupt, kOverlap},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        ContainerFile file(c.bytes);
        try {
            file.read();
            ADD_FAILURE() << "accepted";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.kind, c.kind);
            EXPECT_STREQ(e.what(), c.message);
            EXPECT_EQ(e.windowsError, 0u);
        }
    }
}

TEST(Container, NcaAndNczOfOneNameCollide) {
    // The NCA comes first, so the duplicate is found before the NCZ's tables would be read.
    const std::pair<std::string, std::string> pairs[] = {
        {"x.nca", "x.ncz"}, {"a.nca", "A.NCZ"}, {"b.NCA", "B.ncz"}};
    for (const auto& [first, second] : pairs) {
        SCOPED_TRACE(first + " / " + second);
        ContainerFile file(RawPfs0({{0, 1, {}, first}, {1, 1, {}, second}}, 2));
        try {
            file.read();
            ADD_FAILURE() << "accepted";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.kind, K::Corrupt);
            EXPECT_STREQ(e.what(), kDuplicate);
        }
    }
}

TEST(Container, TablesOverTheLimitsAreUnsupported) {
    struct Case {
        const char* what;
        std::uint32_t count;
        std::uint32_t nameLength;
        const char* message;
    };
    // 2796203 entries need 67108872 table bytes: one entry more than 64 MiB allows. 2796032 entries leave
    // room in the output header for one 4079-byte name; the second entry (every entry is zero: the same
    // name) passes that limit, which is checked before its name is compared.
    const Case cases[] = {
        {"entry table", 2796203, 0, kBadHeader},
        {"output header", 2796032, 4079, "Слишком большой заголовок выходного NSP."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint32_t stringTableSize = c.nameLength == 0 ? 0 : c.nameLength + 1;
        std::vector<std::uint8_t> head(16, 0);
        std::memcpy(head.data(), "PFS0", 4);
        StoreLe32(head.data() + 4, c.count);
        StoreLe32(head.data() + 8, stringTableSize);
        test::TempDir dir;
        const std::filesystem::path path(dir.file(L"big.nsz"));
        testfiles::WriteWholeFile(path.wstring(), head);
        const std::uint64_t stringsAt = 16 + 24 * std::uint64_t{c.count};
        std::filesystem::resize_file(path, stringsAt + stringTableSize);
        {
            std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(static_cast<std::streamoff>(stringsAt));
            file << std::string(c.nameLength, 'n');
            ASSERT_TRUE(file.good());
        }
        InputFile input(path.wstring());
        try {
            ReadContainer(input, nullptr);
            ADD_FAILURE() << "accepted";
        } catch (const ConversionError& e) {
            EXPECT_EQ(e.kind, K::Unsupported);
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

TEST(Container, AcceptedShapes) {
    const std::string name4096(4096, 'n');
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::size_t members;
    };
    const Case cases[] = {
        {"name of exactly 4096 bytes", RawPfs0({{0, 1, {}, name4096}}, 1), 1},
        {"touching ranges", RawPfs0({{0, 4, {}, "a"}, {4, 4, {}, "b"}}, 8), 2},
        {"two empty members at one offset", RawPfs0({{3, 0, {}, "a"}, {3, 0, {}, "b"}}, 8), 2},
        {"empty member inside another's range", RawPfs0({{0, 8, {}, "a"}, {4, 0, {}, "b"}}, 8), 2},
        {"data in another order, with gaps",
         RawPfs0({{10, 2, {}, "a"}, {0, 3, {}, "b"}, {5, 1, {}, "c"}}, 12), 3},
        {"empty member at the file's end", RawPfs0({{4, 0, {}, "a"}}, 4), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ContainerFile file(c.bytes);
        std::vector<PlannedMember> plan;
        ASSERT_NO_THROW(plan = file.read());
        EXPECT_EQ(plan.size(), c.members);
    }
}

TEST(Container, PlanKeepsEntryOrderAndComputesOffsets) {
    ContainerFile file(RawPfs0({{10, 2, {}, "a.bin"}, {0, 3, {}, "b.tik"}}, 12));
    const auto plan = file.read();
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
    struct Case {
        std::string name;
        bool hashed;
    };
    const std::string digits = "00112233445566778899aabbccddeeff";
    std::string upper = digits;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(c));
    const Case cases[] = {
        {digits + ".nca", true},       {upper + ".NCA", true},
        {digits + ".cnmt.nca", false}, {digits.substr(1) + ".nca", false},
        {digits + "0.nca", false},     {"0011223344556677889gaabbccddeeff.nca", false},
        {digits + ".tik", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ContainerFile file(RawPfs0({{0, 1, {}, c.name}}, 1));
        const auto plan = file.read();
        EXPECT_EQ(plan[0].hasExpectedHash, c.hashed);
        if (c.hashed) {
            EXPECT_EQ(plan[0].expectedHash[0], 0x00);
            EXPECT_EQ(plan[0].expectedHash[1], 0x11);
            EXPECT_EQ(plan[0].expectedHash[15], 0xff);
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
    const auto built = testfiles::BuildNsz(package);
    ContainerFile file(built.nsz);
    const auto plan = file.read();
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].outputName, "ABC.nca");
    EXPECT_EQ(plan[1].outputName, "abc2.nca");
    EXPECT_TRUE(plan[0].isNcz);
    EXPECT_EQ(plan[0].outputSize, 0x5000u);
}

TEST(Container, CancellationStopsTheEntryLoop) {
    ContainerFile file(RawPfs0({{0, 1, {}, "a"}}, 1));
    CancelFlag flag{1};
    EXPECT_THROW(file.read(&flag), Cancelled);
}

TEST(Container, MissingFileIsAReadFailure) {
    test::TempDir dir;
    try {
        InputFile input(dir.file(L"missing.nsz"));
        FAIL() << "opened";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::ReadFailed);
        EXPECT_NE(e.windowsError, 0u);
        EXPECT_EQ(std::string(e.what()),
                  "Не удалось открыть входной NSZ. (Windows " + std::to_string(e.windowsError) + ")");
    }
}

TEST(Container, TruncatedReadIsCorrupt) {
    ContainerFile file(RawPfs0({{0, 1, {}, "a"}}, 1));
    InputFile input(file.path());
    std::uint8_t buffer[64];
    try {
        input.readAt(0, buffer, sizeof buffer);
        FAIL() << "read past the end";
    } catch (const ConversionError& e) {
        EXPECT_EQ(e.kind, K::Corrupt);
        EXPECT_STREQ(e.what(), "Входной файл обрезан: отсутствуют ожидаемые данные.");
    }
    try {
        input.readAt(kMax, buffer, 2);
        FAIL() << "overflow accepted";
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), kOverflow);
    }
}

} // namespace
} // namespace vesko
