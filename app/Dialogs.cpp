#include "app/Dialogs.h"

#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/OutputPath.h"
#include "engine/Paths.h"
#include "ui/Texts.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <memory>
#include <vector>

namespace vesko {
namespace {

constexpr std::size_t kOpenFileBufferChars = 1048576;

bool AskWithTaskDialog(const std::wstring& question, int& pressed) {
    const TASKDIALOG_BUTTON buttons[2] = {{1, Text(TextKey::TextChooseFolder)},
                                          {2, Text(TextKey::TextCancel)}};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof(config);
    config.hwndParent = App().mainWindow;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | (IsRightToLeftMode() ? TDF_RTL_LAYOUT : 0);
    config.pszWindowTitle = Text(TextKey::TextChooseFolderTitle);
    config.pszMainIcon = TD_INFORMATION_ICON;
    config.pszContent = question.c_str();
    config.cButtons = 2;
    config.pButtons = buttons;
    config.nDefaultButton = 1;
    return SUCCEEDED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr));
}

std::wstring StartFolder() {
    const MainWindowState& state = App().state;
    return state.outputFolderOverride.empty() ? ParentOf(state.currentSource) : state.outputFolderOverride;
}

FolderChoice PickFolder() {
    const FolderChoice failed{FolderAnswer::PickerFailed, {}};
    ComPtr<IFileOpenDialog> picker;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                picker.putVoid()))) {
        return failed;
    }
    FILEOPENDIALOGOPTIONS options = 0;
    if (FAILED(picker->GetOptions(&options)) ||
        FAILED(picker->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR |
                                  FOS_PATHMUSTEXIST | FOS_DONTADDTORECENT)) ||
        FAILED(picker->SetTitle(Text(TextKey::TextChooseFolderTitle))) ||
        FAILED(picker->SetOkButtonLabel(Text(TextKey::TextChooseFolder)))) {
        return failed;
    }
    const std::wstring start = StartFolder();
    ComPtr<IShellItem> startItem;
    if (!start.empty() &&
        SUCCEEDED(SHCreateItemFromParsingName(start.c_str(), nullptr, IID_IShellItem, startItem.putVoid()))) {
        picker->SetFolder(startItem.get());
    }
    const HRESULT shown = picker->Show(App().mainWindow);
    if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) {
        return FolderChoice{FolderAnswer::NoFolder, {}};
    }
    if (FAILED(shown)) {
        return failed;
    }
    ComPtr<IShellItem> result;
    if (FAILED(picker->GetResult(result.put()))) {
        return failed;
    }
    PWSTR name = nullptr;
    if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &name))) {
        return failed;
    }
    const CoTaskMemOwner nameOwner(name);
    std::wstring folder = name != nullptr ? name : L"";
    if (folder.empty()) {
        return failed;
    }
    return FolderChoice{FolderAnswer::Chosen, std::move(folder)};
}

} // namespace

void ChooseNszFiles() {
    Application& app = App();
    if (app.state.batchActive || app.state.isConverting) {
        return;
    }
    // 2 MiB of zeroes: enough for a long multi-selection, and a too-long one fails cleanly.
    std::vector<wchar_t> buffer(kOpenFileBufferChars, L'\0');
    std::wstring filter = Text(TextKey::TextNszFilter);
    filter.push_back(L'\0');
    filter += L"*.nsz";
    filter.push_back(L'\0');
    filter.push_back(L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = app.mainWindow;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 0;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrTitle = Text(TextKey::TextChooseNszFiles);
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_ALLOWMULTISELECT |
                   OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&dialog)) {
        if (CommDlgExtendedError() != 0) {
            app.state.showError = true;
            app.state.statusText = Text(TextKey::TextErrFilePicker);
            InvalidateMainWindow();
        }
        return;
    }
    SelectFiles(ParseOpenFileBuffer(buffer.data(), buffer.size()));
}

void SelectFiles(std::vector<std::wstring> files) {
    Application& app = App();
    std::uint64_t size = 0;
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (files.size() == 1 &&
        GetFileAttributesExW(ToLongPath(files.front()).c_str(), GetFileExInfoStandard, &attributes)) {
        size = (static_cast<std::uint64_t>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    }
    ApplySelection(app.state, app.shared, std::move(files), size);
    RefreshControls();
    InvalidateMainWindow();
}

FolderChoice AskForOutputFolder(const std::wstring& question) {
    int pressed = 2;
    if (!AskWithTaskDialog(question, pressed)) {
        const int answer =
            MessageBoxW(App().mainWindow, question.c_str(), Text(TextKey::TextChooseFolderTitle),
                        MB_OKCANCEL | MB_ICONINFORMATION | MessageBoxDirection());
        pressed = answer == IDOK ? 1 : 2;
    }
    // A window closed while the question was open wants no folder any more.
    if (pressed != 1 || App().state.closeRequested) {
        return FolderChoice{FolderAnswer::NoFolder, {}};
    }
    return PickFolder();
}

void OpenOutputFolder(const std::wstring& path) {
    const std::wstring target = path.empty() ? App().state.lastSavedOutput : path;
    if (target.empty()) {
        return;
    }
    PIDLIST_ABSOLUTE item = nullptr;
    if (SUCCEEDED(SHParseDisplayName(target.c_str(), nullptr, &item, 0, nullptr))) {
        const CoTaskMemOwner itemOwner(item);
        if (SUCCEEDED(SHOpenFolderAndSelectItems(item, 0, nullptr, 0))) {
            return;
        }
    }
    const std::wstring folder = ParentOf(target);
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(App().mainWindow, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32) {
        MessageBoxW(App().mainWindow, Text(TextKey::TextErrOpenFolder), Text(TextKey::TextOpenFolder),
                    MB_ICONERROR | MessageBoxDirection());
    }
}

void OpenMakerSite() {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(App().mainWindow, L"open", kMakerSiteUrl, nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32) {
        MessageBoxW(App().mainWindow, Text(TextKey::TextErrBrowser), kMakerSiteName,
                    MB_ICONERROR | MessageBoxDirection());
    }
}

} // namespace vesko
