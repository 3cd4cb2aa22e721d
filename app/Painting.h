// The main window's painting and the drawing of its owner-drawn buttons.
#pragma once

#include "app/WindowView.h"

#include <windows.h>

namespace vesko {

void PaintMainWindow(HWND window);

// The worker's progress as it stands now (three separate atomics).
ProgressSnapshot ReadProgress();
void DrawOwnerButton(const DRAWITEMSTRUCT& item);

// The promotional banner inside PromoButton; the rectangle's origin is the button's top-left.
void PaintBanner(HDC dc, const RECT& rect, bool pressed);

} // namespace vesko
