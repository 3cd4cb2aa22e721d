// Start-up, message loop and shutdown of the window application.
#include "app/Application.h"
#include "app/GdiplusOwners.h"
#include "app/MainWindow.h"
#include "storage/Recovery.h"
#include "ui/Texts.h"

#include <commctrl.h>

#include <thread>

namespace vesko {
namespace {

void StartRecoveryScan() {
    // Skipped for this run when no thread can be had: the next start cleans up instead.
    try {
        std::thread(RecoverInterruptedOutputs).detach();
    } catch (...) {
    }
}

// The DPI of the monitor under the cursor, fitted to its work area; that work area comes back too.
std::uint32_t StartDpi(RECT& work) {
    POINT cursor{};
    if (!GetCursorPos(&cursor)) {
        cursor = POINT{0, 0};
    }
    const HMONITOR monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY);
    const UINT systemDpi = GetDpiForSystem();
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(monitor, &info)) {
        work = RECT{0, 0, 0, 0};
        return systemDpi;
    }
    work = info.rcWork;
    return EffectiveDpi(work.right - work.left, work.bottom - work.top, systemDpi);
}

int Run(HINSTANCE instance, int showCommand) {
    const ComApartment apartment; // a failure leaves only the folder picker unusable
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    InitCommonControls();
    const GdiplusSession gdiplus;
    if (!gdiplus.ok()) {
        return 1;
    }
    Application& app = App();
    app.instance = instance;
    app.icon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    SetInterfaceLanguage(DetectInterfaceLanguage());
    app.state.statusText = Text(TextKey::TextSavedAlongside);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = app.icon;
    windowClass.hIconSm = app.icon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassExW(&windowClass);

    RECT work{};
    app.state.dpi = StartDpi(work);
    RECT frame{0, 0, Scale(kDesignWidth, app.state.dpi), Scale(kDesignHeight, app.state.dpi)};
    AdjustWindowRectExForDpi(&frame, kMainWindowStyle, FALSE, 0, GetDpiForSystem());
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const WindowPlacement at =
        CentreInWorkArea(PixelRect{work.left, work.top, work.right, work.bottom}, width, height);
    const HWND window = CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, kMainWindowStyle, at.x, at.y,
                                        width, height, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    StartRecoveryScan();
    ShowWindow(window, showCommand);
    SetFocus(app.chooseButton);
    UpdateWindow(window);

    MSG message{};
    BOOL got = 0;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
        if (IsDialogMessageW(app.mainWindow, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return got == 0 ? static_cast<int>(message.wParam) : 0;
}

} // namespace

Application& App() {
    static Application application;
    return application;
}

} // namespace vesko

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    return vesko::Run(instance, showCommand);
}
