// Start-up, message loop and shutdown of the window application.
#include "app/Application.h"
#include "app/GdiplusOwners.h"
#include "app/Intake.h"
#include "app/MainWindow.h"
#include "storage/Recovery.h"
#include "ui/Texts.h"

#include <commctrl.h>
#include <shellscalingapi.h>

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

// Where the window opens: the monitor under the cursor, its work area, the DPI Windows proposes
// for it, and the DPI the interface is drawn at there.
struct StartMonitor {
    RECT work{};
    UINT proposedDpi = 96;
    std::uint32_t dpi = 96;
};

StartMonitor FindStartMonitor() {
    POINT cursor{};
    if (!GetCursorPos(&cursor)) {
        cursor = POINT{0, 0};
    }
    const HMONITOR monitor = MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY);
    const UINT systemDpi = GetDpiForSystem();
    UINT monitorDpi = 0;
    UINT unusedY = 0;
    if (FAILED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &monitorDpi, &unusedY))) {
        monitorDpi = 0;
    }
    StartMonitor start;
    start.proposedDpi = monitorDpi != 0 ? monitorDpi : systemDpi;
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    const bool known = GetMonitorInfoW(monitor, &info) != FALSE;
    const PixelRect work{info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
    start.work = known ? info.rcWork : RECT{0, 0, 0, 0};
    start.dpi = StartDpiFor(monitorDpi, systemDpi, known ? &work : nullptr);
    return start;
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

    const StartMonitor start = FindStartMonitor();
    const RECT work = start.work;
    app.state.dpi = start.dpi;
    RECT frame{0, 0, Scale(kDesignWidth, app.state.dpi), Scale(kDesignHeight, app.state.dpi)};
    // The frame is drawn at the monitor's own DPI, as after a DPI change.
    AdjustWindowRectExForDpi(&frame, kMainWindowStyle, FALSE, 0, start.proposedDpi);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const WindowPlacement at =
        CentreInWorkArea(PixelRect{work.left, work.top, work.right, work.bottom}, width, height);
    const HWND window = CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, kMainWindowStyle, at.x, at.y,
                                        width, height, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    // Files named by "Open with", "Send to" or an association are chosen, never converted by themselves.
    TakeCommandLineFiles();
    StartRecoveryScan();
    ShowWindow(window, showCommand);
    SetFocus(app.chooseButton);
    UpdateWindow(window);

    MSG message{};
    BOOL got = 0;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
        if (app.mainWindow != nullptr && IsDialogMessageW(app.mainWindow, &message)) {
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
