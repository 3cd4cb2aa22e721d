#include "engine/ConversionError.h"
#include "engine/Paths.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {

TEST(ToLongPath, Forms) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"D:\\d", L"\\\\?\\D:\\d"},
        {L"\\\\server\\share\\d\\", L"\\\\?\\UNC\\server\\share\\d\\"},
        {L"\\\\?\\D:\\d", L"\\\\?\\D:\\d"},
        {L"\\\\?\\UNC\\s\\x", L"\\\\?\\UNC\\s\\x"},
        {L"\\\\.\\pipe\\x", L"\\\\?\\UNC\\.\\pipe\\x"},
    };
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(ToUtf8(in));
        EXPECT_EQ(ToLongPath(in), out);
    }
}

TEST(ToFullPath, RelativeNameBecomesAbsoluteAndEmptyIsAPathProblem) {
    const std::wstring full = ToFullPath(L"game.nsz");
    ASSERT_GT(full.size(), 8u);
    EXPECT_EQ(full.substr(full.size() - 8), L"game.nsz");
#ifdef _WIN32
    EXPECT_EQ(full[1], L':');
#else
    EXPECT_EQ(full[0], L'/');
#endif
    test::ExpectConversionError([] { ToFullPath(L""); },
                                {ConversionError::Kind::PathProblem, "Не указан путь к файлу."});
}

TEST(Utf8, RoundTripsAndReplacesInvalid) {
    // Each side of every length boundary, up to the last code point.
    const std::wstring text =
        L"Игра \u00e9 \u0645 \U0001F600 \u007F\u0080 \u07FF\u0800 \uFFFF\U00010000 \U0010FFFF";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(FromUtf8("\xff"
                       "a"),
              L"\uFFFD"
              L"a");
    EXPECT_EQ(FromUtf8("\xe0\x80\x80"), L"\uFFFD\uFFFD\uFFFD");
    // A lone surrogate at either end of the range is replaced.
    for (const wchar_t lone : {wchar_t(0xD800), wchar_t(0xDFFF)}) {
        EXPECT_EQ(ToUtf8(std::wstring(1, lone)), "\xEF\xBF\xBD");
    }
}

} // namespace
} // namespace vesko
