// Failure kinds, messages and cancellation flags; paths and UTF-8; AES and SHA-256 against published
// answers, and the counter blocks conversions never reach (they check the CTR against the builder's own).
#include "engine/ConversionError.h"
#include "engine/Crypto.h"
#include "engine/Paths.h"
#include "engine/SectionEncryptor.h"
#include "tests/support/ExpectError.h"
#include "tools/testfiles/NszBuilder.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>

namespace vesko {
namespace {

using K = ConversionError::Kind;

TEST(ConversionError, KindNamesCodeSuffixAndAccessDeniedMapping) {
    std::string names; // the console converter's lines carry them
    for (int i = 0; i <= 13; ++i)
        names += KindName(static_cast<K>(i)) + std::string(" ");
    EXPECT_EQ(names,
              "Corrupt Unsupported ReadFailed WriteFailed NameConflict SystemCrypto VerificationFailed "
              "OutOfMemory PathProblem InputChanged AccessDenied NotNsz RecoveryRecords Unknown ");
    // 995 (aborted) is cancellation only while a cancel is requested.
    const std::tuple<bool, std::uint32_t, K> rows[] = {
        {false, 23, K::ReadFailed},  {false, 5, K::ReadFailed},   {true, 5, K::AccessDenied},
        {true, 19, K::AccessDenied}, {true, 65, K::AccessDenied}, {true, 1314, K::AccessDenied},
        {true, 112, K::ReadFailed},  {true, 0, K::ReadFailed},    {true, 4294967295u, K::ReadFailed},
        {false, 995, K::ReadFailed}, {true, 995, K::ReadFailed}};
    const std::string read = "Ошибка чтения входного файла.";
    CancelFlag flag{0};
    CurrentCancelFlagScope scope(&flag);
    for (const auto& [mapped, code, kind] : rows) {
        SCOPED_TRACE(code);
        auto raise = mapped ? ThrowWindowsErrorMapped : ThrowWindowsError;
        test::ExpectConversionError([&, c = code] { raise(K::ReadFailed, read, c); },
                                    {kind, read + " (Windows " + std::to_string(code) + ")", code});
    }
    flag = 1;
    EXPECT_THROW(ThrowWindowsError(K::ReadFailed, "x", 995), Cancelled);
    EXPECT_THROW(ThrowWindowsErrorMapped(K::WriteFailed, "x", 995), Cancelled);
    test::ExpectConversionError([&] { ThrowWindowsError(K::ReadFailed, read, 996); },
                                {K::ReadFailed, read + " (Windows 996)", 996});
}

TEST(ConversionError, CancelFlagUsesBitZeroOnlyAndTheCurrentFlagIsRestored) {
    CancelFlag outer{2}, inner{3};
    EXPECT_NO_THROW(throwIfCancelled(&outer));
    EXPECT_NO_THROW(throwIfCancelled(nullptr));
    EXPECT_STREQ(Cancelled().what(), "Conversion cancelled");
    CurrentCancelFlagScope outerScope(&outer);
    {
        CurrentCancelFlagScope innerScope(&inner);
        EXPECT_EQ(currentCancelFlag, &inner);
        EXPECT_THROW(throwIfCurrentCancelled(), Cancelled);
    }
    EXPECT_EQ(currentCancelFlag, &outer);
    EXPECT_NO_THROW(throwIfCurrentCancelled());
}

TEST(Paths, LongAndFullFormsAndUtf8) {
    const std::pair<std::wstring, std::wstring> forms[] = {
        {L"D:\\d", L"\\\\?\\D:\\d"},
        {L"\\\\server\\share\\d\\", L"\\\\?\\UNC\\server\\share\\d\\"},
        {L"\\\\?\\D:\\d", L"\\\\?\\D:\\d"},
        {L"\\\\?\\UNC\\s\\x", L"\\\\?\\UNC\\s\\x"},
        {L"\\\\.\\pipe\\x", L"\\\\?\\UNC\\.\\pipe\\x"}};
    for (const auto& [in, out] : forms) {
        EXPECT_EQ(ToLongPath(in), out) << ToUtf8(in);
    }
    const std::wstring full = ToFullPath(L"game.nsz");
    ASSERT_GT(full.size(), 8u);
    EXPECT_EQ(full.substr(full.size() - 8), L"game.nsz");
    EXPECT_TRUE(std::filesystem::path(full).is_absolute());
    test::ExpectConversionError([] { ToFullPath(L""); }, {K::PathProblem, "Не указан путь к файлу."});
    // Each side of every length boundary, up to the last code point.
    const std::wstring text =
        L"Игра \u00e9 \u0645 \U0001F600 \u007F\u0080 \u07FF\u0800 \uFFFF\U00010000 \U0010FFFF";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(FromUtf8("\xff\x61"), L"\uFFFDa");
    EXPECT_EQ(FromUtf8("\xe0\x80\x80"), L"\uFFFD\uFFFD\uFFFD");
    // A lone surrogate at either end of the range is replaced.
    EXPECT_EQ(ToUtf8(std::wstring(1, wchar_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(ToUtf8(std::wstring(1, wchar_t(0xDFFF))), "\xEF\xBF\xBD");
}

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
         "3925841d02dc09fbdc118597196a0b32"}};
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
    MakeCounterBlock(high, 0x0102030405060708ull, block);
    EXPECT_EQ(testfiles::HexOf(block, 16), "00112233445566770102030405060708");
}

} // namespace
} // namespace vesko
