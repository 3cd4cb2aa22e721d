// The output NSP's header: layout, padding, and the limits on its arithmetic.
#include "engine/Bytes.h"
#include "engine/OutputHeader.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vesko {
namespace {

using K = ConversionError::Kind;

PlannedMember Member(std::string name, std::uint64_t size) {
    PlannedMember m;
    m.outputName = std::move(name);
    m.outputSize = size;
    return m;
}

TEST(OutputHeader, LayoutAndPadding) {
    // 16 + 3 * 24 + (6 + 1 + 9) = 104, padded to 112; the padding counts in the string table size.
    const std::vector<PlannedMember> plan = {Member("a.nca", 100), Member("", 0), Member("b.tik.xx", 7)};
    const OutputHeader header = BuildOutputHeader(plan);
    ASSERT_EQ(header.bytes.size(), 112u);
    EXPECT_EQ(std::memcmp(header.bytes.data(), "PFS0", 4), 0);
    EXPECT_EQ(LoadLe32(header.bytes.data() + 4), 3u);
    EXPECT_EQ(LoadLe32(header.bytes.data() + 8), 24u);
    const std::uint8_t* e = header.bytes.data() + 16;
    EXPECT_EQ(LoadLe64(e), 0u);
    EXPECT_EQ(LoadLe64(e + 8), 100u);
    EXPECT_EQ(LoadLe32(e + 16), 0u);
    EXPECT_EQ(LoadLe64(e + 24), 100u); // an empty member sits at the next member's offset
    EXPECT_EQ(LoadLe64(e + 48), 100u);
    EXPECT_EQ(LoadLe32(e + 64), 7u);
    EXPECT_EQ(header.totalSize, header.bytes.size() + 107);

    const OutputHeader padded = BuildOutputHeader({Member("abcdefgh", 1)});
    EXPECT_EQ(padded.bytes.size(), 64u); // 16 + 24 + 9 = 49, rounded up
    EXPECT_EQ(LoadLe32(padded.bytes.data() + 8), 24u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(padded.bytes.data() + 40)), "abcdefgh");
}

TEST(OutputHeader, Limits) {
    const char* overflow = "Повреждённый файл: слишком большой размер или смещение.";
    const std::pair<std::vector<PlannedMember>, test::ExpectedError> cases[] = {
        {{Member("a", 1ull << 63)}, {K::Corrupt, overflow}}, // size with bit 63
        {{Member("a", 0x7FFFFFFFFFFFFFF0ull), Member("b", 0x10)},
         {K::Corrupt, overflow}},                                       // offsets past 2^63-1
        {{Member("a", 0x7FFFFFFFFFFFFFF0ull)}, {K::Corrupt, overflow}}, // total past 2^63-1
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

} // namespace
} // namespace vesko
