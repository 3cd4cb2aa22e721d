// Failure kinds, messages and cancellation flags; path forms and UTF-8.
#include "engine/ConversionError.h"
#include "engine/Paths.h"
#include "tests/support/ExpectError.h"

#include <string>
#include <tuple>

namespace vesko {
namespace {

using K = ConversionError::Kind;

TEST(ConversionError, KindValuesAndNamesAreFixed) {
    // The values are stored by the interface and the storage code; the names appear in the console
    // converter's lines.
    std::string names;
    for (int i = 0; i <= 13; ++i)
        names += KindName(static_cast<K>(i)) + std::string(" ");
    EXPECT_EQ(names,
              "Corrupt Unsupported ReadFailed WriteFailed NameConflict SystemCrypto VerificationFailed "
              "OutOfMemory PathProblem InputChanged AccessDenied NotNsz RecoveryRecords Unknown ");
}

TEST(ConversionError, MessageCodeSuffixAndAccessDeniedMapping) {
    test::ExpectConversionError([] { ThrowConversionError("Это не NSZ-контейнер PFS0.", K::NotNsz); },
                                {K::NotNsz, "Это не NSZ-контейнер PFS0."});
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
#ifdef _WIN32
    EXPECT_EQ(full[1], L':');
#else
    EXPECT_EQ(full[0], L'/');
#endif
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

} // namespace
} // namespace vesko
