// Files handed to the window from outside the open dialog: dropped on it, or named on the command
// line ("Open with", "Send to", a file association).
#pragma once

#include "app/Owners.h"

namespace vesko {

void TakeDroppedFiles(const DropOwner& drop);

// The program's own command line; nothing happens when it names no file.
void TakeCommandLineFiles();

} // namespace vesko
