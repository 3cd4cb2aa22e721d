// Drives the real application from outside, as a person would: finds its windows by class and
// title, presses buttons and fills the dialogs through window messages, and reads back what the
// windows show.
#pragma once

#include "app/Owners.h"
#include "storage/UniqueHandle.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace vesko::ui_driver {

// Generous bounds for waiting on the application; a wait that runs out is a failure, never a pass.
inline constexpr DWORD kStartTimeoutMs = 60000;
inline constexpr DWORD kBatchTimeoutMs = 180000;
inline constexpr DWORD kDialogTimeoutMs = 30000;

// Polls until the condition holds; false when the time runs out.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// A top-level window of the process with this class (and title, when not empty), or null.
HWND FindTopWindow(DWORD processId, const std::wstring& className, const std::wstring& title = L"");
HWND WaitForTopWindow(DWORD processId, const std::wstring& className, const std::wstring& title,
                      DWORD timeoutMs);

std::wstring TextOf(HWND window);
std::wstring ClassOf(HWND window);

// The texts of every descendant of a window, in creation order.
std::vector<std::wstring> ChildTexts(HWND window);

// Presses a control of a window the way a click would arrive (refused when it is disabled).
bool Press(HWND parent, int controlId);

// Fills the open-file dialog: navigates to the folder, then selects the names in it.
bool ChooseInOpenDialog(HWND dialog, const std::wstring& folder, const std::vector<std::wstring>& names);

// Types a folder into the folder picker and confirms it.
bool ChooseInFolderPicker(HWND dialog, const std::wstring& folder);

// Drops files and folders on a window of the application, as Explorer does with WM_DROPFILES;
// returns once the window has handled the drop.
bool DropFiles(HWND window, const std::vector<std::wstring>& paths);

// Whether the window takes dropped files now (what Explorer asks before it offers a drop).
bool AcceptsDrops(HWND window);

// The application under test, started with its own process and ended when this object goes.
class RunningApp {
  public:
    // Each argument is passed quoted, as the shell passes files to "Open with".
    explicit RunningApp(const std::vector<std::wstring>& arguments = {});
    ~RunningApp();
    RunningApp(const RunningApp&) = delete;
    RunningApp& operator=(const RunningApp&) = delete;

    bool started() const { return mainWindow_ != nullptr; }
    DWORD processId() const { return processId_; }
    HWND mainWindow() const { return mainWindow_; }
    HWND control(int id) const { return GetDlgItem(mainWindow_, id); }

    // Waits for the process to end; its exit code, or STILL_ACTIVE when it did not end in time.
    DWORD waitForExit(DWORD timeoutMs);

  private:
    UniqueHandle process_;
    DWORD processId_ = 0;
    HWND mainWindow_ = nullptr;
};

// The program under test, as a Windows path.
std::wstring ApplicationPath();

// Leftovers of reservations: temporary outputs in a folder, and journals that name that folder.
std::size_t TemporaryOutputsIn(const std::wstring& folder);
std::size_t JournalsNaming(const std::wstring& folder);

} // namespace vesko::ui_driver
