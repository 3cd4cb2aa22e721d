// Deletion through an open handle: the file disappears when its last handle closes.
#pragma once

#include <windows.h>

namespace vesko {

// Marks the file of `handle` (opened with DELETE access) for deletion; false when the system refused.
bool MarkForDeletion(HANDLE handle);

} // namespace vesko
