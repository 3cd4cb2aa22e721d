// The text tables: the given rows of every language, and the checks that catch a slip in any entry;
// language choice by locale name, the right-to-left flag and left-to-right isolation.
#include "engine/Paths.h"
#include "ui/ScopedInterfaceLanguage.h"
#include "ui/Texts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace vesko {
namespace {

using Lang = InterfaceLanguage;

constexpr Lang kAllLanguages[] = {Lang::English,          Lang::Russian, Lang::Spanish,
                                  Lang::PortugueseBrazil, Lang::Arabic,  Lang::Italian};

std::wstring_view Entry(Lang language, int index) {
    return TextsFor(language)[static_cast<std::size_t>(index)];
}

std::size_t Occurrences(std::wstring_view text, std::wstring_view word) {
    std::size_t count = 0;
    for (auto at = text.find(word); at != std::wstring_view::npos; at = text.find(word, at + 1), ++count) {
    }
    return count;
}

// Typed here on their own, in the order of kAllLanguages, so that a slip in a table shows.
struct GivenRow {
    TextKey key;
    const wchar_t* texts[std::size(kAllLanguages)];
};

constexpr GivenRow kGivenRows[] = {
    {TextKey::TextConvertToNsp,
     {L"Convert to NSP", L"Конвертировать в NSP", L"Convertir a NSP", L"Converter para NSP", L"حوّل إلى NSP",
      L"Converti in NSP"}},
    {TextKey::TextCancel, {L"Cancel", L"Отменить", L"Cancelar", L"Cancelar", L"إلغاء", L"Annulla"}},
    {TextKey::TextDone, {L"Done", L"Готово", L"Listo", L"Pronto", L"تم التحويل", L"Fatto"}},
    {TextKey::TextUnitMegabytes, {L"MB", L"МБ", L"MB", L"MB", L"م.ب", L"MB"}},
    {TextKey::TextUnitGigabytes, {L"GB", L"ГБ", L"GB", L"GB", L"غ.ب", L"GB"}},
    {TextKey::TextDeleteSources,
     {L"Delete sources after successful conversion (permanently)",
      L"Удалять исходники после успешной конвертации (без корзины)",
      L"Eliminar originales tras convertirlos correctamente (sin papelera)",
      L"Excluir originais após converter com sucesso (sem Lixeira)",
      L"حذف الملفات الأصلية بعد نجاح التحويل (دون سلة المحذوفات)",
      L"Elimina gli originali dopo la conversione riuscita (senza Cestino)"}},
    {TextKey::TextResultsTitle,
     {L"Conversion results", L"Результаты конвертации", L"Resultados de la conversión",
      L"Resultados da conversão", L"نتائج التحويل", L"Risultati della conversione"}},
    {TextKey::TextClose, {L"Close", L"Закрыть", L"Cerrar", L"Fechar", L"إغلاق", L"Chiudi"}},
};

TEST(TextTables, GivenRowsAppearExactly) {
    for (const auto& row : kGivenRows) {
        for (std::size_t l = 0; l < std::size(kAllLanguages); ++l) {
            SCOPED_TRACE(std::to_string(static_cast<int>(row.key)) + " in language " + std::to_string(l));
            EXPECT_EQ(Entry(kAllLanguages[l], static_cast<int>(row.key)), row.texts[l]);
        }
    }
}

// Only these are the same word in English: any other equal entry was left untranslated.
// clang-format off
const std::set<std::pair<Lang, TextKey>> kSameAsEnglish = {
    {Lang::Spanish, TextKey::TextUnitMegabytes}, {Lang::Spanish, TextKey::TextUnitGigabytes},
    {Lang::PortugueseBrazil, TextKey::TextUnitMegabytes}, {Lang::PortugueseBrazil, TextKey::TextUnitGigabytes},
    {Lang::Italian, TextKey::TextUnitMegabytes}, {Lang::Italian, TextKey::TextUnitGigabytes},
    {Lang::Italian, TextKey::TextFile}};
// clang-format on

// Names, the file filter and the site stay as they are in every language, as often as English has them.
constexpr std::wstring_view kKeptWords[] = {L"NSZ",     L"NTFS",          L"exFAT",
                                            L"(*.nsz)", L"vesko.example", L"Nintendo Switch"};

TEST(TextTables, EveryEntryTranslatedTrimmedAndKeepingEnglishNames) {
    std::set<const TextTable*> tables;
    for (Lang language : kAllLanguages) {
        tables.insert(&TextsFor(language));
        for (int index = 0; index < kTextCount; ++index) {
            SCOPED_TRACE("language " + std::to_string(static_cast<int>(language)) + ", key " +
                         std::to_string(index));
            const std::wstring_view text = Entry(language, index);
            const std::wstring_view english = Entry(Lang::English, index);
            ASSERT_FALSE(text.empty());
            EXPECT_NE(text.front(), L' ');
            EXPECT_NE(text.back(), L' ');
            // The single-character ellipsis where English trails off, never three dots.
            EXPECT_EQ(text.ends_with(L'\u2026'), english.ends_with(L'\u2026')) << ToUtf8(std::wstring(text));
            EXPECT_EQ(text.find(L"..."), std::wstring_view::npos);
            for (std::wstring_view word : kKeptWords) {
                EXPECT_EQ(Occurrences(text, word), Occurrences(english, word)) << ToUtf8(std::wstring(word));
            }
            if (language != Lang::English) {
                EXPECT_EQ(text == english,
                          kSameAsEnglish.count({language, static_cast<TextKey>(index)}) == 1);
            }
        }
    }
    EXPECT_EQ(tables.size(), std::size(kAllLanguages));
}

TEST(Text, CurrentLanguageAndOutOfRangeValues) {
    for (int value : {-1, 6, -2147483647 - 1}) {
        EXPECT_EQ(&TextsFor(static_cast<Lang>(value)), &TextsFor(Lang::English)) << value;
    }
    for (Lang language : kAllLanguages) {
        SCOPED_TRACE(static_cast<int>(language));
        ScopedInterfaceLanguage scoped(language);
        for (int index = 0; index < kTextCount; ++index) {
            EXPECT_EQ(Text(static_cast<TextKey>(index)), TextsFor(language)[static_cast<std::size_t>(index)]);
        }
        // A key outside the table gives the unexpected-error text of the same language.
        for (int value : {-1, kTextCount}) {
            EXPECT_EQ(Text(static_cast<TextKey>(value)), Text(TextKey::TextErrUnexpected));
        }
    }
}

TEST(LanguageFromLocaleName, LanguagePartDecides) {
    // clang-format off
    const std::pair<const wchar_t*, Lang> cases[] = {
        {L"RU", Lang::Russian}, {L"ru-RU", Lang::Russian}, {L"Ru_ru", Lang::Russian}, {L"ru", Lang::Russian},
        {L"es-MX", Lang::Spanish}, {L"ES", Lang::Spanish}, {L"pt", Lang::PortugueseBrazil},
        {L"pt-BR", Lang::PortugueseBrazil}, {L"pt-PT", Lang::PortugueseBrazil}, {L"ptx", Lang::English},
        {L"ar", Lang::Arabic}, {L"AR", Lang::Arabic}, {L"ar-EG", Lang::Arabic}, {L"ar-SA", Lang::Arabic},
        {L"it-IT", Lang::Italian}, {L"it.UTF-8", Lang::Italian}, {L"it:x", Lang::Italian},
        {L"it@euro", Lang::Italian}, {L"en-GB", Lang::English}, {L"en-US", Lang::English},
        {L"zh-CN", Lang::English}, {L"fil-PH", Lang::English}, {L"-x", Lang::English}, {L"_ru", Lang::English},
        {L".ru", Lang::English}, {L"@ru", Lang::English}, {L"", Lang::English}, {L"r", Lang::English},
        {L"r-u", Lang::English}, {L"rus", Lang::English},
        // Only ASCII capitals are lowered: a fullwidth or Cyrillic look-alike is no match.
        {L"\uFF32\uFF35", Lang::English}, {L"\u0440u", Lang::English},
    };
    // clang-format on
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(ToUtf8(name));
        EXPECT_EQ(LanguageFromLocaleName(name), expected);
    }
}

TEST(IsRightToLeft, OnlyArabicAndSetTogetherWithTheLanguage) {
    for (int value : {0, 1, 2, 3, 4, 5, 6, -4, 7}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(IsRightToLeft(static_cast<Lang>(value)), value == 4);
        if (value >= 0 && value <= 5) {
            ScopedInterfaceLanguage scoped(static_cast<Lang>(value));
            EXPECT_EQ(CurrentInterfaceLanguage(), static_cast<Lang>(value));
            EXPECT_EQ(IsRightToLeftMode(), value == 4);
        }
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
    for (Lang language :
         {Lang::English, Lang::Russian, Lang::Spanish, Lang::PortugueseBrazil, Lang::Italian}) {
        SCOPED_TRACE(static_cast<int>(language));
        ScopedInterfaceLanguage scoped(language);
        EXPECT_EQ(IsolateLeftToRight(path), path);
        EXPECT_EQ(IsolateLeftToRight(L""), L"");
    }
}

} // namespace
} // namespace vesko
