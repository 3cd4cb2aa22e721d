// The main window's procedure and the helpers its commands share.
#pragma once

#include <windows.h>

namespace vesko {

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Sets the controls' enabled states and the action caption from the window's state.
void RefreshControls();

// Repaints the whole client area (never erasing).
void InvalidateMainWindow();

// The flags a message box needs in the current reading direction.
UINT MessageBoxDirection();

} // namespace vesko
