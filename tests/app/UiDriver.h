// Drives the real application from outside as a person would, through window messages, and reads back.
#pragma once

#include "app/Owners.h"
#include "storage/UniqueHandle.h"
#include "tools/testfiles/NszBuilder.h"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vesko::ui_driver {

// Generous bounds for waiting on the application; a wait that runs out is a failure, never a pass.
inline constexpr DWORD kStartTimeoutMs = 60000, kBatchTimeoutMs = 180000, kDialogTimeoutMs = 30000;
inline constexpr int kChoose = 101, kAction = 102, kPromo = 103, kDeleteSources = 104;

template <typename Condition> bool WaitUntil(Condition condition, DWORD timeoutMs) {
    bool met = false;
    for (const auto end = GetTickCount64() + timeoutMs; !(met = condition()) && GetTickCount64() < end;) {
        Sleep(20);
    }
    return met;
}

inline bool SendWithin(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result = nullptr) {
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 15000, result) != 0;
}

inline std::wstring TextOf(HWND window) {
    wchar_t text[4096] = {};
    DWORD_PTR copied = 0;
    return std::wstring(
        text, SendWithin(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), &copied) ? copied : 0);
}

// A visible top-level window of the process with this class (and title, when not empty), or null.
inline HWND WaitForTopWindow(DWORD processId, const std::wstring& className, const std::wstring& title,
                             DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            DWORD owner = 0;
            while ((found = FindWindowExW(nullptr, found, className.c_str(), nullptr)) != nullptr &&
                   (GetWindowThreadProcessId(found, &owner) == 0 || owner != processId ||
                    !IsWindowVisible(found) || (!title.empty() && TextOf(found) != title))) {
            }
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

template <typename Visit> void ForEachChild(HWND window, Visit visit) {
    EnumChildWindows(
        window, [](HWND child, LPARAM at) -> BOOL { return (*reinterpret_cast<Visit*>(at))(child); },
        reinterpret_cast<LPARAM>(&visit));
}

inline bool PostClick(HWND dialog, int button, bool fromControl = true) {
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                        fromControl ? reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)) : 0) != FALSE;
}

// Presses a control the way a click would arrive (refused when it is disabled or hidden).
inline bool Press(HWND parent, int controlId) {
    HWND control = GetDlgItem(parent, controlId);
    return IsWindowEnabled(control) && IsWindowVisible(control) && PostClick(parent, controlId);
}

inline bool Dismiss(HWND dialog, int button) {
    return dialog != nullptr && PostClick(dialog, button, false) &&
           WaitUntil([&] { return !IsWindow(dialog); }, kDialogTimeoutMs);
}

// The file name field of an open or folder dialog: its first visible, enabled edit box.
inline HWND FileNameField(HWND dialog) {
    HWND found = nullptr;
    ForEachChild(dialog, [&](HWND child) {
        wchar_t name[8] = {};
        const bool edit = GetClassNameW(child, name, 8) == 4 && std::wstring(name) == L"Edit" &&
                          IsWindowVisible(child) && IsWindowEnabled(child);
        found = edit ? child : found;
        return !edit;
    });
    return found;
}

// Posted: confirming may end the dialog, and the application goes on from there.
inline bool TypeAndConfirm(HWND dialog, const std::wstring& text) {
    return SendWithin(FileNameField(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) &&
           PostClick(dialog, IDOK);
}

// Drops files and folders on a window as Explorer does; returns once the window has handled the drop.
inline bool DropFiles(HWND window, const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& path : paths) {
        list += path + L'\0';
    }
    list.push_back(L'\0');
    const DROPFILES header{sizeof(DROPFILES), {}, FALSE, TRUE};
    const std::size_t size = sizeof(header) + list.size() * sizeof(wchar_t);
    // Wine passes the handle to another process unchanged: the block goes into the program's memory,
    // where GlobalLock takes it as fixed memory.
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const UniqueHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId));
    const auto release = [&](void* at) { VirtualFreeEx(process.get(), at, 0, MEM_RELEASE); };
    const std::unique_ptr<void, decltype(release)> remote(
        process.valid()
            ? VirtualAllocEx(process.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
            : nullptr,
        release);
    return remote != nullptr &&
           WriteProcessMemory(process.get(), remote.get(), &header, sizeof(header), nullptr) &&
           WriteProcessMemory(process.get(), static_cast<char*>(remote.get()) + sizeof(header), list.data(),
                              size - sizeof(header), nullptr) &&
           SendWithin(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote.get()), 0);
}

// Whether the window takes dropped files now (what Explorer asks before it offers a drop).
inline bool AcceptsDrops(HWND window) {
    return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
}

inline COLORREF ScreenPixel(POINT at) {
    const WindowDcScope screen(nullptr);
    return GetPixel(screen.dc(), at.x, at.y);
}

inline std::wstring ApplicationPath() {
    // A cross build hands over the path on the build machine, which wine sees as drive Z.
    std::wstring path = std::filesystem::path(VESKO_APP_EXE).wstring();
    path.insert(0, !path.empty() && path.front() == L'/' ? L"Z:" : L"");
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// The application under test, started with its own process and ended when this object goes.
class RunningApp {
  public:
    // Each argument is passed quoted, as the shell passes files to "Open with".
    explicit RunningApp(const std::vector<std::wstring>& arguments = {}) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        std::wstring commandLine = L"\"" + ApplicationPath() + L"\"";
        for (const std::wstring& argument : arguments) {
            commandLine += L" \"" + argument + L"\"";
        }
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &info)) {
            process_.reset(info.hProcess);
            const UniqueHandle thread(info.hThread);
            processId_ = info.dwProcessId;
            mainWindow_ = WaitForTopWindow(processId_, L"VESKO_NSZ_Converter", L"", kStartTimeoutMs);
        }
    }
    ~RunningApp() {
        // A scenario that failed half way leaves the program running: end it, without a trace.
        if (process_.valid() && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 99);
            WaitForSingleObject(process_.get(), 10000);
        }
    }

    bool started() const { return mainWindow_ != nullptr; }
    DWORD processId() const { return processId_; }
    HWND mainWindow() const { return mainWindow_; }
    HWND control(int id) const { return GetDlgItem(mainWindow_, id); }
    // Waits for the process to end; its exit code, or STILL_ACTIVE when it did not end in time.
    DWORD waitForExit(DWORD timeoutMs) {
        DWORD code = STILL_ACTIVE;
        const bool done = process_.valid() && WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
        return done && GetExitCodeProcess(process_.get(), &code) ? code : STILL_ACTIVE;
    }
    DWORD close(DWORD timeoutMs = kStartTimeoutMs) {
        PostMessageW(mainWindow_, WM_CLOSE, 0, 0);
        return waitForExit(timeoutMs);
    }

  private:
    UniqueHandle process_;
    DWORD processId_ = 0;
    HWND mainWindow_ = nullptr;
};

template <typename Match> std::size_t CountIn(const std::wstring& folder, Match match) {
    std::size_t count = 0;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        count += match(entry.path()) ? 1 : 0;
    }
    return count;
}

inline std::size_t NspCount(const std::wstring& folder) {
    return CountIn(folder, [](const std::filesystem::path& path) { return path.extension() == L".nsp"; });
}

// Leftovers of reservations: temporary outputs in a folder, and journals that name that folder.
inline std::size_t TemporaryOutputsIn(const std::wstring& folder) {
    return CountIn(folder, [](const std::filesystem::path& path) {
        const std::wstring name = path.filename().wstring();
        return name.starts_with(L".vesko-") && name.ends_with(L".tmp");
    });
}

inline std::size_t JournalsNaming(const std::wstring& folder) {
    PWSTR appData = nullptr;
    const HRESULT found = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &appData);
    const CoTaskMemOwner owner(appData);
    const std::wstring journals =
        FAILED(found) ? L"" : std::wstring(appData) + L"\\VESKO\\ZARUvivuriza\\Recovery";
    return CountIn(journals, [&](const std::filesystem::path& path) {
        const std::vector<std::uint8_t> bytes = testfiles::ReadWholeFile(path.wstring());
        // The recorded path starts at byte 44, in UTF-16.
        const auto* text = reinterpret_cast<const wchar_t*>(bytes.data());
        return bytes.size() > 44 &&
               std::wstring(text + 22, text + bytes.size() / 2).find(folder) != std::wstring::npos;
    });
}

// Chooses files of one folder in the open dialog (English title unless given, "" for any), folder first.
inline bool ChooseFiles(const RunningApp& app, const std::wstring& folder,
                        const std::vector<std::wstring>& names,
                        const std::wstring& dialogTitle = L"Choose NSZ files") {
    HWND dialog = Press(app.mainWindow(), kChoose)
                      ? WaitForTopWindow(app.processId(), L"#32770", dialogTitle, kDialogTimeoutMs)
                      : nullptr;
    if (dialog == nullptr || !TypeAndConfirm(dialog, folder)) {
        return false;
    }
    // The field empties once the folder opens (or keeps the text, which the names replace).
    WaitUntil([&] { return FileNameField(dialog) != nullptr && TextOf(FileNameField(dialog)).empty(); },
              3000);
    std::wstring list;
    for (const std::wstring& name : names) {
        list += (list.empty() ? L"\"" : L" \"") + name + L"\"";
    }
    return TypeAndConfirm(dialog, names.size() == 1 ? names.front() : list) &&
           WaitUntil([&] { return !IsWindow(dialog) && IsWindowEnabled(app.control(kAction)); },
                     kDialogTimeoutMs);
}

// A small NSZ with one hash-named NCZ member and a metadata file, different for each seed.
inline testfiles::BuiltFiles SmallNsz(std::uint64_t seed) {
    testfiles::ContainerSpec package;
    package.members.resize(2);
    testfiles::MemberSpec &program = package.members[0], &meta = package.members[1];
    program.name = ".ncz";
    program.hashName = program.ncz = true;
    program.seed = meta.seed = seed;
    program.sections = {testfiles::MakeSection(0x30000, 3, seed)};
    meta.name = "meta.cnmt.xml";
    meta.size = 700;
    return testfiles::BuildNsz(package);
}

// An NSZ whose NSP is mostly zeros (crypto type 1 encrypts nothing): quick to build, slow to convert.
inline testfiles::BuiltFiles ZerosNsz(std::uint64_t mebibytes) {
    testfiles::ContainerSpec package;
    package.members.resize(1);
    package.members[0].name = ".ncz";
    package.members[0].ncz = true;
    package.members[0].content = testfiles::Content::Zeros;
    package.members[0].sections = {testfiles::MakeSection(mebibytes << 20, 1, 7)};
    package.keepNsp = false;
    return testfiles::BuildNsz(package);
}

} // namespace vesko::ui_driver
