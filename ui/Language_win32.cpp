// The interface language from the user's Windows display language.
#include "ui/Texts.h"

#include <windows.h>

namespace vesko {

InterfaceLanguage LanguageFromLanguageId(unsigned short languageId) {
    wchar_t localeName[LOCALE_NAME_MAX_LENGTH] = {};
    // Neutral names ("ar") must count as well as specific ones ("ar-SA").
    const int length = LCIDToLocaleName(MAKELCID(languageId, SORT_DEFAULT), localeName,
                                        LOCALE_NAME_MAX_LENGTH, LOCALE_ALLOW_NEUTRAL_NAMES);
    if (length < 1) {
        return InterfaceLanguage::English;
    }
    return LanguageFromLocaleName(localeName);
}

InterfaceLanguage DetectInterfaceLanguage() {
    return LanguageFromLanguageId(GetUserDefaultUILanguage());
}

} // namespace vesko
