// What the user reads when a conversion fails, and sizes as text.
#pragma once

#include "engine/ConversionError.h"
#include "ui/Texts.h"

#include <cstdint>
#include <string>

namespace vesko {

// Required space is rounded up and available space down, so that neither is shown more favourably
// than it is.
enum class SizeRounding { Up, Down, Nearest };

TextKey FailureMessageKey(const ConversionError& error);

// The text of FailureMessageKey, with the required and available space added when the disk is full.
std::wstring FailureMessage(const ConversionError& error);

// True when another destination folder could help: the main window then offers to choose one.
bool IsDestinationFailure(const ConversionError& error);

// One decimal and the unit of the current language: "12.5 MB", "1,5 ГБ".
std::wstring FormatSize(std::uint64_t bytes, SizeRounding rounding);

// The warning for a saved NSP whose source could not be deleted.
TextKey SourceKeptWarningKey(std::uint32_t windowsError);

} // namespace vesko
