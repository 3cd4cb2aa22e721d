// How the six tables behind TextsFor are written: one file per language, each entry named by its key.
#pragma once

#include "ui/Texts.h"

#include <array>
#include <cstddef>

namespace vesko {

const TextTable& EnglishTexts();
const TextTable& RussianTexts();
const TextTable& SpanishTexts();
const TextTable& PortugueseBrazilTexts();
const TextTable& ArabicTexts();
const TextTable& ItalianTexts();

struct KeyedText {
    TextKey key;
    const wchar_t* text;
};

// Refuses to compile a table whose entries are out of order, missing or empty: every language must
// hold each key exactly at its own index.
constexpr TextTable MakeTextTable(const KeyedText (&entries)[kTextCount]) {
    TextTable table{};
    for (int index = 0; index < kTextCount; ++index) {
        const KeyedText& entry = entries[index];
        if (static_cast<int>(entry.key) != index || entry.text == nullptr || entry.text[0] == L'\0') {
            throw "text table entry out of order or empty";
        }
        table[static_cast<std::size_t>(index)] = entry.text;
    }
    return table;
}

template <std::size_t PartCount>
constexpr std::size_t ComposedLength(const wchar_t* const (&parts)[PartCount]) {
    std::size_t length = 0;
    for (const wchar_t* part : parts) {
        while (*part != L'\0') {
            ++length;
            ++part;
        }
    }
    return length;
}

// Joins texts at compile time, so that an entry built around the site name is still a static text.
// Length must be ComposedLength(parts).
template <std::size_t Length, std::size_t PartCount>
constexpr std::array<wchar_t, Length + 1> ComposeText(const wchar_t* const (&parts)[PartCount]) {
    std::array<wchar_t, Length + 1> text{};
    std::size_t at = 0;
    for (const wchar_t* part : parts) {
        while (*part != L'\0') {
            text[at++] = *part++;
        }
    }
    text[at] = L'\0';
    return text;
}

} // namespace vesko
