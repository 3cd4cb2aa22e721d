// The design grid (720 x 620 units at 96 DPI) and how it maps to pixels.
#pragma once

#include <cstdint>

namespace vesko {

struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const PixelRect&) const = default;
};

inline constexpr int kDesignWidth = 720;
inline constexpr int kDesignHeight = 620;
inline constexpr std::uint32_t kDesignDpi = 96;
inline constexpr std::uint32_t kSmallestDpi = 72;

// Windows' MulDiv: a * b / c on 64 bits, rounded half away from zero; -1 when c is 0 or the
// result does not fit an int.
int MulDivRound(int a, int b, int c);

// One design value at the given DPI.
int Scale(int value, std::uint32_t dpi);

// Edges are scaled one by one, so neighbouring rectangles share their pixel edges.
PixelRect ScaleRect(int x, int y, int width, int height, std::uint32_t dpi);

// The DPI at which the whole design plus margins fits a work area, never above the proposed DPI and
// never below 72.
std::uint32_t EffectiveDpi(int workWidth, int workHeight, std::uint32_t proposedDpi);

// The DPI the window opens at: that of the monitor it opens on (the system DPI when the monitor's
// cannot be read, 0 here), fitted to that monitor's work area when its size is known.
std::uint32_t StartDpiFor(std::uint32_t monitorDpi, std::uint32_t systemDpi, const PixelRect* work);

// Centres a window of the given size in a work area (integer division, as Windows rounds nothing here).
struct WindowPlacement {
    int x = 0;
    int y = 0;
};
WindowPlacement CentreInWorkArea(const PixelRect& work, int windowWidth, int windowHeight);

} // namespace vesko
