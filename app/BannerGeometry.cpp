#include "app/BannerGeometry.h"

#include <cmath>

namespace vesko {
namespace {

constexpr int kBannerWidth = 664;
constexpr int kPanelHeight = 166;
constexpr int kBandHeight = 86;

PixelRect ScaleEdges(int left, int top, int right, int bottom, std::uint32_t dpi) {
    return PixelRect{Scale(left, dpi), Scale(top, dpi), Scale(right, dpi), Scale(bottom, dpi)};
}

// Coordinates and sizes of the banner's shapes are scaled one by one.
PixelRect ScaleBox(int x, int y, int width, int height, std::uint32_t dpi) {
    const int left = Scale(x, dpi);
    const int top = Scale(y, dpi);
    return PixelRect{left, top, left + Scale(width, dpi), top + Scale(height, dpi)};
}

Rgb Shifted(Rgb base, int k) {
    return Rgb{base.red + k, base.green + k, base.blue + k};
}

} // namespace

int PanelShift(float hoverLevel, bool pressed) {
    // std::lround rounds halves away from zero, as the look was designed.
    const int k = static_cast<int>(std::lround(8.0f * hoverLevel));
    return pressed ? k - 5 : k;
}

PanelGradient PanelGradientFor(float hoverLevel, bool pressed) {
    const int k = PanelShift(hoverLevel, pressed);
    return PanelGradient{Shifted(Rgb{21, 24, 33}, k), Shifted(Rgb{64, 25, 39}, k)};
}

BannerShapes BannerShapesFor(std::uint32_t dpi, bool rightToLeft, float hoverLevel, bool animationsEnabled) {
    BannerShapes s;
    const float scale = static_cast<float>(dpi) / static_cast<float>(kDesignDpi);
    s.upperPanel = ScaleBox(0, 0, kBannerWidth, kPanelHeight, dpi);
    s.lowerBand = ScaleBox(0, kPanelHeight, kBannerWidth, kBandHeight, dpi);
    const float panelRight = static_cast<float>(Scale(kBannerWidth, dpi));
    s.gradientFrom = rightToLeft ? PointF{panelRight, 0} : PointF{0, 0};
    s.gradientTo = rightToLeft ? PointF{0, 0} : PointF{panelRight, 0};

    const int ringLeft[3] = {517, 477, 437};
    const int ringLeftMirrored[3] = {-83, -123, -163};
    const int ringTop[3] = {-97, -137, -177};
    const int ringSize[3] = {230, 310, 390};
    for (int i = 0; i < 3; ++i) {
        s.rings[i] = ScaleBox(rightToLeft ? ringLeftMirrored[i] : ringLeft[i], ringTop[i], ringSize[i],
                              ringSize[i], dpi);
    }
    s.ringPenWidth = Scale(1, dpi);

    s.badge = rightToLeft ? ScaleEdges(24, 14, 66, 56, dpi) : ScaleEdges(598, 14, 640, 56, dpi);
    s.badgePenWidth = scale;

    // The arrow points up and outward; on hover it drifts that way by up to 1.5 units.
    const float dir = rightToLeft ? -1.0f : 1.0f;
    const float lift = animationsEnabled ? 1.5f * scale * hoverLevel : 0.0f;
    const float cx = static_cast<float>(s.badge.left + s.badge.right - 1) / 2.0f + lift * dir;
    const float cy = static_cast<float>(s.badge.top + s.badge.bottom - 1) / 2.0f - lift;
    const float a = 6.0f * scale;
    s.arrowLine[0] = PointF{cx - a * dir, cy + a};
    s.arrowLine[1] = PointF{cx + a * dir, cy - a};
    s.arrowHead[0] = PointF{cx - 4.0f * scale * dir, cy - a};
    s.arrowHead[1] = PointF{cx + a * dir, cy - a};
    s.arrowHead[2] = PointF{cx + a * dir, cy + 4.0f * scale};
    s.arrowPenWidth = 2.0f * scale;
    return s;
}

BannerTextRects BannerTextRectsFor(std::uint32_t dpi, bool rightToLeft) {
    BannerTextRects t;
    t.rects[0] = rightToLeft ? ScaleEdges(120, 18, 640, 47, dpi) : ScaleEdges(24, 18, 544, 47, dpi);
    t.rects[1] = ScaleEdges(24, 55, 640, 94, dpi);
    t.rects[2] = ScaleEdges(24, 91, 640, 130, dpi);
    t.rects[3] = ScaleEdges(24, 132, 640, 159, dpi);
    t.rects[4] = ScaleEdges(24, 176, 640, 206, dpi);
    t.rects[5] = ScaleEdges(24, 211, 640, 246, dpi);
    return t;
}

} // namespace vesko
