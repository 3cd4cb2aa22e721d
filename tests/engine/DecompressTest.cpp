// Decompression failures: each refused with kind and exact message, nothing past the plan written.
#include "engine/Bytes.h"
#include "engine/ConvertToFile.h"
#include "tests/support/ExpectError.h"
#include "tests/support/MemoryOutput.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>
#include <zstd.h>

#include <cstring>

namespace vesko {
namespace {

using K = ConversionError::Kind;

constexpr std::uint64_t kBody = 0x3001; // the NCA body every member here plans to

// An NCZ member of one type-3 section over the body, followed by `data` as its compressed part.
std::vector<std::uint8_t> MemberWith(const std::vector<std::uint8_t>& data, std::uint64_t body = kBody) {
    std::vector<std::uint8_t> out(0x4010 + 64, 0);
    std::memcpy(out.data() + 0x4000, "NCZSECTN", 8);
    StoreLe64(out.data() + 0x4008, 1);
    StoreLe64(out.data() + 0x4010, 0x4000);
    StoreLe64(out.data() + 0x4018, body);
    StoreLe64(out.data() + 0x4020, 3);
    const std::size_t at = out.size();
    out.resize(at + data.size());
    if (!data.empty())
        std::memcpy(out.data() + at, data.data(), data.size());
    return out;
}

std::vector<std::uint8_t> Frame(std::uint64_t size, bool pledge = true) {
    const auto content = testfiles::MakeContent(testfiles::Content::Mixed, size, 3);
    std::vector<std::uint8_t> out(ZSTD_compressBound(content.size()));
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    if (pledge)
        ZSTD_CCtx_setPledgedSrcSize(cctx, content.size());
    ZSTD_inBuffer in{content.data(), content.size(), 0};
    ZSTD_outBuffer o{out.data(), out.size(), 0};
    ZSTD_compressStream2(cctx, &o, &in, ZSTD_e_continue);
    while (ZSTD_compressStream2(cctx, &o, &in, ZSTD_e_end) != 0) {
    }
    ZSTD_freeCCtx(cctx);
    out.resize(o.pos);
    return out;
}

// A hand-made frame: no content size, the given window descriptor, then one raw or reserved block.
std::vector<std::uint8_t> HandFrame(std::uint8_t windowDescriptor, std::uint8_t blockType) {
    const std::uint32_t blockHeader = 1u | (static_cast<std::uint32_t>(blockType) << 1) | (1u << 3);
    return {0x28, 0xB5, 0x2F, 0xFD, 0x00, windowDescriptor, static_cast<std::uint8_t>(blockHeader),
            0,    0,    0x41};
}

TEST(Decompress, RefusalsCarryKindAndExactMessage) {
    struct Failure {
        const char* what;
        std::vector<std::uint8_t> member;
        K kind;
        std::string message;
    };
    auto truncated = Frame(kBody);
    truncated.resize(truncated.size() - 3);
    auto extra = Frame(kBody);
    extra.push_back(0);
    auto twoFrames = Frame(kBody);
    const auto second = Frame(16);
    twoFrames.insert(twoFrames.end(), second.begin(), second.end());
    const std::string larger = "Повреждённый NCZ: распакованный размер превышает ожидаемый.";
    const std::string after = "Повреждённый NCZ: лишние данные после потока Zstandard.";
    const std::string zstd = "Ошибка распаковки Zstandard: ";
    const Failure cases[] = {
        {"one byte more than planned", MemberWith(Frame(kBody + 1)), K::Corrupt, larger},
        {"one byte more, no content size", MemberWith(Frame(kBody + 1, false)), K::Corrupt, larger},
        {"one byte less than planned", MemberWith(Frame(kBody - 1)), K::Corrupt,
         "Повреждённый NCZ: распакованные данные обрезаны."},
        {"truncated stream", MemberWith(truncated), K::Corrupt, "Повреждённый NCZ: поток Zstandard обрезан."},
        {"a byte after the frame", MemberWith(extra), K::Corrupt, after},
        {"a second frame", MemberWith(twoFrames), K::Corrupt, after},
        {"window of 2^30", MemberWith(HandFrame(20 << 3, 0), 1), K::Unsupported,
         zstd + ZSTD_getErrorName(static_cast<std::size_t>(-16))},
        {"reserved block type", MemberWith(HandFrame(0, 3), 1), K::Corrupt,
         zstd + ZSTD_getErrorName(static_cast<std::size_t>(-20))},
        {"not a frame", MemberWith({1, 2, 3, 4, 5, 6, 7, 8, 9}), K::Corrupt,
         zstd + ZSTD_getErrorName(static_cast<std::size_t>(-10))},
    };
    for (const Failure& c : cases) {
        SCOPED_TRACE(c.what);
        test::MemoryOutput out;
        test::ExpectConversionError(
            [&] { test::ConvertBytes(testfiles::BuildPfs0({"m.ncz"}, {c.member}), out); },
            {c.kind, c.message});
        // Header (48 bytes for one short name) plus at most the planned NCA.
        EXPECT_LE(out.bytes.size(), 48 + 0x4000 + kBody);
    }
    // A 2^29 window is the largest the decoder takes; the frame itself holds one raw byte.
    test::MemoryOutput out;
    ASSERT_NO_THROW(
        test::ConvertBytes(testfiles::BuildPfs0({"m.ncz"}, {MemberWith(HandFrame(19 << 3, 0), 1)}), out));
    EXPECT_EQ(out.bytes.size(), 48u + 0x4001u);
}

TEST(Decompress, CancellationBetweenDecoderCallsStops) {
    testfiles::ContainerSpec package;
    testfiles::MemberSpec m;
    m.name = "a.ncz";
    m.ncz = true;
    m.sections = {testfiles::MakeSection(0x500000, 3, 1)};
    package.members = {m};
    for (bool blockForm : {false, true}) {
        SCOPED_TRACE(blockForm);
        package.members[0].form = blockForm ? testfiles::NczForm::Block : testfiles::NczForm::Solid;
        package.members[0].blockExponent = 16;
        const auto built = testfiles::BuildNsz(package);
        CancelFlag flag{0};
        int reports = 0;
        test::MemoryOutput out;
        EXPECT_THROW(test::ConvertBytes(
                         built.nsz, out,
                         [&](Progress) {
                             if (++reports == 4)
                                 flag = 1;
                         },
                         &flag),
                     Cancelled);
        EXPECT_EQ(reports, 4);
        EXPECT_LT(out.bytes.size(), built.nsp.size());
    }
}

} // namespace
} // namespace vesko
