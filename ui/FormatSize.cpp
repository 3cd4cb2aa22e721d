// Sizes as text: one decimal, the unit of the current language.
//
// The tenths are counted in integers: value * 10 in floating point can land an exact tenth just above
// or below itself and make Up or Down step to the wrong neighbour, and printf rounds ties differently
// on different C runtimes.
#include "ui/FailureMessage.h"

#include <string>

namespace vesko {
namespace {

constexpr std::uint64_t kMebibyte = 1048576;
constexpr std::uint64_t kGibibyte = 1073741824;

bool UsesDecimalComma(InterfaceLanguage language) {
    switch (language) {
    case InterfaceLanguage::Russian:
    case InterfaceLanguage::Spanish:
    case InterfaceLanguage::PortugueseBrazil:
    case InterfaceLanguage::Italian:
        return true;
    default:
        return false;
    }
}

// bytes / divisor in tenths, rounded as asked; halves round up.
std::uint64_t Tenths(std::uint64_t bytes, std::uint64_t divisor, SizeRounding rounding) {
    const std::uint64_t whole = bytes / divisor;
    // The remainder is below 2^30, so ten times it cannot overflow.
    const std::uint64_t scaledRemainder = (bytes % divisor) * 10;
    std::uint64_t tenths = whole * 10 + scaledRemainder / divisor;
    const std::uint64_t left = scaledRemainder % divisor;
    switch (rounding) {
    case SizeRounding::Up:
        tenths += left != 0 ? 1 : 0;
        break;
    case SizeRounding::Down:
        break;
    case SizeRounding::Nearest:
        tenths += left >= divisor - left ? 1 : 0;
        break;
    }
    return tenths;
}

} // namespace

std::wstring FormatSize(std::uint64_t bytes, SizeRounding rounding) {
    const bool gigabytes = bytes >= kGibibyte;
    const std::uint64_t tenths = Tenths(bytes, gigabytes ? kGibibyte : kMebibyte, rounding);
    std::wstring text = std::to_wstring(tenths / 10);
    text += UsesDecimalComma(CurrentInterfaceLanguage()) ? L',' : L'.';
    text += static_cast<wchar_t>(L'0' + tenths % 10);
    text += L' ';
    text += Text(gigabytes ? TextKey::TextUnitGigabytes : TextKey::TextUnitMegabytes);
    return text;
}

} // namespace vesko
