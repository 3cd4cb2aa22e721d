// Fonts, control layout and the rounded rectangle that all painting shares.
#pragma once

#include <windows.h>

namespace vesko {

// Deletes the old fonts, then makes the seven for the current DPI and language.
void CreateFonts();
void DeleteFonts();

// Moves the four controls to their scaled places and gives each its font.
void LayoutControls();

// An anti-aliased rounded rectangle; the radius is in design units. GDI+ failures leave it unpainted.
void FillRoundedRect(HDC dc, const RECT& rect, COLORREF fill, COLORREF border, int radius);

} // namespace vesko
