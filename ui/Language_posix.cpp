// The interface language from the locale variables, in the order the C library reads them.
#include "ui/Texts.h"

#include "engine/Paths.h"

#include <cstdlib>

namespace vesko {

InterfaceLanguage DetectInterfaceLanguage() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0')
            return LanguageFromLocaleName(FromUtf8(value));
    }
    return InterfaceLanguage::English;
}

} // namespace vesko
