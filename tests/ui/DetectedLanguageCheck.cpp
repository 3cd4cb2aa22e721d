// Run by CTest with a locale in the environment and the language it must select in
// VESKO_EXPECTED_LANGUAGE: shows which settings make DetectInterfaceLanguage choose what.
#include "ui/Texts.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace vesko {
namespace {

TEST(DetectInterfaceLanguage, ChoosesTheLanguageTheEnvironmentAsksFor) {
    wchar_t value[16] = {}, localeName[LOCALE_NAME_MAX_LENGTH] = {};
    const DWORD length = GetEnvironmentVariableW(L"VESKO_EXPECTED_LANGUAGE", value, 16);
    ASSERT_TRUE(length > 0 && length < 16) << "VESKO_EXPECTED_LANGUAGE is not set";
    const LANGID languageId = GetUserDefaultUILanguage();
    LCIDToLocaleName(MAKELCID(languageId, SORT_DEFAULT), localeName, LOCALE_NAME_MAX_LENGTH,
                     LOCALE_ALLOW_NEUTRAL_NAMES);
    EXPECT_EQ(static_cast<int>(DetectInterfaceLanguage()), std::stoi(std::wstring(value, length)))
        << "GetUserDefaultUILanguage " << languageId << ", locale name "
        << testing::PrintToString(localeName);
}

} // namespace
} // namespace vesko
