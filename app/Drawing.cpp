#include "app/Drawing.h"

#include "app/Application.h"
#include "app/GdiplusOwners.h"
#include "app/Layout.h"
#include "ui/Texts.h"

namespace vesko {
namespace {

FontOwner MakeFont(int size, int weight) {
    return FontOwner(CreateFontW(-Scale(size, App().state.dpi), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                 DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI"));
}

void Place(HWND control, const PixelRect& rect, HFONT font) {
    if (control == nullptr) {
        return;
    }
    MoveWindow(control, rect.left, rect.top, rect.width(), rect.height(), TRUE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

} // namespace

void CreateFonts() {
    DeleteFonts();
    // Arabic script reads small at the Latin sizes: four fonts grow in right-to-left mode.
    const bool rtl = IsRightToLeftMode();
    Fonts& fonts = App().fonts;
    fonts.body = MakeFont(rtl ? 15 : 14, FW_NORMAL);
    fonts.small = MakeFont(rtl ? 14 : 12, FW_NORMAL);
    fonts.promoTitle = MakeFont(28, FW_BOLD);
    fonts.promoSubtitle = MakeFont(20, FW_BOLD);
    fonts.promoText = MakeFont(rtl ? 18 : 16, FW_NORMAL);
    fonts.promoAccent = MakeFont(21, FW_SEMIBOLD);
    fonts.button = MakeFont(rtl ? 16 : 14, FW_SEMIBOLD);
}

void DeleteFonts() {
    Fonts& fonts = App().fonts;
    fonts.body.reset();
    fonts.small.reset();
    fonts.promoTitle.reset();
    fonts.promoSubtitle.reset();
    fonts.promoText.reset();
    fonts.promoAccent.reset();
    fonts.button.reset();
}

void LayoutControls() {
    Application& app = App();
    const ControlLayout layout = LayoutForDpi(app.state.dpi, IsRightToLeftMode());
    Place(app.promoButton, layout.promo, app.fonts.button.get());
    Place(app.chooseButton, layout.choose, app.fonts.button.get());
    Place(app.deleteSourcesCheckbox, layout.deleteSources, app.fonts.body.get());
    Place(app.actionButton, layout.action, app.fonts.button.get());
}

GraphicsOwner SmoothGraphics(HDC dc) {
    Gdiplus::GpGraphics* graphics = nullptr;
    if (gp::GdipCreateFromHDC(dc, &graphics) != Gdiplus::Ok) {
        return {};
    }
    GraphicsOwner owner(graphics);
    gp::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeAntiAlias);
    return owner;
}

PathOwner RoundedPath(const RECT& rect, int radius, UINT dpi) {
    Gdiplus::GpPath* path = nullptr;
    if (gp::GdipCreatePath(Gdiplus::FillModeAlternate, &path) != Gdiplus::Ok) {
        return {};
    }
    PathOwner owner(path);
    // Pixel centres: the outline of a shape as wide as the rectangle would spill one pixel out.
    const float left = static_cast<float>(rect.left);
    const float top = static_cast<float>(rect.top);
    const float width = static_cast<float>(rect.right - 1 - rect.left);
    const float height = static_cast<float>(rect.bottom - 1 - rect.top);
    float d = static_cast<float>(MulDiv(2 * radius, static_cast<int>(dpi), 96));
    d = std::min({d, width, height});
    if (d <= 0) {
        gp::GdipAddPathRectangle(path, left, top, width, height);
        return owner;
    }
    gp::GdipAddPathArc(path, left, top, d, d, 180, 90);
    gp::GdipAddPathArc(path, left + width - d, top, d, d, 270, 90);
    gp::GdipAddPathArc(path, left + width - d, top + height - d, d, d, 0, 90);
    gp::GdipAddPathArc(path, left, top + height - d, d, d, 90, 90);
    gp::GdipClosePathFigure(path);
    return owner;
}

void FillRoundedRect(HDC dc, const RECT& rect, COLORREF fill, COLORREF border, int radius) {
    const UINT dpi = App().state.dpi;
    GraphicsOwner graphics = SmoothGraphics(dc);
    PathOwner path = RoundedPath(rect, radius, dpi);
    if (!graphics || !path) {
        return;
    }
    Gdiplus::GpSolidFill* brush = nullptr;
    gp::GdipCreateSolidFill(ToArgb(fill), &brush);
    BrushGpOwner brushOwner(brush);
    Gdiplus::GpPen* pen = nullptr;
    gp::GdipCreatePen1(ToArgb(border), static_cast<float>(MulDiv(1, static_cast<int>(dpi), 96)),
                       Gdiplus::UnitPixel, &pen);
    PenOwner penOwner(pen);
    if (brush != nullptr) {
        gp::GdipFillPath(graphics.get(), brush, path.get());
    }
    if (pen != nullptr) {
        gp::GdipDrawPath(graphics.get(), pen, path.get());
    }
}

} // namespace vesko
