#include "app/Painting.h"

#include "app/Application.h"
#include "app/Drawing.h"
#include "app/Layout.h"
#include "app/Palette.h"
#include "app/WindowView.h"

#include <string>

namespace vesko {
namespace {

UINT SingleLineFlags(bool rtl, bool rtlReading = true) {
    UINT flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    if (rtl) {
        flags |= DT_RIGHT | (rtlReading ? DT_RTLREADING : 0);
    }
    return flags;
}

void DrawTextIn(HDC dc, const std::wstring& text, RECT rect, HFONT font, COLORREF colour, UINT flags) {
    SelectionScope selected(dc, font);
    SetTextColor(dc, colour);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, flags);
}

COLORREF StatusColourOf(StatusColour colour) {
    switch (colour) {
    case StatusColour::Error:
        return palette::kErrorStatus;
    case StatusColour::Warning:
        return palette::kWarningStatus;
    case StatusColour::Done:
        return palette::kDoneStatus;
    case StatusColour::Secondary:
        break;
    }
    return palette::kSecondaryText;
}

void PaintContent(HDC dc) {
    Application& app = App();
    const bool rtl = IsRightToLeftMode();
    const PaintLayout layout = PaintLayoutForDpi(app.state.dpi, rtl);
    const ProgressSnapshot progress = ReadProgress();

    BrushOwner background(CreateSolidBrush(palette::kWindowBackground));
    const RECT client = ToRect(layout.client);
    FillRect(dc, &client, background.get());
    SetBkMode(dc, TRANSPARENT);

    DrawTextIn(dc, Text(TextKey::TextNszFiles), ToRect(layout.heading), app.fonts.button.get(),
               palette::kPrimaryText, SingleLineFlags(rtl));
    // The format label is left-to-right text: aligned to the far side, never read right to left.
    DrawTextIn(dc, kFormatLabel, ToRect(layout.formatLabel), app.fonts.small.get(), palette::kSecondaryText,
               (SingleLineFlags(false)) | (rtl ? DT_LEFT : DT_RIGHT));

    FillRoundedRect(dc, ToRect(layout.card), palette::kCard, palette::kCardBorder, 12);
    if (app.icon != nullptr) {
        DrawIconEx(dc, layout.icon.left, layout.icon.top, app.icon, layout.icon.width(), layout.icon.height(),
                   0, nullptr, DI_NORMAL);
    }
    const CardTexts card = CardFor(app.state);
    if (card.hasSource) {
        DrawTextIn(dc, card.title, ToRect(layout.cardTitle), app.fonts.body.get(), palette::kPrimaryText,
                   SingleLineFlags(rtl));
        DrawTextIn(dc, card.subtitle, ToRect(layout.cardSubtitle), app.fonts.small.get(),
                   palette::kSecondaryText, SingleLineFlags(rtl));
    } else {
        DrawTextIn(dc, card.title, ToRect(layout.cardPlaceholder), app.fonts.body.get(),
                   palette::kSecondaryText, SingleLineFlags(rtl));
    }

    const StatusLine status = StatusLineFor(app.state, progress);
    UINT wrapped = DT_WORDBREAK | DT_NOPREFIX | DT_END_ELLIPSIS;
    if (rtl) {
        wrapped |= DT_RIGHT | DT_RTLREADING;
    }
    DrawTextIn(dc, status.text, ToRect(layout.status), app.fonts.body.get(), StatusColourOf(status.colour),
               wrapped);

    FillRoundedRect(dc, ToRect(layout.progressTrack), palette::kBarTrack, palette::kBarTrack, 3);
    const ProgressBarLook bar = ProgressBarFor(app.state, progress);
    const ProgressFill fill = ProgressFillFor(bar.fraction, app.state.dpi, rtl);
    if (fill.visible) {
        const COLORREF colour = bar.done ? palette::kDoneBar : palette::kAccent;
        FillRoundedRect(dc, ToRect(fill.rect), colour, colour, 3);
    }
}

// Paints through a bitmap of the target's size, so that nothing flickers; straight into the target
// when the bitmap cannot be made.
template <typename Paint> void PaintBuffered(HDC target, int width, int height, Paint paint) {
    MemoryDcOwner memory(CreateCompatibleDC(target));
    BitmapOwner bitmap(memory ? CreateCompatibleBitmap(target, width, height) : nullptr);
    if (!memory || !bitmap) {
        paint(target);
        return;
    }
    {
        SelectionScope selected(memory.get(), bitmap.get());
        paint(memory.get());
        BitBlt(target, 0, 0, width, height, memory.get(), 0, 0, SRCCOPY);
    }
}

} // namespace

ProgressSnapshot ReadProgress() {
    const WorkerShared& shared = App().shared;
    return ProgressSnapshot{shared.progressWritten.load(), shared.progressTotal.load(),
                            shared.progressPhase.load(), IsCancelRequested(&shared.cancelRequested)};
}

void PaintMainWindow(HWND window) {
    PaintScope paint(window);
    RECT client{};
    GetClientRect(window, &client);
    PaintBuffered(paint.dc(), client.right, client.bottom, [](HDC dc) { PaintContent(dc); });
}

void DrawOwnerButton(const DRAWITEMSTRUCT& item) {
    Application& app = App();
    wchar_t caption[256] = {};
    GetWindowTextW(item.hwndItem, caption, 256);
    const int width = item.rcItem.right - item.rcItem.left;
    const int height = item.rcItem.bottom - item.rcItem.top;
    if (width <= 0 || height <= 0) {
        return;
    }
    const int id = static_cast<int>(item.CtlID);
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0;
    const bool hovered = app.state.hoveredControl == id;
    const bool rtl = IsRightToLeftMode();

    auto paint = [&](HDC dc) {
        const RECT rect{0, 0, width, height};
        BrushOwner back(CreateSolidBrush(id == ChooseButtonId ? palette::kCard : palette::kWindowBackground));
        FillRect(dc, &rect, back.get());
        if (id == PromoButtonId) {
            PaintBanner(dc, rect, pressed);
        } else {
            COLORREF face = RGB(243, 244, 248);
            COLORREF text = disabled ? palette::kSecondaryText : palette::kPrimaryText;
            if (id == ActionButtonId) {
                text = palette::kWhite;
                if (disabled) {
                    face = RGB(232, 234, 240);
                    text = RGB(144, 150, 164);
                } else if (app.state.isConverting) {
                    face = RGB(233, 235, 241);
                    text = palette::kPrimaryText;
                } else if (pressed) {
                    face = RGB(191, 25, 40);
                } else if (hovered) {
                    face = RGB(241, 41, 57);
                } else {
                    face = palette::kAccent;
                }
            } else if (pressed) {
                face = RGB(226, 229, 237);
            } else if (hovered) {
                face = RGB(235, 237, 243);
            }
            FillRoundedRect(dc, rect, face, face, 10);
            SetBkMode(dc, TRANSPARENT);
            RECT textRect = rect;
            SelectionScope font(dc, app.fonts.button.get());
            SetTextColor(dc, text);
            DrawTextW(dc, caption, -1, &textRect,
                      DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS |
                          (rtl ? DT_RTLREADING : 0));
        }
        if (focused) {
            RECT focus = rect;
            const int inset = MulDiv(5, static_cast<int>(app.state.dpi), 96);
            InflateRect(&focus, -inset, -inset);
            SetTextColor(dc, palette::kPrimaryText);
            SetBkColor(dc, palette::kWhite);
            DrawFocusRect(dc, &focus);
        }
    };

    MemoryDcOwner memory(CreateCompatibleDC(item.hDC));
    BitmapOwner bitmap(memory ? CreateCompatibleBitmap(item.hDC, width, height) : nullptr);
    if (!memory || !bitmap) {
        // Unbuffered: shift the origin so the painter's (0, 0) is the item's corner.
        POINT previous{};
        SetViewportOrgEx(item.hDC, item.rcItem.left, item.rcItem.top, &previous);
        paint(item.hDC);
        SetViewportOrgEx(item.hDC, previous.x, previous.y, nullptr);
        return;
    }
    SelectionScope selected(memory.get(), bitmap.get());
    paint(memory.get());
    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, width, height, memory.get(), 0, 0, SRCCOPY);
}

} // namespace vesko
