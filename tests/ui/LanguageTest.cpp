// Language choice by locale name, the right-to-left flag and left-to-right isolation.
#include "engine/Paths.h"
#include "ui/ScopedInterfaceLanguage.h"
#include "ui/Texts.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace vesko {
namespace {

using Lang = InterfaceLanguage;

struct LocaleCase {
    const wchar_t* localeName;
    Lang expected;
};

TEST(LanguageFromLocaleName, LanguagePartDecides) {
    const LocaleCase cases[] = {
        {L"RU", Lang::Russian},
        {L"ru-RU", Lang::Russian},
        {L"Ru_ru", Lang::Russian},
        {L"ru", Lang::Russian},
        {L"es-MX", Lang::Spanish},
        {L"ES", Lang::Spanish},
        {L"pt", Lang::PortugueseBrazil},
        {L"pt-BR", Lang::PortugueseBrazil},
        {L"pt-PT", Lang::PortugueseBrazil},
        {L"ptx", Lang::English},
        {L"ar", Lang::Arabic},
        {L"AR", Lang::Arabic},
        {L"ar-EG", Lang::Arabic},
        {L"ar-SA", Lang::Arabic},
        {L"it-IT", Lang::Italian},
        {L"it.UTF-8", Lang::Italian},
        {L"it:x", Lang::Italian},
        {L"it@euro", Lang::Italian},
        {L"en-GB", Lang::English},
        {L"en-US", Lang::English},
        {L"zh-CN", Lang::English},
        {L"fil-PH", Lang::English},
        {L"-x", Lang::English},
        {L"_ru", Lang::English},
        {L".ru", Lang::English},
        {L"@ru", Lang::English},
        {L"", Lang::English},
        {L"r", Lang::English},
        {L"r-u", Lang::English},
        {L"rus", Lang::English},
        // Only ASCII capitals are lowered: a fullwidth or Cyrillic look-alike is no match.
        {L"\uFF32\uFF35", Lang::English},
        {L"\u0440u", Lang::English},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.localeName));
        EXPECT_EQ(LanguageFromLocaleName(c.localeName), c.expected);
    }
}

TEST(IsRightToLeft, OnlyArabic) {
    const std::pair<int, bool> cases[] = {{0, false}, {1, false}, {2, false},  {3, false}, {4, true},
                                          {5, false}, {6, false}, {-4, false}, {7, false}};
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE(value);
        EXPECT_EQ(IsRightToLeft(static_cast<Lang>(value)), expected);
    }
}

TEST(SetInterfaceLanguage, SetsLanguageAndFlagTogether) {
    const Lang languages[] = {Lang::English,          Lang::Russian, Lang::Spanish,
                              Lang::PortugueseBrazil, Lang::Arabic,  Lang::Italian};
    for (Lang language : languages) {
        SCOPED_TRACE(static_cast<int>(language));
        ScopedInterfaceLanguage scoped(language);
        EXPECT_EQ(CurrentInterfaceLanguage(), language);
        EXPECT_EQ(IsRightToLeftMode(), language == Lang::Arabic);
    }
}

TEST(ScopedInterfaceLanguage, RestoresThePreviousLanguageAndFlag) {
    ScopedInterfaceLanguage outer(Lang::Russian);
    {
        ScopedInterfaceLanguage inner(Lang::Arabic);
        EXPECT_TRUE(IsRightToLeftMode());
    }
    EXPECT_EQ(CurrentInterfaceLanguage(), Lang::Russian);
    EXPECT_FALSE(IsRightToLeftMode());
}

TEST(IsolateLeftToRight, MarksOnlyInRightToLeftMode) {
    const std::wstring path = L"D:\\Games\\a.nsz";
    {
        ScopedInterfaceLanguage scoped(Lang::Arabic);
        EXPECT_EQ(IsolateLeftToRight(path), L"\u200E" + path + L"\u200E");
        EXPECT_EQ(IsolateLeftToRight(L""), L"\u200E\u200E");
    }
    const Lang others[] = {Lang::English, Lang::Russian, Lang::Spanish, Lang::PortugueseBrazil,
                           Lang::Italian};
    for (Lang language : others) {
        SCOPED_TRACE(static_cast<int>(language));
        ScopedInterfaceLanguage scoped(language);
        EXPECT_EQ(IsolateLeftToRight(path), path);
        EXPECT_EQ(IsolateLeftToRight(L""), L"");
    }
}

} // namespace
} // namespace vesko
