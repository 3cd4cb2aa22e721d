// The program's dialogs with Windows and its hand-offs to the shell.
#pragma once

#include "app/BatchFlow.h"

#include <string>

namespace vesko {

void ChooseNszFiles();

struct FolderChoice {
    FolderAnswer answer = FolderAnswer::NoFolder;
    std::wstring folder;
};
FolderChoice AskForOutputFolder(const std::wstring& question);

// Shows the path's file selected in Explorer; an empty path means the last saved NSP.
void OpenOutputFolder(const std::wstring& path);

void OpenMakerSite();

} // namespace vesko
