#include "app/FileIntake.h"

#include "app/OutputPath.h"
#include "ui/Texts.h"

#include <algorithm>
#include <cwctype>

namespace vesko {
namespace {

std::wstring Lowered(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    }
    return text;
}

void TakeOnce(std::vector<std::wstring>& taken, std::wstring path) {
    if (std::find(taken.begin(), taken.end(), path) == taken.end()) {
        taken.push_back(std::move(path));
    }
}

} // namespace

bool HasNszExtension(const std::wstring& path) {
    constexpr std::size_t kLength = 4;
    return path.size() > kLength && Lowered(path.substr(path.size() - kLength)) == L".nsz";
}

std::vector<std::wstring> NszFilesAmong(const std::vector<std::wstring>& paths, const PathLookup& lookup) {
    std::vector<std::wstring> taken;
    for (const std::wstring& path : paths) {
        switch (lookup.kindOf(path)) {
        case PathKind::File:
            if (HasNszExtension(path)) {
                TakeOnce(taken, path);
            }
            break;
        case PathKind::Folder: {
            std::vector<std::wstring> names = lookup.fileNamesIn(path);
            // Listing order depends on the file system; the user expects the order Explorer shows.
            std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
                const std::wstring la = Lowered(a);
                const std::wstring lb = Lowered(b);
                return la != lb ? la < lb : a < b;
            });
            for (const std::wstring& name : names) {
                if (HasNszExtension(name)) {
                    TakeOnce(taken, JoinPath(path, name));
                }
            }
            break;
        }
        case PathKind::Missing:
            break;
        }
    }
    return taken;
}

IntakeCommand IntakeFor(const MainWindowState& state, const std::vector<std::wstring>& nszFiles) {
    if (state.batchActive || state.isConverting || state.closeRequested) {
        return IntakeCommand::Refuse;
    }
    return nszFiles.empty() ? IntakeCommand::NothingTaken : IntakeCommand::Select;
}

void ApplyNothingTaken(MainWindowState& state) {
    state.showError = true;
    state.statusText = Text(TextKey::TextNoNszAmongItems);
}

} // namespace vesko
