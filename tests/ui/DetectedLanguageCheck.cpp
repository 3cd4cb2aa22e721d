// Run by CTest with a locale in the environment and the language it must select in
// VESKO_EXPECTED_LANGUAGE: shows which settings make DetectInterfaceLanguage choose what.
#include "ui/Texts.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace vesko {
namespace {

TEST(DetectInterfaceLanguage, ChoosesTheLanguageTheEnvironmentAsksFor) {
    wchar_t value[16] = {};
    const DWORD length = GetEnvironmentVariableW(L"VESKO_EXPECTED_LANGUAGE", value, 16);
    ASSERT_TRUE(length > 0 && length < 16) << "VESKO_EXPECTED_LANGUAGE is not set";
    const int expected = std::stoi(std::wstring(value, length));

    const LANGID languageId = GetUserDefaultUILanguage();
    wchar_t localeName[LOCALE_NAME_MAX_LENGTH] = {};
    LCIDToLocaleName(MAKELCID(languageId, SORT_DEFAULT), localeName, LOCALE_NAME_MAX_LENGTH,
                     LOCALE_ALLOW_NEUTRAL_NAMES);
    EXPECT_EQ(static_cast<int>(DetectInterfaceLanguage()), expected)
        << "GetUserDefaultUILanguage " << languageId << ", locale name "
        << testing::PrintToString(localeName);
}

} // namespace
} // namespace vesko
