#include "app/BatchFlow.h"

#include "app/OutputPath.h"
#include "ui/Texts.h"

#include <utility>

namespace vesko {

void BeginBatch(MainWindowState& state, bool deleteSources) {
    std::vector<std::wstring> files = state.selectedFiles;
    StartBatch(state.batch, std::move(files), deleteSources);
    state.batchActive = true;
}

ConversionTask BeginCurrentFile(MainWindowState& state, WorkerShared& shared) {
    state.currentSource = state.batch.files.at(static_cast<std::size_t>(state.batch.index));
    // The size under the name belongs to single selections only.
    if (state.selectedFiles.size() >= 2) {
        state.currentFileSize = 0;
    }
    state.isConverting = true;
    state.showError = false;
    state.showDone = false;
    state.showWarning = false;
    shared.cancelRequested.store(0);
    shared.workerFinished.store(false);
    shared.progressWritten.store(0);
    shared.progressTotal.store(0);
    shared.progressPhase.store(0);
    state.statusText = Text(TextKey::TextPreparingFile);
    return ConversionTask{state.currentSource, state.outputFolderOverride, state.batch.deleteSources};
}

void MarkCancelRequested(MainWindowState& state, WorkerShared& shared) {
    shared.cancelRequested.store(1);
    state.statusText = Text(TextKey::TextCancelling);
}

TakenOutcome TakeOutcome(MainWindowState& state, WorkerShared& shared) {
    TakenOutcome taken;
    std::lock_guard<std::mutex> lock(shared.outcomeLock);
    state.statusText = shared.outcome.statusText;
    taken.item = std::move(shared.outcome.item);
    shared.outcome.item = BatchItemResult{};
    taken.code = shared.outcome.code;
    return taken;
}

AfterWorker ApplyWorkerOutcome(MainWindowState& state, TakenOutcome& taken, bool cancelRequested) {
    state.isConverting = false;
    if (state.closeRequested) {
        return AfterWorker::DestroyWindow;
    }
    BatchState& batch = state.batch;
    if (taken.code == OutcomeCancelled) {
        // The cancelled file is not recorded: it counts as not processed.
        batch.stopped = true;
        state.statusText = Text(TextKey::TextConversionCancelled);
        return AfterWorker::FinishBatch;
    }
    if (taken.code == OutcomeDestinationFailed && !cancelRequested) {
        return AfterWorker::AskForOutputFolder;
    }
    if (taken.item.saved != 0) {
        state.lastSavedOutput = taken.item.outputPath;
    }
    RecordBatchResult(batch, std::move(taken.item));
    if (cancelRequested) {
        batch.stopped = true;
        return AfterWorker::FinishBatch;
    }
    if (!batch.stopped && batch.index < batch.files.size()) {
        return AfterWorker::LaunchCurrent;
    }
    return AfterWorker::FinishBatch;
}

AfterWorker ApplyFolderAnswer(MainWindowState& state, BatchItemResult item, FolderAnswer answer,
                              const std::wstring& folder) {
    if (answer == FolderAnswer::Chosen) {
        // Same file again, nothing recorded; the folder stays until a new selection.
        state.outputFolderOverride = folder;
        return AfterWorker::LaunchCurrent;
    }
    if (answer == FolderAnswer::PickerFailed) {
        state.statusText = Text(TextKey::TextErrFolderPicker);
    }
    item.message += L"\n";
    item.message += Text(answer == FolderAnswer::PickerFailed ? TextKey::TextErrFolderPicker
                                                              : TextKey::TextNoFolderSelected);
    RecordBatchResult(state.batch, std::move(item));
    state.batch.stopped = true;
    return AfterWorker::FinishBatch;
}

void ApplySelection(MainWindowState& state, WorkerShared& shared, std::vector<std::wstring> files,
                    std::uint64_t singleFileSize) {
    state.selectedFiles = std::move(files);
    state.currentSource = state.selectedFiles.empty() ? std::wstring() : state.selectedFiles.front();
    state.lastSavedOutput.clear();
    state.outputFolderOverride.clear();
    state.currentFileSize = state.selectedFiles.size() == 1 ? singleFileSize : 0;
    state.showDone = false;
    state.showError = false;
    state.showWarning = false;
    shared.progressWritten.store(0);
    shared.progressTotal.store(0);
    state.statusText = Text(TextKey::TextSavedAlongside);
}

std::vector<std::wstring> ParseOpenFileBuffer(const wchar_t* buffer, std::size_t capacity) {
    std::vector<std::wstring> strings;
    std::size_t at = 0;
    while (at < capacity && buffer[at] != L'\0') {
        std::size_t end = at;
        while (end < capacity && buffer[end] != L'\0') {
            ++end;
        }
        strings.emplace_back(buffer + at, buffer + end);
        at = end + 1;
    }
    if (strings.size() <= 1) {
        return strings;
    }
    std::vector<std::wstring> files;
    for (std::size_t i = 1; i < strings.size(); ++i) {
        files.push_back(JoinPath(strings.front(), strings[i]));
    }
    return files;
}

} // namespace vesko
