#include "app/Taskbar.h"

#include "app/Application.h"
#include "app/Painting.h"

namespace vesko {
namespace {

TBPFLAG FlagFor(TaskbarMode mode) {
    switch (mode) {
    case TaskbarMode::Normal:
        return TBPF_NORMAL;
    case TaskbarMode::Paused:
        return TBPF_PAUSED;
    case TaskbarMode::Error:
        return TBPF_ERROR;
    case TaskbarMode::None:
        break;
    }
    return TBPF_NOPROGRESS;
}

bool EnsureTaskbarList(TaskbarButton& button) {
    if (button.list || button.missing) {
        return static_cast<bool>(button.list);
    }
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                button.list.putVoid())) ||
        FAILED(button.list->HrInit())) {
        button.list.reset();
        button.missing = true;
        return false;
    }
    return true;
}

} // namespace

void UpdateTaskbar() {
    Application& app = App();
    TaskbarButton& button = app.taskbar;
    if (app.mainWindow == nullptr) {
        return;
    }
    const TaskbarLook look = TaskbarLookFor(app.state, ReadProgress(), button.endDialogOpen);
    if (look == button.shown || !EnsureTaskbarList(button)) {
        return;
    }
    // A failing call changes nothing else: the window shows the progress anyway.
    button.list->SetProgressState(app.mainWindow, FlagFor(look.mode));
    if (look.mode != TaskbarMode::None) {
        button.list->SetProgressValue(app.mainWindow, look.completed, look.total);
    }
    button.shown = look;
}

void ResetTaskbar() {
    TaskbarButton& button = App().taskbar;
    button.list.reset();
    button.missing = false;
    button.shown = TaskbarLook{};
}

void FlashIfInBackground() {
    const HWND window = App().mainWindow;
    if (window == nullptr || GetForegroundWindow() == window) {
        return;
    }
    FLASHWINFO flash{};
    flash.cbSize = sizeof(flash);
    flash.hwnd = window;
    flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
    FlashWindowEx(&flash);
}

} // namespace vesko
