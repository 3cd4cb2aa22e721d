#include "engine/Paths.h"
#include "ui/FailureMessage.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

#include <set>
#include <string_view>

namespace vesko {
namespace {

using Lang = InterfaceLanguage;
using enum InterfaceLanguage;
using Kind = ConversionError::Kind;
using enum TextKey;

constexpr Lang kAllLanguages[] = {English, Russian, Spanish, PortugueseBrazil, Arabic, Italian};

std::wstring Entry(Lang language, TextKey key) {
    return TextsFor(language)[static_cast<std::size_t>(key)];
}

// Typed here on their own, in the order of kAllLanguages, so that a slip in a table shows.
// clang-format off
const std::pair<TextKey, std::vector<std::wstring>> kGivenRows[] = {
    {TextConvertToNsp, {L"Convert to NSP", L"Конвертировать в NSP", L"Convertir a NSP", L"Converter para NSP",
                        L"حوّل إلى NSP", L"Converti in NSP"}},
    {TextCancel, {L"Cancel", L"Отменить", L"Cancelar", L"Cancelar", L"إلغاء", L"Annulla"}},
    {TextDone, {L"Done", L"Готово", L"Listo", L"Pronto", L"تم التحويل", L"Fatto"}},
    {TextUnitMegabytes, {L"MB", L"МБ", L"MB", L"MB", L"م.ب", L"MB"}},
    {TextUnitGigabytes, {L"GB", L"ГБ", L"GB", L"GB", L"غ.ب", L"GB"}},
    {TextDeleteSources, {L"Delete sources after successful conversion (permanently)",
                         L"Удалять исходники после успешной конвертации (без корзины)",
                         L"Eliminar originales tras convertirlos correctamente (sin papelera)",
                         L"Excluir originais após converter com sucesso (sem Lixeira)",
                         L"حذف الملفات الأصلية بعد نجاح التحويل (دون سلة المحذوفات)",
                         L"Elimina gli originali dopo la conversione riuscita (senza Cestino)"}},
    {TextResultsTitle, {L"Conversion results", L"Результаты конвертации", L"Resultados de la conversión",
                        L"Resultados da conversão", L"نتائج التحويل", L"Risultati della conversione"}},
    {TextClose, {L"Close", L"Закрыть", L"Cerrar", L"Fechar", L"إغلاق", L"Chiudi"}},
};
// Only these are the same word in English: any other equal entry was left untranslated.
const std::set<std::pair<Lang, TextKey>> kSameAsEnglish = {
    {Spanish, TextUnitMegabytes}, {Spanish, TextUnitGigabytes}, {PortugueseBrazil, TextUnitMegabytes},
    {PortugueseBrazil, TextUnitGigabytes}, {Italian, TextUnitMegabytes}, {Italian, TextUnitGigabytes},
    {Italian, TextFile}};
// clang-format on

// Names, the file filter and the site stay as they are in every language, as often as English has them.
std::size_t Occurrences(std::wstring_view text, std::wstring_view word) {
    const auto at = text.find(word);
    return at == std::wstring_view::npos ? 0 : 1 + Occurrences(text.substr(at + 1), word);
}
constexpr std::wstring_view kKeptWords[] = {L"NSZ",     L"NTFS",          L"exFAT",
                                            L"(*.nsz)", L"vesko.example", L"Nintendo Switch"};

TEST(Texts, EveryTableCompleteTranslatedAndTheCurrentLanguagesOwnWithItsDirection) {
    for (int value : {-1, 6, -2147483647 - 1}) {
        EXPECT_EQ(&TextsFor(static_cast<Lang>(value)), &TextsFor(English)) << value;
        EXPECT_FALSE(IsRightToLeft(static_cast<Lang>(value))) << value;
    }
    std::set<const TextTable*> tables;
    ScopedInterfaceLanguage outer(Russian);
    for (std::size_t l = 0; l < std::size(kAllLanguages); ++l) {
        const Lang language = kAllLanguages[l];
        // Each scope restores the language and the flag it found.
        EXPECT_EQ(std::make_pair(CurrentInterfaceLanguage(), IsRightToLeftMode()),
                  std::make_pair(Russian, false));
        ScopedInterfaceLanguage scoped(language);
        const bool arabic = language == Arabic;
        EXPECT_EQ(std::make_tuple(CurrentInterfaceLanguage(), IsRightToLeft(language), IsRightToLeftMode()),
                  std::make_tuple(language, arabic, arabic));
        const std::wstring mark = arabic ? L"\u200E" : L"";
        EXPECT_EQ(std::make_pair(IsolateLeftToRight(L"D:\\a.nsz"), IsolateLeftToRight(L"")),
                  std::make_pair(mark + L"D:\\a.nsz" + mark, mark + mark));
        tables.insert(&TextsFor(language));
        for (const auto& [key, texts] : kGivenRows) {
            EXPECT_EQ(Entry(language, key), texts[l]) << l << ", key " << static_cast<int>(key);
        }
        for (int index = 0; index < kTextCount; ++index) {
            SCOPED_TRACE("language " + std::to_string(l) + ", key " + std::to_string(index));
            const std::wstring text = Entry(language, static_cast<TextKey>(index));
            const std::wstring english = Entry(English, static_cast<TextKey>(index));
            ASSERT_FALSE(text.empty() || text.front() == L' ' || text.back() == L' ') << ToUtf8(text);
            // The single-character ellipsis where English trails off, never three dots.
            EXPECT_EQ(text.ends_with(L'\u2026'), english.ends_with(L'\u2026')) << ToUtf8(text);
            EXPECT_EQ(text.find(L"..."), std::wstring::npos);
            for (std::wstring_view word : kKeptWords) {
                EXPECT_EQ(Occurrences(text, word), Occurrences(english, word)) << ToUtf8(std::wstring(word));
            }
            if (language != English) {
                EXPECT_EQ(text == english, kSameAsEnglish.contains({language, static_cast<TextKey>(index)}));
            }
            EXPECT_EQ(Text(static_cast<TextKey>(index)), text);
        }
        // A key outside the table gives the unexpected-error text of the same language.
        for (int value : {-1, kTextCount}) {
            EXPECT_EQ(Text(static_cast<TextKey>(value)), Entry(language, TextErrUnexpected));
        }
    }
    EXPECT_EQ(tables.size(), std::size(kAllLanguages));
}

TEST(LanguageFromLocaleName, LanguagePartDecides) {
    // One row per language and separator; only ASCII capitals are lowered (no fullwidth or Cyrillic match).
    // clang-format off
    const std::pair<const wchar_t*, Lang> cases[] = {
        {L"RU", Russian}, {L"ru-RU", Russian}, {L"Ru_ru", Russian}, {L"es-MX", Spanish},
        {L"pt-BR", PortugueseBrazil}, {L"pt-PT", PortugueseBrazil}, {L"ptx", English}, {L"ar-EG", Arabic},
        {L"it-IT", Italian}, {L"it.UTF-8", Italian}, {L"it:x", Italian}, {L"it@euro", Italian},
        {L"en-GB", English}, {L"zh-CN", English}, {L"fil-PH", English}, {L"-x", English}, {L"", English},
        {L"r", English}, {L"rus", English}, {L"\uFF32\uFF35", English}, {L"\u0440u", English}};
    // clang-format on
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(LanguageFromLocaleName(name), expected) << ToUtf8(name);
    }
#ifdef _WIN32
    // Identifiers through the system's locale names, 0x0019 neutral; ui_detect_language_* cover the rest.
    const std::pair<unsigned short, Lang> ids[] = {
        {0x0419, Russian}, {0x0019, Russian}, {0x0C0A, Spanish}, {0x0409, English}, {0x0464, English}};
    for (const auto& [id, expected] : ids) {
        EXPECT_EQ(LanguageFromLanguageId(id), expected) << id;
    }
#endif
}

ConversionError Error(Kind kind, std::uint32_t code = 0, std::uint64_t required = 0,
                      std::uint64_t available = 0) {
    return ConversionError("diagnostic text never shown", kind, code, required, available);
}

TEST(FailureMessageKey, KindAndWindowsCodeRules) {
    // Kinds that decide alone, whatever the code; then ReadFailed (2), WriteFailed (3) and PathProblem (8).
    // clang-format off
    const std::tuple<std::uint32_t, std::vector<std::uint32_t>, TextKey, bool> cases[] = {
        {0, {0, 112}, TextErrDamaged, false}, {1, {0}, TextErrUnsupported, false},
        {4, {183}, TextErrNameInUse, false}, {5, {0}, TextErrInternal, false},
        {6, {0}, TextErrVerification, false}, {7, {0}, TextErrOutOfMemory, false},
        {9, {0}, TextErrSourceChanged, false}, {10, {5, 0, 32}, TextErrFolderNotWritable, true},
        {11, {0}, TextErrNotNsz, false}, {12, {112}, TextErrRecoveryRecords, false},
        {13, {0, 112}, TextErrUnexpected, false}, {0xFFFFFFFFu, {0}, TextErrUnexpected, false},
        {2, {32, 33}, TextErrFileInUse, false}, {2, {8, 14, 1816}, TextErrOutOfMemory, false},
        {2, {21, 55, 1117, 1167}, TextErrDriveUnavailable, false}, {2, {2, 3}, TextErrSourceMissing, false},
        {2, {5, 65, 1314}, TextErrAccessDenied, false}, {2, {0, 112, 39, 223, 1295, 23}, TextErrRead, false},
        {3, {32, 33}, TextErrFileInUse, false}, {3, {8, 1816}, TextErrOutOfMemory, false},
        {3, {21, 1167}, TextErrDriveUnavailable, false}, {3, {39, 112, 1295}, TextErrDiskFull, true},
        {3, {223}, TextErrFileTooLarge, true}, {3, {2, 5, 0}, TextErrSave, false},
        {8, {32}, TextErrFileInUse, false}, {8, {14}, TextErrOutOfMemory, false},
        {8, {55, 1117}, TextErrDriveUnavailable, false}, {8, {39, 112, 1295}, TextErrDiskFull, true},
        {8, {223}, TextErrFileTooLarge, true}, {8, {3, 0}, TextErrPathAccess, false},
    };
    // clang-format on
    for (const auto& [kind, codes, expected, destination] : cases) {
        for (std::uint32_t code : codes) {
            SCOPED_TRACE("kind " + std::to_string(kind) + ", code " + std::to_string(code));
            const ConversionError error = Error(static_cast<Kind>(kind), code);
            EXPECT_EQ(static_cast<int>(FailureMessageKey(error)), static_cast<int>(expected));
            EXPECT_EQ(IsDestinationFailure(error), destination);
        }
    }
    for (std::uint32_t code : {32u, 33u, 5u, 0u, 2u, 34u, 31u}) {
        const TextKey expected = code == 32 || code == 33 ? TextSourceInUseKept : TextSourceNotDeleted;
        EXPECT_EQ(static_cast<int>(SourceKeptWarningKey(code)), static_cast<int>(expected)) << code;
    }
}

TEST(FailureMessage, SentenceAndSpaceLineInTheCurrentLanguage) {
    const ConversionError spaceCheck = Error(Kind::WriteFailed, 112, 5000000000, 1288490188);
    const std::wstring diskFull = L"The disk is full. Free up space or choose another disk.";
    const auto arabic = [](TextKey key) { return Entry(Arabic, key); };
    const std::tuple<const char*, Lang, ConversionError, std::wstring> cases[] = {
        {"space check", English, spaceCheck, diskFull + L"\nRequired: 4.7 GB · Available: 1.1 GB"},
        {"space check in Russian", Russian, spaceCheck,
         L"На диске закончилось место. Освободите место или выберите другой диск.\n"
         L"Требуется: 4,7 ГБ · Доступно: 1,1 ГБ"},
        {"space check in Arabic", Arabic, spaceCheck,
         arabic(TextErrDiskFull) + L"\n" + arabic(TextRequired) + L": \u200E4.7 غ.ب\u200E · " +
             arabic(TextAvailable) + L": \u200E1.1 غ.ب\u200E"},
        {"nothing available is still shown", English, Error(Kind::WriteFailed, 112, 1, 0),
         diskFull + L"\nRequired: 0.1 MB · Available: 0.0 MB"},
        {"112 without required bytes", English, Error(Kind::WriteFailed, 112), diskFull},
        {"39 is not 112", English, Error(Kind::PathProblem, 39, 5000000000, 1288490188), diskFull},
        {"223 carries required bytes but no figures", English, Error(Kind::WriteFailed, 223, 5000000000),
         L"This drive cannot store a file this large. Choose a drive formatted as NTFS or exFAT."},
        {"a read failure never talks about space", English,
         Error(Kind::ReadFailed, 112, 5000000000, 1288490188),
         L"Could not read the file. Copy it to a local folder and try again."},
    };
    for (const auto& [why, language, error, expected] : cases) {
        SCOPED_TRACE(why);
        ScopedInterfaceLanguage scoped(language);
        EXPECT_EQ(FailureMessage(error), expected);
    }
}

TEST(FormatSize, RoundingUnitAndDecimalSeparatorPerLanguage) {
    ScopedInterfaceLanguage english(English);
    // Halves of a tenth, exact tenths, the last byte below 1 GiB (megabytes, even at 1024.0) and the largest
    // count (2^64 as a double, a tenth too much for Down). Columns: bytes, then up, down and nearest.
    // clang-format off
    const std::tuple<std::uint64_t, const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
        {0, L"0.0 MB", L"0.0 MB", L"0.0 MB"}, {1, L"0.1 MB", L"0.0 MB", L"0.0 MB"},
        {1363149, L"1.4 MB", L"1.3 MB", L"1.3 MB"}, {262144, L"0.3 MB", L"0.2 MB", L"0.3 MB"},
        {262143, L"0.3 MB", L"0.2 MB", L"0.2 MB"}, {524288, L"0.5 MB", L"0.5 MB", L"0.5 MB"},
        {524289, L"0.6 MB", L"0.5 MB", L"0.5 MB"}, {1048575, L"1.0 MB", L"0.9 MB", L"1.0 MB"},
        {1048576, L"1.0 MB", L"1.0 MB", L"1.0 MB"}, {1073741823, L"1024.0 MB", L"1023.9 MB", L"1024.0 MB"},
        {1073741824, L"1.0 GB", L"1.0 GB", L"1.0 GB"}, {1073741825, L"1.1 GB", L"1.0 GB", L"1.0 GB"},
        {1610612736, L"1.5 GB", L"1.5 GB", L"1.5 GB"}, {1288490188, L"1.2 GB", L"1.1 GB", L"1.2 GB"},
        {1099511627776, L"1024.0 GB", L"1024.0 GB", L"1024.0 GB"},
        {18446744073709551615u, L"17179869184.0 GB", L"17179869183.9 GB", L"17179869184.0 GB"},
    };
    // The size alone carries no direction marks: the caller isolates it where it inserts it.
    const std::tuple<Lang, const wchar_t*, const wchar_t*> languages[] = {
        {English, L"1.5 GB", L"12.5 MB"}, {Russian, L"1,5 ГБ", L"12,5 МБ"},
        {Spanish, L"1,5 GB", L"12,5 MB"}, {PortugueseBrazil, L"1,5 GB", L"12,5 MB"},
        {Arabic, L"1.5 غ.ب", L"12.5 م.ب"}, {Italian, L"1,5 GB", L"12,5 MB"},
    };
    // clang-format on
    for (const auto& [bytes, up, down, nearest] : cases) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(FormatSize(bytes, SizeRounding::Up), up);
        EXPECT_EQ(FormatSize(bytes, SizeRounding::Down), down);
        EXPECT_EQ(FormatSize(bytes, SizeRounding::Nearest), nearest);
    }
    for (const auto& [language, gigabytes, megabytes] : languages) {
        SCOPED_TRACE(static_cast<int>(language));
        ScopedInterfaceLanguage scoped(language);
        EXPECT_EQ(FormatSize(1610612736, SizeRounding::Nearest), gigabytes);
        EXPECT_EQ(FormatSize(13107200, SizeRounding::Up), megabytes);
    }
}

} // namespace
} // namespace vesko
