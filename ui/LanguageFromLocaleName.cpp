// Locale name to interface language, by the language part alone: every regional variant counts.
#include "ui/Texts.h"

#include <string_view>

namespace vesko {

InterfaceLanguage LanguageFromLocaleName(const std::wstring& localeName) {
    const std::size_t end = localeName.find_first_of(L"-_.:@");
    std::wstring prefix = localeName.substr(0, end);
    // Only ASCII capitals: towlower would follow the C locale and could fold other letters into a match.
    for (wchar_t& c : prefix) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    struct KnownLanguage {
        std::wstring_view code;
        InterfaceLanguage language;
    };
    static constexpr KnownLanguage kKnown[] = {
        {L"ru", InterfaceLanguage::Russian},          {L"es", InterfaceLanguage::Spanish},
        {L"pt", InterfaceLanguage::PortugueseBrazil}, {L"ar", InterfaceLanguage::Arabic},
        {L"it", InterfaceLanguage::Italian},
    };
    for (const KnownLanguage& known : kKnown) {
        if (prefix == known.code) {
            return known.language;
        }
    }
    return InterfaceLanguage::English;
}

} // namespace vesko
