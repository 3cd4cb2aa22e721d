// GDI+ through its flat API, with one owner per kind of GDI+ object and for the library itself.
#pragma once

#include <windows.h>
#include <objidl.h> // before gdiplus.h: it needs PROPID and IStream

#include <algorithm>
// The GDI+ headers use min and max unqualified; NOMINMAX keeps the macros away.
namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus
#include <gdiplus.h>

#include "app/Owners.h"

namespace vesko {

namespace gp = Gdiplus::DllExports;

template <typename T, Gdiplus::GpStatus(WINGDIPAPI* Delete)(T*)> struct GdiplusTraits {
    static T* empty() { return nullptr; }
    static void release(T* object) { Delete(object); }
};

using GraphicsOwner = Owner<Gdiplus::GpGraphics*, GdiplusTraits<Gdiplus::GpGraphics, gp::GdipDeleteGraphics>>;
using PathOwner = Owner<Gdiplus::GpPath*, GdiplusTraits<Gdiplus::GpPath, gp::GdipDeletePath>>;
using BrushGpOwner = Owner<Gdiplus::GpBrush*, GdiplusTraits<Gdiplus::GpBrush, gp::GdipDeleteBrush>>;
using PenOwner = Owner<Gdiplus::GpPen*, GdiplusTraits<Gdiplus::GpPen, gp::GdipDeletePen>>;
using ImageOwner = Owner<Gdiplus::GpImage*, GdiplusTraits<Gdiplus::GpImage, gp::GdipDisposeImage>>;

// GdiplusStartup balanced by GdiplusShutdown.
class GdiplusSession {
  public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession() {
        if (ok_) {
            Gdiplus::GdiplusShutdown(token_);
        }
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool ok() const { return ok_; }

  private:
    ULONG_PTR token_ = 0;
    bool ok_ = false;
};

// An opaque GDI+ colour from a GDI COLORREF (the two keep red and blue in opposite bytes).
inline Gdiplus::ARGB ToArgb(COLORREF colour, BYTE alpha = 255) {
    return (static_cast<Gdiplus::ARGB>(alpha) << 24) | (static_cast<Gdiplus::ARGB>(GetRValue(colour)) << 16) |
           (static_cast<Gdiplus::ARGB>(GetGValue(colour)) << 8) | GetBValue(colour);
}

// An anti-aliased graphics object on a DC.
GraphicsOwner SmoothGraphics(HDC dc);

// The rounded path of FillRoundedRect: right and bottom edges one pixel in, four 90 degree arcs.
PathOwner RoundedPath(const RECT& rect, int radius, UINT dpi);

} // namespace vesko
