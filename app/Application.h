// The program's one application object: the main window's handles, fonts and records.
#pragma once

#include "app/MainWindowState.h"
#include "app/Owners.h"
#include "app/Scaling.h"
#include "app/WorkerShared.h"

#include <windows.h>

namespace vesko {

struct Fonts {
    FontOwner body;
    FontOwner small;
    FontOwner promoTitle;
    FontOwner promoSubtitle;
    FontOwner promoText;
    FontOwner promoAccent;
    FontOwner button;
};

struct Application {
    HINSTANCE instance = nullptr;
    HICON icon = nullptr; // a shared resource icon: not destroyed
    HWND mainWindow = nullptr;
    HWND promoButton = nullptr;
    HWND chooseButton = nullptr;
    HWND actionButton = nullptr;
    HWND deleteSourcesCheckbox = nullptr;
    MainWindowState state;
    WorkerShared shared;
    Fonts fonts;
};

Application& App();

inline RECT ToRect(const PixelRect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}

inline constexpr wchar_t kMainWindowClass[] = L"VESKO_NSZ_Converter";
inline constexpr wchar_t kMainWindowTitle[] = L"VESKO NSZ converter";
inline constexpr DWORD kMainWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

inline constexpr UINT_PTR kPollTimer = 1;
inline constexpr UINT_PTR kHoverTimer = 2;

} // namespace vesko
