// Windows language identifiers to interface languages, through the system's own locale names.
#include "ui/Texts.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {

struct LanguageIdCase {
    unsigned short languageId;
    InterfaceLanguage expected;
};

TEST(LanguageFromLanguageId, SpecificAndNeutralIdentifiers) {
    const LanguageIdCase cases[] = {
        {0x0419, InterfaceLanguage::Russian},          // ru-RU
        {0x0019, InterfaceLanguage::Russian},          // ru, neutral
        {0x0C0A, InterfaceLanguage::Spanish},          // es-ES
        {0x080A, InterfaceLanguage::Spanish},          // es-MX
        {0x0416, InterfaceLanguage::PortugueseBrazil}, // pt-BR
        {0x0816, InterfaceLanguage::PortugueseBrazil}, // pt-PT
        {0x0C01, InterfaceLanguage::Arabic},           // ar-EG
        {0x0401, InterfaceLanguage::Arabic},           // ar-SA
        {0x0001, InterfaceLanguage::Arabic},           // ar, neutral
        {0x0410, InterfaceLanguage::Italian},          // it-IT
        {0x0409, InterfaceLanguage::English},          // en-US
        {0x0809, InterfaceLanguage::English},          // en-GB
        {0x0407, InterfaceLanguage::English},          // de-DE
        {0x0464, InterfaceLanguage::English},          // fil-PH
        {0x0804, InterfaceLanguage::English},          // zh-CN
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.languageId);
        EXPECT_EQ(LanguageFromLanguageId(c.languageId), c.expected);
    }
}

} // namespace
} // namespace vesko
