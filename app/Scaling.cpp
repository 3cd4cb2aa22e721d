#include "app/Scaling.h"

#include <algorithm>
#include <climits>

namespace vesko {

int MulDivRound(int a, int b, int c) {
    if (c == 0) {
        return -1;
    }
    const long long product = static_cast<long long>(a) * b;
    const bool negative = (product < 0) != (c < 0);
    const unsigned long long magnitude = static_cast<unsigned long long>(product < 0 ? -product : product);
    const unsigned long long divisor =
        static_cast<unsigned long long>(c < 0 ? -static_cast<long long>(c) : c);
    const unsigned long long rounded = (magnitude + divisor / 2) / divisor;
    if (rounded > static_cast<unsigned long long>(INT_MAX)) {
        return -1;
    }
    const int result = static_cast<int>(rounded);
    return negative ? -result : result;
}

int Scale(int value, std::uint32_t dpi) {
    return MulDivRound(value, static_cast<int>(dpi), static_cast<int>(kDesignDpi));
}

PixelRect ScaleRect(int x, int y, int width, int height, std::uint32_t dpi) {
    return PixelRect{Scale(x, dpi), Scale(y, dpi), Scale(x + width, dpi), Scale(y + height, dpi)};
}

std::uint32_t EffectiveDpi(int workWidth, int workHeight, std::uint32_t proposedDpi) {
    // Margins keep the window clear of the work area's edges and the title bar.
    const int fitWidth = MulDivRound(workWidth - 32, static_cast<int>(kDesignDpi), kDesignWidth);
    const int fitHeight = MulDivRound(workHeight - 64, static_cast<int>(kDesignDpi), kDesignHeight);
    const long long fit = std::max<long long>(std::min(fitWidth, fitHeight), kSmallestDpi);
    const long long result = std::max<long long>(std::min<long long>(fit, proposedDpi), kSmallestDpi);
    return static_cast<std::uint32_t>(result);
}

std::uint32_t StartDpiFor(std::uint32_t monitorDpi, std::uint32_t systemDpi, const PixelRect* work) {
    // A second monitor at another scale than the primary has its own DPI; the system DPI is the primary's.
    const std::uint32_t proposed = monitorDpi != 0 ? monitorDpi : systemDpi;
    return work != nullptr ? EffectiveDpi(work->width(), work->height(), proposed) : proposed;
}

WindowPlacement CentreInWorkArea(const PixelRect& work, int windowWidth, int windowHeight) {
    return WindowPlacement{work.left + (work.width() - windowWidth) / 2,
                           work.top + (work.height() - windowHeight) / 2};
}

} // namespace vesko
