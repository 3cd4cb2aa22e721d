// The end of a batch on screen: the window's result state, then nothing, one task dialog, or the
// modal results window that lists every problem.
#include "app/Application.h"
#include "app/Batch.h"
#include "app/Dialogs.h"
#include "app/FinishBatchPlan.h"
#include "app/MainWindow.h"
#include "app/Taskbar.h"
#include "ui/Texts.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

namespace vesko {
namespace {

constexpr wchar_t kReportWindowClass[] = L"VESKO_ConversionReport";
constexpr int kReportEditId = 201;

// Rebuilt for each results window; the edit control takes its text from here when created.
std::wstring& ReportText() {
    static std::wstring text;
    return text;
}

void SetReportFonts(HWND window) {
    const Fonts& fonts = App().fonts;
    SendMessageW(GetDlgItem(window, kReportEditId), WM_SETFONT, reinterpret_cast<WPARAM>(fonts.body.get()),
                 TRUE);
    SendMessageW(GetDlgItem(window, IDOK), WM_SETFONT, reinterpret_cast<WPARAM>(fonts.button.get()), TRUE);
}

int ScaledBy(int value) {
    return MulDiv(value, static_cast<int>(App().state.dpi), 96);
}

LRESULT CALLBACK ReportWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Application& app = App();
    const bool rtl = IsRightToLeftMode();
    switch (message) {
    case WM_CREATE: {
        const HINSTANCE instance = app.instance;
        app.reportWindow = window;
        CreateWindowExW(WS_EX_CLIENTEDGE | (rtl ? WS_EX_RTLREADING : 0), L"EDIT", ReportText().c_str(),
                        WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL |
                            ES_READONLY | (rtl ? ES_RIGHT : 0),
                        0, 0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kReportEditId)),
                        instance, nullptr);
        CreateWindowExW(rtl ? WS_EX_RTLREADING : 0, L"BUTTON", Text(TextKey::TextClose),
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), instance, nullptr);
        SetReportFonts(window);
        return 0;
    }
    case WM_SIZE: {
        const int w = LOWORD(lParam);
        const int h = HIWORD(lParam);
        MoveWindow(GetDlgItem(window, kReportEditId), ScaledBy(16), ScaledBy(16),
                   std::max(ScaledBy(100), w - ScaledBy(32)), std::max(ScaledBy(100), h - ScaledBy(82)),
                   TRUE);
        MoveWindow(GetDlgItem(window, IDOK), w - ScaledBy(136), h - ScaledBy(52), ScaledBy(120), ScaledBy(36),
                   TRUE);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            DestroyWindow(window);
        }
        return 0;
    case WM_NCDESTROY:
        app.reportWindow = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void ShowTaskDialog(const FinishBatchPlan& plan) {
    Application& app = App();
    const bool warning = plan.dialog == FinishDialog::WarningDialog;
    const TASKDIALOG_BUTTON errorButtons[1] = {{IDCANCEL, Text(TextKey::TextClose)}};
    const TASKDIALOG_BUTTON warningButtons[2] = {{IDOK, Text(TextKey::TextOpenFolder)},
                                                 {IDCANCEL, Text(TextKey::TextClose)}};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof(config);
    config.hwndParent = app.mainWindow;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | (IsRightToLeftMode() ? TDF_RTL_LAYOUT : 0);
    config.pszWindowTitle = plan.dialogTitle.c_str();
    config.pszMainIcon = warning ? TD_WARNING_ICON : TD_ERROR_ICON;
    config.pszMainInstruction = plan.dialogInstruction.c_str();
    config.pszContent = plan.dialogContent.c_str();
    config.cButtons = warning ? 2 : 1;
    config.pButtons = warning ? warningButtons : errorButtons;
    config.nDefaultButton = IDCANCEL;
    config.cxWidth = 300;
    int pressed = IDCANCEL;
    if (FAILED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr))) {
        MessageBoxW(app.mainWindow, plan.dialogContent.c_str(),
                    Text(warning ? TextKey::TextWarnSourceNotDeleted : TextKey::TextConversionErrorTitle),
                    (warning ? MB_ICONWARNING : MB_ICONERROR) | MessageBoxDirection());
        return;
    }
    if (warning && pressed == IDOK) {
        OpenOutputFolder(plan.dialogOutputPath);
    }
}

void ShowResultsWindow(const FinishBatchPlan& plan) {
    Application& app = App();
    ReportText() = plan.reportText;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ReportWindowProc;
    windowClass.hInstance = app.instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kReportWindowClass;
    RegisterClassW(&windowClass); // a second batch finds it registered already

    RECT main{};
    GetWindowRect(app.mainWindow, &main);
    const HWND window = CreateWindowExW(
        WS_EX_DLGMODALFRAME, kReportWindowClass, plan.resultsTitle.c_str(),
        WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, main.left + ScaledBy(60), main.top + ScaledBy(48),
        ScaledBy(600), ScaledBy(plan.resultsHeight96), app.mainWindow, nullptr, app.instance, nullptr);
    if (window == nullptr) {
        MessageBoxW(app.mainWindow, ReportText().c_str(), Text(TextKey::TextResultsTitle),
                    (plan.fallbackIsError ? MB_ICONERROR : MB_ICONWARNING) | MessageBoxDirection());
        return;
    }
    EnableWindow(app.mainWindow, FALSE);
    ShowWindow(window, SW_SHOW);
    SetFocus(GetDlgItem(window, kReportEditId));
    MSG message{};
    // The handle is cleared when the window goes, also when its owner takes it along.
    while (app.reportWindow != nullptr) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            // The application is quitting: leave, and let the main loop see the quit too.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got == -1) {
            break;
        }
        if (!IsDialogMessageW(app.reportWindow, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (app.reportWindow != nullptr) {
        DestroyWindow(app.reportWindow);
    }
    // Closed from outside meanwhile (the results window went with it): nothing left to return to.
    if (app.mainWindow == nullptr) {
        return;
    }
    EnableWindow(app.mainWindow, TRUE);
    SetForegroundWindow(app.mainWindow);
    SetFocus(app.actionButton);
}

} // namespace

void FinishBatch() {
    Application& app = App();
    const FinishBatchPlan plan = PlanFinishBatch(app.state.batch, app.state.closeRequested);
    ApplyFinishBatch(app.state, plan);
    app.taskbar.endDialogOpen = plan.dialog != FinishDialog::None && !app.state.closeRequested;
    RefreshControls();
    InvalidateMainWindow();
    if (app.state.closeRequested) {
        return;
    }
    FlashIfInBackground();
    switch (plan.dialog) {
    case FinishDialog::None:
        break;
    case FinishDialog::ErrorDialog:
    case FinishDialog::WarningDialog:
        ShowTaskDialog(plan);
        break;
    case FinishDialog::ResultsWindow:
        ShowResultsWindow(plan);
        break;
    }
    app.taskbar.endDialogOpen = false;
    UpdateTaskbar();
}

void ApplyReportFonts() {
    if (App().reportWindow != nullptr) {
        SetReportFonts(App().reportWindow);
    }
}

} // namespace vesko
