// What a drop on the window or the program's command line selects: the files the open dialog would
// have offered, taken exactly as a choice in that dialog.
#pragma once

#include "app/MainWindowState.h"

#include <functional>
#include <string>
#include <vector>

namespace vesko {

enum class PathKind { Missing, File, Folder };

// The file system as the selection sees it: Windows fills it in, tests hand in a table.
struct PathLookup {
    std::function<PathKind(const std::wstring& path)> kindOf;
    // The names of the files (not folders) directly inside a folder.
    std::function<std::vector<std::wstring>(const std::wstring& folder)> fileNamesIn;
};

// ".nsz" in any letter case, as the open dialog's filter matches it.
bool HasNszExtension(const std::wstring& path);

// The NSZ files among the given paths, in their order: a file when its extension matches, and a
// folder's NSZ files one level deep, in name order. Everything else is passed over, and a file named
// twice is taken once.
std::vector<std::wstring> NszFilesAmong(const std::vector<std::wstring>& paths, const PathLookup& lookup);

// What the window does with files handed to it: nothing while a batch runs (the selection belongs
// to the batch); a status line that says so when none of the items was an NSZ file; otherwise the
// files become the selection.
enum class IntakeCommand { Refuse, NothingTaken, Select };
IntakeCommand IntakeFor(const MainWindowState& state, const std::vector<std::wstring>& nszFiles);

// Nothing to take: the selection and the batch stay, the status line says why, in red as for a
// failed file dialog.
void ApplyNothingTaken(MainWindowState& state);

} // namespace vesko
