// Run by CTest with a locale in the environment and, in VESKO_EXPECTED_LANGUAGE, the language it must select.
#include "ui/Texts.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

namespace vesko {
namespace {

TEST(DetectInterfaceLanguage, ChoosesTheLanguageTheEnvironmentAsksFor) {
    const char* expected = std::getenv("VESKO_EXPECTED_LANGUAGE");
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(static_cast<int>(DetectInterfaceLanguage()), std::atoi(expected))
        << "GetUserDefaultUILanguage " << GetUserDefaultUILanguage();
}

} // namespace
} // namespace vesko
