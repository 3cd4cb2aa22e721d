#include "app/Intake.h"

#include "app/Application.h"
#include "app/Dialogs.h"
#include "app/FileIntake.h"
#include "app/MainWindow.h"
#include "app/OutputPath.h"
#include "engine/Paths.h"
#include "storage/UniqueFindHandle.h"

#include <shellapi.h>

#include <string>
#include <vector>

namespace vesko {
namespace {

// Both take full paths, in the long form: past MAX_PATH only that reaches the file.
PathKind KindOf(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(ToLongPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return PathKind::Missing;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder : PathKind::File;
}

std::vector<std::wstring> FileNamesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    const UniqueFindHandle find(FindFirstFileW(JoinPath(ToLongPath(folder), L"*").c_str(), &entry));
    if (!find.valid()) {
        return names;
    }
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.emplace_back(entry.cFileName);
        }
    } while (FindNextFileW(find.get(), &entry));
    return names;
}

void TakeFiles(const std::vector<std::wstring>& named) {
    std::vector<std::wstring> fullPaths;
    for (const std::wstring& path : named) {
        // A relative name is relative to the folder the program was started in.
        try {
            fullPaths.push_back(ToFullPath(path));
        } catch (const std::exception&) {
        }
    }
    std::vector<std::wstring> files = NszFilesAmong(fullPaths, PathLookup{KindOf, FileNamesIn});
    Application& app = App();
    switch (IntakeFor(app.state, files)) {
    case IntakeCommand::Refuse:
        break;
    case IntakeCommand::NothingTaken:
        ApplyNothingTaken(app.state);
        RefreshControls();
        InvalidateMainWindow();
        break;
    case IntakeCommand::Select:
        SelectFiles(std::move(files));
        break;
    }
}

} // namespace

void TakeDroppedFiles(const DropOwner& drop) {
    // Checked before the list is read: a batch owns the selection until it ends.
    if (IntakeFor(App().state, {}) == IntakeCommand::Refuse) {
        return;
    }
    const UINT count = DragQueryFileW(drop.get(), 0xFFFFFFFF, nullptr, 0);
    std::vector<std::wstring> named;
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop.get(), i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        path.resize(DragQueryFileW(drop.get(), i, path.data(), length + 1));
        named.push_back(std::move(path));
    }
    TakeFiles(named);
}

void TakeCommandLineFiles() {
    int count = 0;
    const LocalMemOwner arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!arguments || count < 2) {
        return;
    }
    const auto* argv = static_cast<const LPWSTR*>(arguments.get());
    // The first argument is the program itself.
    TakeFiles(std::vector<std::wstring>(argv + 1, argv + count));
}

} // namespace vesko
