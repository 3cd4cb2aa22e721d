// The program's one application object: the main window's handles, fonts and records.
#pragma once

#include "app/MainWindowState.h"
#include "app/Owners.h"
#include "app/Scaling.h"
#include "app/TaskbarProgress.h"
#include "app/WorkerShared.h"

#include <windows.h>
#include <shobjidl.h>

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

// The taskbar button's progress; the interface is absent from some shells.
struct TaskbarButton {
    ComPtr<ITaskbarList3> list;
    bool missing = false;    // creating it failed: not tried again until the taskbar comes back
    TaskbarLook shown;       // what the button shows now
    UINT createdMessage = 0; // "TaskbarButtonCreated": the shell (re)made the button
    bool endDialogOpen = false;
};

// Window handles are cleared when their windows are destroyed, so nothing calls into a stale handle.
struct Application {
    HINSTANCE instance = nullptr;
    HICON icon = nullptr; // a shared resource icon: not destroyed
    HWND mainWindow = nullptr;
    HWND promoButton = nullptr;
    HWND chooseButton = nullptr;
    HWND actionButton = nullptr;
    HWND deleteSourcesCheckbox = nullptr;
    HWND reportWindow = nullptr; // the results window while it is open
    MainWindowState state;
    WorkerShared shared;
    Fonts fonts;
    TaskbarButton taskbar;
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
