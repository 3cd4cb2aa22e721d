// The current language, the right-to-left flag and text lookup.
#include "ui/Texts.h"

#include "ui/TextTables.h"

#include <atomic>
#include <cstddef>

namespace vesko {
namespace {

// Written once before any worker starts; atomics keep a test's language switch free of data races too.
std::atomic<int> currentLanguage{static_cast<int>(InterfaceLanguage::English)};
std::atomic<bool> rightToLeftMode{false};

constexpr wchar_t kLeftToRightMark = L'\u200E';

} // namespace

const TextTable& TextsFor(InterfaceLanguage language) {
    switch (language) {
    case InterfaceLanguage::Russian:
        return RussianTexts();
    case InterfaceLanguage::Spanish:
        return SpanishTexts();
    case InterfaceLanguage::PortugueseBrazil:
        return PortugueseBrazilTexts();
    case InterfaceLanguage::Arabic:
        return ArabicTexts();
    case InterfaceLanguage::Italian:
        return ItalianTexts();
    default:
        return EnglishTexts();
    }
}

const wchar_t* Text(TextKey key) {
    const TextTable& table = TextsFor(CurrentInterfaceLanguage());
    const int index = static_cast<int>(key);
    if (index < 0 || index >= kTextCount) {
        return table[static_cast<std::size_t>(TextKey::TextErrUnexpected)];
    }
    return table[static_cast<std::size_t>(index)];
}

void SetInterfaceLanguage(InterfaceLanguage language) {
    currentLanguage.store(static_cast<int>(language), std::memory_order_relaxed);
    rightToLeftMode.store(IsRightToLeft(language), std::memory_order_relaxed);
}

InterfaceLanguage CurrentInterfaceLanguage() {
    return static_cast<InterfaceLanguage>(currentLanguage.load(std::memory_order_relaxed));
}

bool IsRightToLeftMode() {
    return rightToLeftMode.load(std::memory_order_relaxed);
}

bool IsRightToLeft(InterfaceLanguage language) {
    return language == InterfaceLanguage::Arabic;
}

std::wstring IsolateLeftToRight(const std::wstring& text) {
    if (!IsRightToLeftMode()) {
        return text;
    }
    std::wstring isolated;
    isolated.reserve(text.size() + 2);
    isolated += kLeftToRightMark;
    isolated += text;
    isolated += kLeftToRightMark;
    return isolated;
}

} // namespace vesko
