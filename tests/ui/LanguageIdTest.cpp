// Windows language identifiers to interface languages, through the system's own locale names.
#include "ui/Texts.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {

TEST(LanguageFromLanguageId, SpecificAndNeutralIdentifiers) {
    using enum InterfaceLanguage;
    // ru-RU, ru; es-ES, es-MX; pt-BR, pt-PT; ar-EG, ar-SA, ar; it-IT; en-US, en-GB, de-DE, fil-PH, zh-CN.
    // clang-format off
    const std::pair<unsigned short, InterfaceLanguage> cases[] = {
        {0x0419, Russian}, {0x0019, Russian}, {0x0C0A, Spanish}, {0x080A, Spanish}, {0x0416, PortugueseBrazil},
        {0x0816, PortugueseBrazil}, {0x0C01, Arabic}, {0x0401, Arabic}, {0x0001, Arabic}, {0x0410, Italian},
        {0x0409, English}, {0x0809, English}, {0x0407, English}, {0x0464, English}, {0x0804, English}};
    // clang-format on
    for (const auto& [id, expected] : cases) {
        SCOPED_TRACE(id);
        EXPECT_EQ(LanguageFromLanguageId(id), expected);
    }
}

} // namespace
} // namespace vesko
