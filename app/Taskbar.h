// The main window's taskbar button: batch progress, and a flash when a batch ends unseen.
#pragma once

namespace vesko {

// Shows what TaskbarLookFor decides for the current state, calling the shell only on a change.
// Where the taskbar interface is missing nothing is shown and nothing else changes.
void UpdateTaskbar();

// The shell made the button anew (Explorer restarted): the old interface is gone.
void ResetTaskbar();

// Flashes the taskbar button until the window comes to the foreground, when it is not there now.
void FlashIfInBackground();

} // namespace vesko
