// One owner type per kind of Windows resource: each releases its handle exactly once, on every path.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <utility>

namespace vesko {

// A handle with a release function and an empty value; movable, not copyable.
template <typename Handle, typename Traits> class Owner {
  public:
    Owner() = default;
    explicit Owner(Handle handle) : handle_(handle) {}
    ~Owner() { reset(); }
    Owner(Owner&& other) noexcept : handle_(std::exchange(other.handle_, Traits::empty())) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.handle_, Traits::empty()));
        }
        return *this;
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::empty(); }
    void reset(Handle handle = Traits::empty()) {
        if (handle_ != Traits::empty()) {
            Traits::release(handle_);
        }
        handle_ = handle;
    }

  private:
    Handle handle_ = Traits::empty();
};

template <typename T> struct TypedGdiTraits {
    static T empty() { return nullptr; }
    static void release(T object) { DeleteObject(object); }
};
using FontOwner = Owner<HFONT, TypedGdiTraits<HFONT>>;
using BitmapOwner = Owner<HBITMAP, TypedGdiTraits<HBITMAP>>;
using BrushOwner = Owner<HBRUSH, TypedGdiTraits<HBRUSH>>;

struct MemoryDcTraits {
    static HDC empty() { return nullptr; }
    static void release(HDC dc) { DeleteDC(dc); }
};
using MemoryDcOwner = Owner<HDC, MemoryDcTraits>;

struct CoTaskMemTraits {
    static void* empty() { return nullptr; }
    static void release(void* memory) { CoTaskMemFree(memory); }
};
// A CoTaskMem string or item list; get() hands out the untyped pointer.
using CoTaskMemOwner = Owner<void*, CoTaskMemTraits>;

struct DropTraits {
    static HDROP empty() { return nullptr; }
    static void release(HDROP drop) { DragFinish(drop); }
};
// The file list of a WM_DROPFILES, released with DragFinish.
using DropOwner = Owner<HDROP, DropTraits>;

struct LocalMemTraits {
    static HLOCAL empty() { return nullptr; }
    static void release(HLOCAL memory) { LocalFree(memory); }
};
// Memory the system hands out with LocalAlloc (CommandLineToArgvW).
using LocalMemOwner = Owner<HLOCAL, LocalMemTraits>;

// Selects an object into a DC for one scope and puts the previous one back.
class SelectionScope {
  public:
    SelectionScope(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectionScope() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) {
            SelectObject(dc_, previous_);
        }
    }
    SelectionScope(const SelectionScope&) = delete;
    SelectionScope& operator=(const SelectionScope&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The DC of a window (or of the screen, for no window), released on every path.
class WindowDcScope {
  public:
    explicit WindowDcScope(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDcScope() {
        if (dc_ != nullptr) {
            ReleaseDC(window_, dc_);
        }
    }
    WindowDcScope(const WindowDcScope&) = delete;
    WindowDcScope& operator=(const WindowDcScope&) = delete;
    HDC dc() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// BeginPaint / EndPaint.
class PaintScope {
  public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
    ~PaintScope() { EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

// A COM interface pointer, released once.
template <typename T> class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // For the out-parameter of a creating call; releases what was held.
    T** put() {
        reset();
        return &pointer_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (pointer_ != nullptr) {
            pointer_->Release();
            pointer_ = nullptr;
        }
    }

  private:
    T* pointer_ = nullptr;
};

// CoInitializeEx balanced by CoUninitialize only when it succeeded.
class ComApartment {
  public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    HRESULT result_;
};

} // namespace vesko
