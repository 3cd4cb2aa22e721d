// The main window's own record; only the user-interface thread reads or writes it.
#pragma once

#include "app/BatchState.h"
#include "app/HoverFade.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vesko {

struct MainWindowState {
    std::uint32_t dpi = 96;
    std::vector<std::wstring> selectedFiles;
    std::wstring currentSource;
    std::uint64_t currentFileSize = 0;
    std::wstring lastSavedOutput;
    std::wstring outputFolderOverride;
    std::wstring statusText;
    bool isConverting = false;
    bool batchActive = false;
    bool closeRequested = false;
    bool showDone = false;
    bool showError = false;
    bool showWarning = false;
    // The push button under the mouse, by control id (0: none), so the record needs no window type.
    int hoveredControl = 0;
    HoverFade hover;
    bool animationsEnabled = true;
    BatchState batch;
};

} // namespace vesko
