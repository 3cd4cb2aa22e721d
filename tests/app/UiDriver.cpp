#include "tests/app/UiDriver.h"

#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vesko::ui_driver {
namespace {

constexpr DWORD kPollMs = 20;
constexpr UINT kMessageTimeoutMs = 15000;

struct FindRequest {
    DWORD processId;
    const std::wstring* className;
    const std::wstring* title;
    HWND found;
};

BOOL CALLBACK MatchTopWindow(HWND window, LPARAM parameter) {
    auto& request = *reinterpret_cast<FindRequest*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != request.processId || !IsWindowVisible(window) || ClassOf(window) != *request.className) {
        return TRUE;
    }
    if (!request.title->empty() && TextOf(window) != *request.title) {
        return TRUE;
    }
    request.found = window;
    return FALSE;
}

BOOL CALLBACK CollectText(HWND window, LPARAM parameter) {
    reinterpret_cast<std::vector<std::wstring>*>(parameter)->push_back(TextOf(window));
    return TRUE;
}

// The first visible edit field among a dialog's descendants whose control id is one of the ids given.
HWND FileNameField(HWND dialog) {
    // The classic dialog names it cmb13 (an edit inside a combo box) or edt1; the item dialog differs.
    for (int id : {0x47C, 0x480}) {
        HWND field = GetDlgItem(dialog, id);
        if (field != nullptr) {
            if (ClassOf(field) == L"ComboBox" || ClassOf(field) == L"ComboBoxEx32") {
                HWND edit = FindWindowExW(field, nullptr, L"Edit", nullptr);
                if (edit == nullptr) {
                    HWND inner = FindWindowExW(field, nullptr, L"ComboBox", nullptr);
                    edit = inner != nullptr ? FindWindowExW(inner, nullptr, L"Edit", nullptr) : nullptr;
                }
                return edit != nullptr ? edit : field;
            }
            return field;
        }
    }
    struct Search {
        HWND found = nullptr;
    } search;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM parameter) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(parameter);
            if (ClassOf(child) == L"Edit" && IsWindowVisible(child) && IsWindowEnabled(child)) {
                s.found = child;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool SendWithin(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                               &result) != 0;
}

bool TypeAndConfirm(HWND dialog, const std::wstring& text) {
    HWND field = FileNameField(dialog);
    if (field == nullptr || !SendWithin(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()))) {
        return false;
    }
    // Posted: confirming may end the dialog, and the application goes on from there.
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK))) != FALSE;
}

// Memory in another process, freed there when this goes.
class RemoteBlock {
  public:
    RemoteBlock(HANDLE process, std::size_t size)
        : process_(process),
          address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    ~RemoteBlock() {
        if (address_ != nullptr) {
            VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        }
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    void* get() const { return address_; }

  private:
    HANDLE process_;
    void* address_;
};

std::wstring RecoveryDirectory() {
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path))) {
        result = std::wstring(path) + L"\\VESKO\\ZARUvivuriza\\Recovery";
    }
    const CoTaskMemOwner owner(path);
    return result;
}

} // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(kPollMs);
    }
}

std::wstring TextOf(HWND window) {
    wchar_t text[4096] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                             kMessageTimeoutMs, &copied)) {
        return {};
    }
    return std::wstring(text, copied);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

HWND FindTopWindow(DWORD processId, const std::wstring& className, const std::wstring& title) {
    FindRequest request{processId, &className, &title, nullptr};
    EnumWindows(MatchTopWindow, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

HWND WaitForTopWindow(DWORD processId, const std::wstring& className, const std::wstring& title,
                      DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTopWindow(processId, className, title)) != nullptr; }, timeoutMs);
    return found;
}

std::vector<std::wstring> ChildTexts(HWND window) {
    std::vector<std::wstring> texts;
    EnumChildWindows(window, CollectText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

bool Press(HWND parent, int controlId) {
    HWND control = GetDlgItem(parent, controlId);
    if (control == nullptr || !IsWindowEnabled(control) || !IsWindowVisible(control)) {
        return false;
    }
    return PostMessageW(parent, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                        reinterpret_cast<LPARAM>(control)) != FALSE;
}

bool ChooseInOpenDialog(HWND dialog, const std::wstring& folder, const std::vector<std::wstring>& names) {
    // Confirming a folder name opens that folder instead of ending the dialog.
    if (!TypeAndConfirm(dialog, folder)) {
        return false;
    }
    // The field is emptied once the folder opens; when the dialog was in that folder already it may
    // keep the text, which the names below replace anyway.
    WaitUntil(
        [&] {
            HWND field = FileNameField(dialog);
            return field != nullptr && TextOf(field).empty();
        },
        3000);
    std::wstring list;
    for (const std::wstring& name : names) {
        list += (list.empty() ? L"\"" : L" \"") + name + L"\"";
    }
    return TypeAndConfirm(dialog, names.size() == 1 ? names.front() : list);
}

bool ChooseInFolderPicker(HWND dialog, const std::wstring& folder) {
    if (!TypeAndConfirm(dialog, folder)) {
        return false;
    }
    // Some pickers open the typed folder first; confirming again then takes the folder shown.
    if (WaitUntil([&] { return !IsWindow(dialog); }, 3000)) {
        return true;
    }
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK))) != FALSE;
}

bool DropFiles(HWND window, const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& path : paths) {
        list += path;
        list.push_back(L'\0');
    }
    list.push_back(L'\0');
    DROPFILES header{};
    header.pFiles = sizeof(header);
    header.fWide = TRUE;
    std::vector<char> block(sizeof(header) + list.size() * sizeof(wchar_t));
    std::memcpy(block.data(), &header, sizeof(header));
    std::memcpy(block.data() + sizeof(header), list.data(), list.size() * sizeof(wchar_t));
    // Wine hands a WM_DROPFILES handle to another process unchanged, so a list made here arrives
    // empty (measured). It is written into the program's own memory instead, where GlobalLock takes
    // the aligned block as fixed memory, and stays there until the drop has been handled.
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const UniqueHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId));
    if (!process.valid()) {
        return false;
    }
    const RemoteBlock remote(process.get(), block.size());
    return remote.get() != nullptr &&
           WriteProcessMemory(process.get(), remote.get(), block.data(), block.size(), nullptr) &&
           SendWithin(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote.get()), 0);
}

bool AcceptsDrops(HWND window) {
    return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
}

std::wstring ApplicationPath() {
    // A cross build hands over the path on the build machine, which wine sees as drive Z.
    std::wstring path = std::filesystem::path(VESKO_APP_EXE).wstring();
    if (!path.empty() && path.front() == L'/') {
        path.insert(0, L"Z:");
    }
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return path;
}

RunningApp::RunningApp(const std::vector<std::wstring>& arguments) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + ApplicationPath() + L"\"";
    for (const std::wstring& argument : arguments) {
        commandLine += L" \"" + argument + L"\"";
    }
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return;
    }
    process_.reset(info.hProcess);
    const UniqueHandle thread(info.hThread);
    processId_ = info.dwProcessId;
    mainWindow_ = WaitForTopWindow(processId_, L"VESKO_NSZ_Converter", L"", kStartTimeoutMs);
}

RunningApp::~RunningApp() {
    if (process_.valid() && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        // A scenario that failed half way leaves the program running: end it, without a trace.
        TerminateProcess(process_.get(), 99);
        WaitForSingleObject(process_.get(), 10000);
    }
}

DWORD RunningApp::waitForExit(DWORD timeoutMs) {
    if (!process_.valid() || WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) {
        return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

std::size_t TemporaryOutputsIn(const std::wstring& folder) {
    std::size_t count = 0;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        const std::wstring name = entry.path().filename().wstring();
        if (name.rfind(L".vesko-", 0) == 0 && name.size() > 4 &&
            name.compare(name.size() - 4, 4, L".tmp") == 0) {
            ++count;
        }
    }
    return count;
}

std::size_t JournalsNaming(const std::wstring& folder) {
    std::size_t count = 0;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(RecoveryDirectory(), ignored)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // The recorded path starts at byte 44, in UTF-16.
        std::wstring recorded;
        for (std::size_t i = 44; i + 1 < bytes.size(); i += 2) {
            recorded += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8);
        }
        if (recorded.find(folder) != std::wstring::npos) {
            ++count;
        }
    }
    return count;
}

} // namespace vesko::ui_driver
