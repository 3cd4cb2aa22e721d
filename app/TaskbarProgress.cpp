#include "app/TaskbarProgress.h"

#include <algorithm>

namespace vesko {
namespace {

// Steps per file: fine enough for a bar a few hundred pixels long.
constexpr std::uint64_t kStepsPerFile = 1000;

} // namespace

TaskbarLook TaskbarLookFor(const MainWindowState& state, const ProgressSnapshot& progress,
                           bool endDialogOpen) {
    const BatchState& batch = state.batch;
    if (!state.batchActive && !state.isConverting) {
        if (!endDialogOpen || (batch.failedCount == 0 && batch.keptCount == 0)) {
            return {};
        }
        return TaskbarLook{batch.failedCount != 0 ? TaskbarMode::Error : TaskbarMode::Paused, 1, 1};
    }
    const std::uint64_t files = std::max<std::uint64_t>(batch.files.size(), 1);
    std::uint64_t completed = std::min<std::uint64_t>(batch.index, files) * kStepsPerFile;
    if (state.isConverting) {
        completed += static_cast<std::uint64_t>(ProgressBarFor(state, progress).fraction *
                                                static_cast<double>(kStepsPerFile));
    }
    TaskbarMode mode = TaskbarMode::Normal;
    if (progress.cancelRequested || state.closeRequested || !state.isConverting) {
        mode = TaskbarMode::Paused;
    } else if (batch.failedCount != 0) {
        mode = TaskbarMode::Error;
    }
    return TaskbarLook{mode, std::min(completed, files * kStepsPerFile), files * kStepsPerFile};
}

} // namespace vesko
