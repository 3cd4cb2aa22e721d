// The main window's painting and the drawing of its owner-drawn buttons.
#pragma once

#include <windows.h>

namespace vesko {

void PaintMainWindow(HWND window);
void DrawOwnerButton(const DRAWITEMSTRUCT& item);

// The promotional banner inside PromoButton; the rectangle's origin is the button's top-left.
void PaintBanner(HDC dc, const RECT& rect, bool pressed);

} // namespace vesko
