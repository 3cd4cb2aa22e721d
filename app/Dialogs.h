// The program's dialogs with Windows and its hand-offs to the shell.
#pragma once

#include "app/BatchFlow.h"

#include <string>
#include <vector>

namespace vesko {

void ChooseNszFiles();

// Makes files the selection, as the open dialog does when files are chosen in it.
void SelectFiles(std::vector<std::wstring> files);

struct FolderChoice {
    FolderAnswer answer = FolderAnswer::NoFolder;
    std::wstring folder;
};
FolderChoice AskForOutputFolder(const std::wstring& question);

// Shows the path's file selected in Explorer; an empty path means the last saved NSP.
void OpenOutputFolder(const std::wstring& path);

void OpenMakerSite();

} // namespace vesko
