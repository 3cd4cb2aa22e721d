// The batch's decisions on the user-interface thread: starting, launching a file, cancelling, and
// what follows when a worker has finished. The Win32 side only carries out the returned step.
#pragma once

#include "app/MainWindowState.h"
#include "app/WorkerShared.h"

#include <string>
#include <vector>

namespace vesko {

// Copies the selection into a new batch and marks it active.
void BeginBatch(MainWindowState& state, bool deleteSources);

// Everything LaunchCurrent does before the thread exists; returns the task for the worker.
ConversionTask BeginCurrentFile(MainWindowState& state, WorkerShared& shared);

// Asks the running conversion to stop (the caller also cuts blocked I/O short).
void MarkCancelRequested(MainWindowState& state, WorkerShared& shared);

enum class AfterWorker { DestroyWindow, FinishBatch, AskForOutputFolder, LaunchCurrent };

// Takes the published outcome (under outcomeLock) into the window's state.
struct TakenOutcome {
    WorkerOutcomeCode code = OutcomeConverted;
    BatchItemResult item;
};
TakenOutcome TakeOutcome(MainWindowState& state, WorkerShared& shared);

// The decision after a worker's end. For AskForOutputFolder the item is left with the caller, who
// asks and then calls ApplyFolderAnswer with it.
AfterWorker ApplyWorkerOutcome(MainWindowState& state, TakenOutcome& taken, bool cancelRequested);

enum class FolderAnswer { Chosen, NoFolder, PickerFailed };
AfterWorker ApplyFolderAnswer(MainWindowState& state, BatchItemResult item, FolderAnswer answer,
                              const std::wstring& folder);

// A new selection from the file dialog; singleFileSize is used only for a single file.
void ApplySelection(MainWindowState& state, WorkerShared& shared, std::vector<std::wstring> files,
                    std::uint64_t singleFileSize);

// The file dialog's buffer: one full path, or a folder followed by names, each ended by a NUL and
// the whole list by an empty string.
std::vector<std::wstring> ParseOpenFileBuffer(const wchar_t* buffer, std::size_t capacity);

} // namespace vesko
