#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/Batch.h"
#include "app/Dialogs.h"
#include "app/Drawing.h"
#include "app/Intake.h"
#include "app/Layout.h"
#include "app/Painting.h"
#include "app/Palette.h"
#include "app/Taskbar.h"
#include "app/WindowView.h"
#include "ui/Texts.h"

#include <commctrl.h>
#include <windowsx.h>

#include <string>

namespace vesko {
namespace {

constexpr UINT_PTR kButtonSubclassId = 1;
constexpr UINT kHoverFrameMilliseconds = 15;
constexpr UINT kPollMilliseconds = 100;

HWND ControlById(int id) {
    return id == 0 ? nullptr : GetDlgItem(App().mainWindow, id);
}

void InvalidateControl(HWND control) {
    if (control != nullptr) {
        InvalidateRect(control, nullptr, FALSE);
    }
}

AnimationSetting ReadAnimationSetting() {
    BOOL value = TRUE;
    const bool ok = SystemParametersInfoW(SPI_GETCLIENTAREAANIMATION, 0, &value, 0) != FALSE;
    return AnimationSetting{ok, value != FALSE};
}

void AnimateHover(bool hovered) {
    Application& app = App();
    HoverFade& fade = app.state.hover;
    // A mouse message that arrives while the window is being destroyed has no timer to run.
    if (app.mainWindow == nullptr || (hovered ? 1.0f : 0.0f) == fade.hoverTarget) {
        return;
    }
    const bool animate = ShouldAnimate(ReadAnimationSetting(), app.state.animationsEnabled);
    const HoverRetarget retarget = RetargetHover(fade, hovered, GetTickCount64(), animate);
    if (retarget.fadeTimerStopped) {
        KillTimer(app.mainWindow, kHoverTimer);
    }
    if (retarget.start == HoverStart::Animate &&
        SetTimer(app.mainWindow, kHoverTimer, kHoverFrameMilliseconds, nullptr) != 0) {
        InvalidateControl(app.promoButton);
        return;
    }
    // No animations, or no timer for them: the banner takes its final look at once.
    fade.hoverLevel = fade.hoverTarget;
    KillTimer(app.mainWindow, kHoverTimer);
    InvalidateControl(app.promoButton);
}

void HoverStepNow() {
    Application& app = App();
    const HoverStep step = HoverLevelAt(app.state.hover, GetTickCount64());
    app.state.hover.hoverLevel = step.level;
    if (step.finished) {
        KillTimer(app.mainWindow, kHoverTimer);
    }
    InvalidateControl(app.promoButton);
}

void PollStep() {
    Application& app = App();
    if (!app.state.isConverting) {
        return;
    }
    if (app.shared.workerFinished.load()) {
        OnWorkerFinished();
        return;
    }
    // A blocking call that began after the first cancellation is cut short too.
    if (IsCancelRequested(&app.shared.cancelRequested)) {
        CancelWorkerIo();
    }
    const RECT area = ToRect(ScaleRect(28, 460, 664, 67, app.state.dpi));
    InvalidateRect(app.mainWindow, &area, FALSE);
    UpdateTaskbar();
}

void OnActionButton() {
    switch (ActionFor(App().state)) {
    case ActionCommand::Nothing:
        break;
    case ActionCommand::RequestCancel:
        RequestCancel();
        break;
    case ActionCommand::OpenOutputFolder:
        OpenOutputFolder(std::wstring());
        break;
    case ActionCommand::ChooseNszFiles:
        ChooseNszFiles();
        break;
    case ActionCommand::StartBatch:
        StartBatchFromSelection();
        break;
    }
}

LRESULT CALLBACK ButtonSubclassProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR) {
    Application& app = App();
    const int id = GetDlgCtrlID(button);
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_SETCURSOR:
        if (id == PromoButtonId) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_MOUSEMOVE:
        if (app.state.hoveredControl != id) {
            const int previous = app.state.hoveredControl;
            app.state.hoveredControl = id;
            if (previous == PromoButtonId) {
                AnimateHover(false);
            }
            InvalidateControl(ControlById(previous));
            InvalidateControl(button);
            TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, button, 0};
            TrackMouseEvent(&track);
        }
        if (id == PromoButtonId) {
            RECT client{};
            GetClientRect(button, &client);
            const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            AnimateHover(PtInRect(&client, point) != FALSE);
        }
        break;
    case WM_MOUSELEAVE:
        if (app.state.hoveredControl == id) {
            app.state.hoveredControl = 0;
            if (id == PromoButtonId) {
                AnimateHover(false);
            }
            InvalidateControl(button);
        }
        break;
    default:
        break;
    }
    return DefSubclassProc(button, message, wParam, lParam);
}

HWND CreateControl(HWND parent, int id, const std::wstring& caption, DWORD style) {
    return CreateWindowExW(IsRightToLeftMode() ? WS_EX_RTLREADING : 0, L"BUTTON", caption.c_str(), style, 0,
                           0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), App().instance,
                           nullptr);
}

void OnCreate(HWND window) {
    Application& app = App();
    app.mainWindow = window;
    CreateFonts();
    const DWORD pushButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
    const std::wstring promoCaption = std::wstring(Text(TextKey::TextPromoOpenSite)) + L". " +
                                      Text(TextKey::TextPromoDownloadGames) + L". " +
                                      Text(TextKey::TextPromoPlatforms);
    app.promoButton = CreateControl(window, PromoButtonId, promoCaption, pushButton);
    app.chooseButton = CreateControl(window, ChooseButtonId, Text(TextKey::TextChooseNsz), pushButton);
    app.actionButton = CreateControl(window, ActionButtonId, Text(TextKey::TextConvertToNsp), pushButton);
    const DWORD checkbox = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX |
                           (IsRightToLeftMode() ? (BS_LEFTTEXT | BS_RIGHT) : BS_LEFT);
    app.deleteSourcesCheckbox =
        CreateControl(window, DeleteSourcesCheckboxId, Text(TextKey::TextDeleteSources), checkbox);
    SendMessageW(app.deleteSourcesCheckbox, BM_SETCHECK, BST_UNCHECKED, 0);
    // Tab order follows z-order: Promo, Choose, the check box, Action.
    SetWindowPos(app.deleteSourcesCheckbox, app.chooseButton, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    for (HWND button : {app.promoButton, app.chooseButton, app.actionButton}) {
        SetWindowSubclass(button, ButtonSubclassProc, kButtonSubclassId, 0);
    }
    EnableWindow(app.actionButton, FALSE);
    LayoutControls();
    DragAcceptFiles(window, TRUE);
    app.taskbar.createdMessage = RegisterWindowMessageW(L"TaskbarButtonCreated");
    SetTimer(window, kPollTimer, kPollMilliseconds, nullptr);
}

void OnDestroy(HWND window) {
    Application& app = App();
    KillTimer(window, kPollTimer);
    KillTimer(window, kHoverTimer);
    if (app.shared.workerThread.joinable()) {
        app.shared.workerThread.join();
    }
    DeleteFonts();
    // Released while COM is still initialised; the button goes with the window anyway.
    ResetTaskbar();
    // The children go with this window: no handle of the family may be used after this.
    app.mainWindow = nullptr;
    app.promoButton = nullptr;
    app.chooseButton = nullptr;
    app.actionButton = nullptr;
    app.deleteSourcesCheckbox = nullptr;
    PostQuitMessage(0);
}

void OnSettingChange() {
    Application& app = App();
    const AnimationSetting setting = ReadAnimationSetting();
    if (setting.readOk) {
        app.state.animationsEnabled = setting.value;
    }
    if (!app.state.animationsEnabled) {
        HoverFade& fade = app.state.hover;
        fade.hoverLevel = fade.hoverTarget;
        fade.hoverFrom = fade.hoverTarget;
        KillTimer(app.mainWindow, kHoverTimer);
    }
    InvalidateControl(app.promoButton);
}

void OnDpiChanged(HWND window, WPARAM wParam, const RECT& suggested) {
    Application& app = App();
    const UINT proposed = HIWORD(wParam);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    const HMONITOR monitor = MonitorFromRect(&suggested, MONITOR_DEFAULTTONEAREST);
    if (GetMonitorInfoW(monitor, &info)) {
        app.state.dpi = EffectiveDpi(info.rcWork.right - info.rcWork.left,
                                     info.rcWork.bottom - info.rcWork.top, proposed);
    } else {
        app.state.dpi = proposed;
    }
    CreateFonts();
    // The results window borrows two of the fonts just replaced.
    ApplyReportFonts();
    RECT frame{0, 0, Scale(kDesignWidth, app.state.dpi), Scale(kDesignHeight, app.state.dpi)};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE, 0,
                             proposed);
    SetWindowPos(window, nullptr, suggested.left, suggested.top, frame.right - frame.left,
                 frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutControls();
    InvalidateMainWindow();
}

} // namespace

void RefreshControls() {
    Application& app = App();
    if (app.mainWindow == nullptr) {
        return;
    }
    const ControlLook look =
        ControlLookFor(VisibleStateOf(app.state, IsCancelRequested(&app.shared.cancelRequested)));
    EnableWindow(app.chooseButton, look.chooseEnabled);
    EnableWindow(app.deleteSourcesCheckbox, look.deleteSourcesEnabled);
    EnableWindow(app.actionButton, look.actionEnabled);
    SetWindowTextW(app.actionButton, Text(look.actionCaption));
    InvalidateControl(app.actionButton);
    // Files are taken exactly when they could be chosen: Explorer then shows a refusing cursor.
    DragAcceptFiles(app.mainWindow, look.chooseEnabled);
    UpdateTaskbar();
}

void InvalidateMainWindow() {
    if (App().mainWindow != nullptr) {
        InvalidateRect(App().mainWindow, nullptr, FALSE);
    }
}

UINT MessageBoxDirection() {
    return IsRightToLeftMode() ? (MB_RIGHT | MB_RTLREADING) : 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Application& app = App();
    if (message == app.taskbar.createdMessage && message != 0) {
        ResetTaskbar();
        UpdateTaskbar();
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_DESTROY:
        OnDestroy(window);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            if (app.state.hoveredControl == PromoButtonId) {
                app.state.hoveredControl = 0;
            }
            AnimateHover(false);
        }
        break;
    case WM_PAINT:
        PaintMainWindow(window);
        return 0;
    case WM_CLOSE:
        switch (CloseFor(app.state)) {
        case CloseCommand::CancelThenDestroy:
            // The window stays until the worker has finished; OnWorkerFinished then destroys it.
            app.state.closeRequested = true;
            RequestCancel();
            break;
        case CloseCommand::DestroyAfterQuestion:
            app.state.closeRequested = true;
            RefreshControls();
            break;
        case CloseCommand::DestroyNow:
            DestroyWindow(window);
            break;
        }
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETTINGCHANGE:
        OnSettingChange();
        break;
    case WM_DRAWITEM:
        DrawOwnerButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            switch (LOWORD(wParam)) {
            case PromoButtonId:
                OpenMakerSite();
                break;
            case ActionButtonId:
                OnActionButton();
                break;
            case ChooseButtonId:
                ChooseNszFiles();
                break;
            default:
                break;
            }
        }
        return 0;
    case WM_TIMER:
        if (wParam == kHoverTimer) {
            HoverStepNow();
        } else {
            PollStep();
        }
        return 0;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == app.deleteSourcesCheckbox) {
            const HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, palette::kWindowBackground);
            SetDCBrushColor(dc, palette::kWindowBackground);
            SetTextColor(dc, palette::kPrimaryText);
            return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
        }
        break;
    case WM_DROPFILES:
        TakeDroppedFiles(DropOwner(reinterpret_cast<HDROP>(wParam)));
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(window, wParam, *reinterpret_cast<const RECT*>(lParam));
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace vesko
