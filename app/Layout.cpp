#include "app/Layout.h"

#include <algorithm>

namespace vesko {
namespace {

constexpr int kTrackLeft = 28;
constexpr int kTrackWidth = 664;
constexpr int kTrackTop = 517;
constexpr int kTrackHeight = 6;
constexpr int kSmallestFillWidth = 4;

PixelRect Edges(int left, int right, int top, int bottom, std::uint32_t dpi) {
    return ScaleRect(left, top, right - left, bottom - top, dpi);
}

// Position and size scaled one by one, as the controls are moved.
PixelRect ScaleEach(int x, int y, int width, int height, std::uint32_t dpi) {
    const int left = Scale(x, dpi);
    const int top = Scale(y, dpi);
    return PixelRect{left, top, left + Scale(width, dpi), top + Scale(height, dpi)};
}

} // namespace

ControlLayout LayoutForDpi(std::uint32_t dpi, bool rightToLeft) {
    ControlLayout layout;
    layout.promo = ScaleEach(28, 24, 664, 252, dpi);
    // The card's button keeps its scaled edges so it lines up with the card at every DPI.
    layout.choose = ScaleRect(rightToLeft ? 48 : 544, 347, 128, 42, dpi);
    layout.deleteSources = ScaleEach(28, 421, 664, 24, dpi);
    layout.action = ScaleEach(28, 549, 664, 44, dpi);
    return layout;
}

PaintLayout PaintLayoutForDpi(std::uint32_t dpi, bool rightToLeft) {
    PaintLayout p;
    p.client = Edges(0, kDesignWidth, 0, kDesignHeight, dpi);
    p.heading = rightToLeft ? Edges(282, 692, 301, 325, dpi) : Edges(28, 438, 301, 325, dpi);
    p.formatLabel = rightToLeft ? Edges(28, 188, 301, 325, dpi) : Edges(532, 692, 301, 325, dpi);
    p.card = Edges(28, 692, 331, 405, dpi);
    p.icon = ScaleEach(rightToLeft ? 642 : 46, 352, 32, 32, dpi);
    const int columnLeft = rightToLeft ? 194 : 94;
    const int columnRight = rightToLeft ? 626 : 526;
    p.cardTitle = Edges(columnLeft, columnRight, 341, 371, dpi);
    p.cardSubtitle = Edges(columnLeft, columnRight, 374, 394, dpi);
    p.cardPlaceholder = Edges(columnLeft, columnRight, 344, 392, dpi);
    p.status = Edges(28, 692, 464, 507, dpi);
    p.progressTrack = ScaleRect(kTrackLeft, kTrackTop, kTrackWidth, kTrackHeight, dpi);
    p.statusAndProgress = ScaleRect(28, 460, 664, 67, dpi);
    return p;
}

ProgressFill ProgressFillFor(double fraction, std::uint32_t dpi, bool rightToLeft) {
    if (!(fraction > 0.0)) {
        return {};
    }
    const double clamped = std::min(fraction, 1.0);
    const int width = std::max(kSmallestFillWidth, static_cast<int>(clamped * kTrackWidth));
    // In right-to-left mode the bar grows from the right edge.
    const int left = rightToLeft ? kTrackLeft + kTrackWidth - width : kTrackLeft;
    return ProgressFill{true, ScaleRect(left, kTrackTop, width, kTrackHeight, dpi)};
}

} // namespace vesko
