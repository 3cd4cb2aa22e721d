// What the window's taskbar button shows for the state of a batch.
#pragma once

#include "app/MainWindowState.h"
#include "app/WindowView.h"

#include <cstdint>

namespace vesko {

enum class TaskbarMode { None, Normal, Paused, Error };

struct TaskbarLook {
    TaskbarMode mode = TaskbarMode::None;
    std::uint64_t completed = 0;
    std::uint64_t total = 0;
    bool operator==(const TaskbarLook&) const = default;
};

// The whole batch is one bar: each file an equal share, the current one filled as far as its own bar.
// Normal while converting, Error once a file of the batch has failed, Paused while cancelling or
// while a question waits for the user (between files, or the dialog at the end of a batch that
// went wrong); cleared otherwise.
TaskbarLook TaskbarLookFor(const MainWindowState& state, const ProgressSnapshot& progress,
                           bool endDialogOpen);

} // namespace vesko
