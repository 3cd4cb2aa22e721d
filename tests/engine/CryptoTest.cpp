// The system's AES and SHA-256 against published answers, and the CTR built on them.
#include "engine/Crypto.h"
#include "engine/Limits.h"
#include "engine/SectionEncryptor.h"
#include "tests/support/ExpectError.h"
#include "tools/testfiles/NszBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace vesko {
namespace {

std::vector<std::uint8_t> Hex(const std::string& hex) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

TEST(Crypto, KnownAnswersAndRandomBytes) {
    // The FIPS-197 AES-128 examples, two blocks in one call: ECB, each block on its own.
    const std::array<const char*, 3> cases[] = {
        {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
         "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
         "3925841d02dc09fbdc118597196a0b32"},
    };
    CryptoProviders providers;
    for (const auto& [key, plain, cipher] : cases) {
        SCOPED_TRACE(key);
        AesEcbKey aes(providers, Hex(key).data());
        auto block = Hex(plain);
        block.insert(block.end(), block.begin(), block.end());
        aes.encryptBlocks(block.data(), block.size());
        EXPECT_EQ(testfiles::HexOf(block.data(), 16), cipher);
        EXPECT_EQ(testfiles::HexOf(block.data() + 16, 16), cipher);
    }
    Sha256Context abc(providers);
    abc.update("a", 1);
    abc.update("bc", 2);
    EXPECT_EQ(testfiles::HexOf(abc.finish().data(), 32),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(testfiles::HexOf(Sha256Context(providers).finish().data(), 32),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    std::uint8_t a[16] = {};
    std::uint8_t b[16] = {};
    ASSERT_TRUE(FillRandomBytes(a, sizeof a));
    ASSERT_TRUE(FillRandomBytes(b, sizeof b));
    EXPECT_NE(std::memcmp(a, b, sizeof a), 0);
}

TEST(SectionEncryptor, CounterBlockOfNcaOffset0x4000) {
    const std::uint8_t high[8] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    std::uint8_t block[16];
    MakeCounterBlock(high, 0x4000 / 16, block);
    EXPECT_EQ(testfiles::HexOf(block, 16), "00112233445566770000000000000400");
    MakeCounterBlock(high, 0x0102030405060708ull, block);
    EXPECT_EQ(testfiles::HexOf(block, 16), "00112233445566770102030405060708");
}

// Collects the encryptor's chunks back to back.
struct Encrypted : ChunkSink {
    void write(std::uint8_t* data, std::size_t length) override {
        bytes.insert(bytes.end(), data, data + length);
    }
    std::vector<std::uint8_t> bytes;
};

// Pushes `data` in pieces of the given sizes through an encryptor over `layout`.
std::vector<std::uint8_t> PushInPieces(const NczLayout& layout, std::vector<std::uint8_t> data,
                                       const std::vector<std::size_t>& pieces) {
    CryptoProviders providers;
    Encrypted out;
    SectionEncryptor encryptor(layout, providers, out);
    std::size_t at = 0;
    for (std::size_t piece : pieces) {
        encryptor.push(data.data() + at, piece);
        at += piece;
    }
    EXPECT_EQ(encryptor.position(), kNcaHeaderSize + at);
    return out.bytes;
}

NczLayout LayoutOf(std::vector<NczSection> sections) {
    NczLayout layout;
    layout.sections = std::move(sections);
    layout.ncaSize = layout.sections.back().offset + layout.sections.back().size;
    return layout;
}

NczSection Section(std::uint64_t offset, std::uint64_t size, std::uint64_t type, std::uint8_t seed) {
    NczSection s;
    s.offset = offset;
    s.size = size;
    s.cryptoType = type;
    for (int i = 0; i < 16; ++i) {
        s.key[i] = static_cast<std::uint8_t>(seed * 7 + i);
        s.counter[i] = static_cast<std::uint8_t>(seed * 13 + i);
    }
    return s;
}

TEST(SectionEncryptor, PiecesGiveTheSameBytesAsOnePush) {
    // A gap before the first section, a plain section between two encrypted ones, odd boundaries.
    const NczLayout layout =
        LayoutOf({Section(0x4007, 0x1009, 3, 1), Section(0x5010, 0x33, 1, 2), Section(0x5043, 0x2005, 4, 3)});
    const auto data = testfiles::MakeContent(testfiles::Content::Random, layout.ncaSize - kNcaHeaderSize, 9);
    const auto whole = PushInPieces(layout, data, {data.size()});
    const std::vector<std::vector<std::size_t>> splits = {
        {1, data.size() - 1}, {7, 9, 0x1000, data.size() - 0x1010}, {0x1234, 0x1, data.size() - 0x1235}};
    for (const auto& split : splits) {
        SCOPED_TRACE(split.size());
        EXPECT_TRUE(PushInPieces(layout, data, split) == whole);
    }
    // The gap and the plain section pass unchanged; the encrypted ones do not.
    EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + 7, data.begin()));
    EXPECT_TRUE(std::equal(whole.begin() + 0x1010, whole.begin() + 0x1043, data.begin() + 0x1010));
    EXPECT_FALSE(std::equal(whole.begin() + 7, whole.begin() + 0x1010, data.begin() + 7));
}

TEST(SectionEncryptor, DataPastTheEndIsRefused) {
    NczLayout longerThanSections = LayoutOf({Section(0x4000, 0x10, 3, 1)});
    const std::vector<std::uint8_t> data(0x11, 1);
    test::ExpectConversionError(
        [&] { PushInPieces(longerThanSections, data, {0x11}); },
        {ConversionError::Kind::Corrupt, "NCZ распаковывается в больший размер, чем указан в заголовке."});
    longerThanSections.ncaSize = 0x4020;
    test::ExpectConversionError([&] { PushInPieces(longerThanSections, data, {0x11}); },
                                {ConversionError::Kind::Corrupt, "Повреждённая таблица секций NCZ."});
}

} // namespace
} // namespace vesko
