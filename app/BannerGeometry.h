// The banner's colour arithmetic and shapes, apart from any drawing API.
#pragma once

#include "app/Scaling.h"

#include <cstdint>

namespace vesko {

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const Rgb&) const = default;
};

// The upper panel brightens by up to 8 with the hover level and darkens by 5 while pressed.
int PanelShift(float hoverLevel, bool pressed);

struct PanelGradient {
    Rgb start;
    Rgb end;
};
PanelGradient PanelGradientFor(float hoverLevel, bool pressed);

struct FloatRect {
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};

struct PointF {
    float x = 0;
    float y = 0;
};

// Everything the banner draws, in pixels for one DPI and direction.
struct BannerShapes {
    PixelRect upperPanel; // the gradient's clip
    PixelRect lowerBand;  // solid accent
    PointF gradientFrom;  // the gradient runs from here to gradientTo
    PointF gradientTo;
    PixelRect rings[3];
    int ringPenWidth = 1;
    PixelRect badge;
    float badgePenWidth = 1;
    // The arrow: a line and a three-point polyline.
    PointF arrowLine[2];
    PointF arrowHead[3];
    float arrowPenWidth = 2;
};

BannerShapes BannerShapesFor(std::uint32_t dpi, bool rightToLeft, float hoverLevel, bool animationsEnabled);

// The six texts' rectangles, in the order site name, first, no ads, before others, download, platforms.
struct BannerTextRects {
    PixelRect rects[6];
};
BannerTextRects BannerTextRectsFor(std::uint32_t dpi, bool rightToLeft);

} // namespace vesko
