// The promotional banner: gradient panel with rings, red band, six texts and the link badge.
#include "app/Application.h"
#include "app/BannerGeometry.h"
#include "app/GdiplusOwners.h"
#include "app/Painting.h"
#include "ui/Texts.h"

namespace vesko {
namespace {

Gdiplus::ARGB Argb(Rgb c, BYTE alpha = 255) {
    return ToArgb(RGB(c.red, c.green, c.blue), alpha);
}

void PaintShapes(HDC dc, const RECT& rect, bool pressed, const BannerShapes& shapes) {
    const Application& app = App();
    GraphicsOwner graphics = SmoothGraphics(dc);
    PathOwner outline = RoundedPath(rect, 16, app.state.dpi);
    if (!graphics || !outline) {
        return;
    }
    Gdiplus::GpGraphics* g = graphics.get();
    gp::GdipSetClipPath(g, outline.get(), Gdiplus::CombineModeReplace);

    Gdiplus::GraphicsState saved = 0;
    gp::GdipSaveGraphics(g, &saved);
    gp::GdipSetClipRectI(g, shapes.upperPanel.left, shapes.upperPanel.top, shapes.upperPanel.width(),
                         shapes.upperPanel.height(), Gdiplus::CombineModeIntersect);
    const PanelGradient colours = PanelGradientFor(app.state.hover.hoverLevel, pressed);
    const Gdiplus::GpPoint from{static_cast<INT>(shapes.gradientFrom.x),
                                static_cast<INT>(shapes.gradientFrom.y)};
    const Gdiplus::GpPoint to{static_cast<INT>(shapes.gradientTo.x), static_cast<INT>(shapes.gradientTo.y)};
    Gdiplus::GpLineGradient* gradient = nullptr;
    gp::GdipCreateLineBrushI(&from, &to, Argb(colours.start), Argb(colours.end), Gdiplus::WrapModeTile,
                             &gradient);
    BrushGpOwner gradientOwner(gradient);
    if (gradient != nullptr) {
        gp::GdipFillRectangleI(g, gradient, rect.left, rect.top, rect.right - rect.left,
                               rect.bottom - rect.top);
    }
    Gdiplus::GpPen* ringPen = nullptr;
    gp::GdipCreatePen1(Argb(Rgb{245, 65, 87}, 40), static_cast<float>(shapes.ringPenWidth),
                       Gdiplus::UnitPixel, &ringPen);
    PenOwner ringPenOwner(ringPen);
    if (ringPen != nullptr) {
        for (const PixelRect& ring : shapes.rings) {
            gp::GdipDrawEllipseI(g, ringPen, ring.left, ring.top, ring.width(), ring.height());
        }
    }
    gp::GdipRestoreGraphics(g, saved);

    Gdiplus::GpSolidFill* band = nullptr;
    gp::GdipCreateSolidFill(Argb(Rgb{227, 32, 45}), &band);
    BrushGpOwner bandOwner(band);
    if (band != nullptr) {
        gp::GdipFillRectangleI(g, band, shapes.lowerBand.left, shapes.lowerBand.top, shapes.lowerBand.width(),
                               shapes.lowerBand.height());
    }
}

void PaintBadge(HDC dc, const BannerShapes& shapes) {
    GraphicsOwner graphics = SmoothGraphics(dc);
    const RECT badge{shapes.badge.left, shapes.badge.top, shapes.badge.right, shapes.badge.bottom};
    PathOwner path = RoundedPath(badge, 12, App().state.dpi);
    if (!graphics || !path) {
        return;
    }
    Gdiplus::GpGraphics* g = graphics.get();
    const Gdiplus::GpPointF from{static_cast<float>(badge.left), static_cast<float>(badge.top)};
    const Gdiplus::GpPointF to{static_cast<float>(badge.right - 1), static_cast<float>(badge.bottom - 1)};
    Gdiplus::GpLineGradient* fill = nullptr;
    gp::GdipCreateLineBrush(&from, &to, Argb(Rgb{77, 39, 54}), Argb(Rgb{49, 31, 43}), Gdiplus::WrapModeTile,
                            &fill);
    BrushGpOwner fillOwner(fill);
    Gdiplus::GpPen* outline = nullptr;
    gp::GdipCreatePen1(Argb(Rgb{255, 255, 255}, 42), shapes.badgePenWidth, Gdiplus::UnitPixel, &outline);
    PenOwner outlineOwner(outline);
    if (fill != nullptr) {
        gp::GdipFillPath(g, fill, path.get());
    }
    if (outline != nullptr) {
        gp::GdipDrawPath(g, outline, path.get());
    }

    Gdiplus::GpPath* arrow = nullptr;
    gp::GdipCreatePath(Gdiplus::FillModeAlternate, &arrow);
    PathOwner arrowOwner(arrow);
    Gdiplus::GpPen* arrowPen = nullptr;
    gp::GdipCreatePen1(Argb(Rgb{255, 230, 235}), shapes.arrowPenWidth, Gdiplus::UnitPixel, &arrowPen);
    PenOwner arrowPenOwner(arrowPen);
    if (arrow == nullptr || arrowPen == nullptr) {
        return;
    }
    gp::GdipAddPathLine(arrow, shapes.arrowLine[0].x, shapes.arrowLine[0].y, shapes.arrowLine[1].x,
                        shapes.arrowLine[1].y);
    gp::GdipStartPathFigure(arrow);
    const Gdiplus::GpPointF head[3] = {{shapes.arrowHead[0].x, shapes.arrowHead[0].y},
                                       {shapes.arrowHead[1].x, shapes.arrowHead[1].y},
                                       {shapes.arrowHead[2].x, shapes.arrowHead[2].y}};
    gp::GdipAddPathLine2(arrow, head, 3);
    gp::GdipSetPenStartCap(arrowPen, Gdiplus::LineCapRound);
    gp::GdipSetPenEndCap(arrowPen, Gdiplus::LineCapRound);
    gp::GdipSetPenLineJoin(arrowPen, Gdiplus::LineJoinRound);
    gp::GdipDrawPath(g, arrowPen, arrow);
}

void PaintTexts(HDC dc, bool rtl) {
    const Application& app = App();
    const BannerTextRects rects = BannerTextRectsFor(app.state.dpi, rtl);
    struct Line {
        const wchar_t* text;
        HFONT font;
        COLORREF colour;
        bool wraps;
        bool rtlReading;
    };
    const Line lines[6] = {
        {kMakerSiteName, app.fonts.promoSubtitle.get(), RGB(255, 255, 255), false, false},
        {Text(TextKey::TextPromoFirstInWorld), app.fonts.promoTitle.get(), RGB(255, 255, 255), false, true},
        {Text(TextKey::TextPromoNoAds), app.fonts.promoTitle.get(), RGB(255, 103, 116), false, true},
        {Text(TextKey::TextPromoBeforeOthers), app.fonts.promoText.get(), RGB(225, 226, 233), false, true},
        {Text(TextKey::TextPromoDownloadGames), app.fonts.promoAccent.get(), RGB(255, 255, 255), false, true},
        {Text(TextKey::TextPromoPlatforms), app.fonts.small.get(), RGB(255, 244, 245), true, true},
    };
    SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < 6; ++i) {
        const Line& line = lines[i];
        UINT flags = line.wraps ? (DT_WORDBREAK | DT_NOPREFIX | DT_END_ELLIPSIS)
                                : (DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
        if (rtl) {
            // The site name is a Latin name: right-aligned but read left to right.
            flags |= DT_RIGHT | (line.rtlReading ? DT_RTLREADING : 0);
        }
        RECT rect = ToRect(rects.rects[i]);
        SelectionScope font(dc, line.font);
        SetTextColor(dc, line.colour);
        DrawTextW(dc, line.text, -1, &rect, flags);
    }
}

} // namespace

void PaintBanner(HDC dc, const RECT& rect, bool pressed) {
    const Application& app = App();
    const bool rtl = IsRightToLeftMode();
    const BannerShapes shapes =
        BannerShapesFor(app.state.dpi, rtl, app.state.hover.hoverLevel, app.state.animationsEnabled);
    PaintShapes(dc, rect, pressed, shapes);
    PaintTexts(dc, rtl);
    PaintBadge(dc, shapes);
}

} // namespace vesko
