// The system's AES and SHA-256 against published answers, and the CTR built on them. Whole conversions
// check the CTR against the test-file builder's own; only what they cannot reach is here.
#include "engine/Crypto.h"
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
        auto block = Hex(std::string(plain) + plain);
        aes.encryptBlocks(block.data(), block.size());
        EXPECT_EQ(testfiles::HexOf(block.data(), 32), std::string(cipher) + cipher);
    }
    Sha256Context abc(providers);
    abc.update("a", 1);
    abc.update("bc", 2);
    EXPECT_EQ(testfiles::HexOf(abc.finish().data(), 32),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(testfiles::HexOf(Sha256Context(providers).finish().data(), 32),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    std::uint8_t a[16] = {}, b[16] = {};
    ASSERT_TRUE(FillRandomBytes(a, sizeof a) && FillRandomBytes(b, sizeof b));
    EXPECT_NE(std::memcmp(a, b, sizeof a), 0);
}

TEST(SectionEncryptor, CounterBlockOfNcaOffset0x4000) {
    const std::uint8_t high[8] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    std::uint8_t block[16];
    MakeCounterBlock(high, 0x4000 / 16, block);
    EXPECT_EQ(testfiles::HexOf(block, 16), "00112233445566770000000000000400");
    MakeCounterBlock(high, 0x0102030405060708ull,
                     block); // every byte of the index, which conversions never reach
    EXPECT_EQ(testfiles::HexOf(block, 16), "00112233445566770102030405060708");
}

// A conversion stops at the decoder before this; the encryptor guards its own bounds all the same.
TEST(SectionEncryptor, DataPastTheEndIsRefused) {
    struct Discard : ChunkSink {
        void write(std::uint8_t*, std::size_t) override {}
    } sink;
    NczLayout layout;
    layout.sections.resize(1);
    layout.sections[0] = {0x4000, 0x10, 3, {}, {}};
    layout.ncaSize = 0x4010;
    CryptoProviders providers;
    std::uint8_t data[0x11] = {};
    test::ExpectConversionError(
        [&] { SectionEncryptor(layout, providers, sink).push(data, 0x11); },
        {ConversionError::Kind::Corrupt, "NCZ распаковывается в больший размер, чем указан в заголовке."});
    layout.ncaSize = 0x4020;
    test::ExpectConversionError([&] { SectionEncryptor(layout, providers, sink).push(data, 0x11); },
                                {ConversionError::Kind::Corrupt, "Повреждённая таблица секций NCZ."});
}

} // namespace
} // namespace vesko
