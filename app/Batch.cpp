#include "app/Batch.h"

#include "app/Application.h"
#include "app/BatchFlow.h"
#include "app/ConversionWorker.h"
#include "app/Dialogs.h"
#include "app/Layout.h"
#include "app/MainWindow.h"
#include "convert/ConvertNszToNsp.h"

#ifdef __MINGW32__
#include <pthread.h>
#endif

#include <memory>
#include <thread>
#include <utility>

namespace vesko {
namespace {

// The Windows handle of the worker thread, borrowed from the std::thread (not to be closed).
HANDLE WorkerThreadHandle(std::thread& thread) {
#ifdef __MINGW32__
    // With the posix thread model native_handle() is a winpthreads id, not a Windows handle.
    return pthread_gethandle(thread.native_handle());
#else
    return static_cast<HANDLE>(thread.native_handle());
#endif
}

void RunWorker(std::unique_ptr<ConversionTask> task) {
    ConversionWorker(std::move(task), App().shared, ConvertFunction(&ConvertNszToNsp));
}

} // namespace

void CancelWorkerIo() {
    WorkerShared& shared = App().shared;
    if (shared.workerThread.joinable()) {
        CancelSynchronousIo(WorkerThreadHandle(shared.workerThread));
    }
}

void StartBatchFromSelection() {
    Application& app = App();
    const bool deleteSources = SendMessageW(app.deleteSourcesCheckbox, BM_GETCHECK, 0, 0) == BST_CHECKED;
    BeginBatch(app.state, deleteSources);
    LaunchCurrent();
}

void LaunchCurrent() {
    Application& app = App();
    ConversionTask task = BeginCurrentFile(app.state, app.shared);
    RefreshControls();
    InvalidateMainWindow();
    try {
        auto owned = std::make_unique<ConversionTask>(std::move(task));
        if (app.shared.workerThread.joinable()) {
            app.shared.workerThread.join();
        }
        app.shared.workerThread = std::thread(RunWorker, std::move(owned));
    } catch (...) {
        // Reported through the poll like any failed file, so the batch goes on with the next one.
        PublishStartFailure(app.shared);
    }
}

void RequestCancel() {
    Application& app = App();
    MarkCancelRequested(app.state, app.shared);
    RefreshControls();
    if (!app.shared.workerFinished.load()) {
        CancelWorkerIo();
    }
    InvalidateMainWindow();
}

void OnWorkerFinished() {
    Application& app = App();
    if (app.shared.workerThread.joinable()) {
        app.shared.workerThread.join();
    }
    TakenOutcome taken = TakeOutcome(app.state, app.shared);
    AfterWorker next = ApplyWorkerOutcome(app.state, taken, IsCancelRequested(&app.shared.cancelRequested));
    if (next == AfterWorker::AskForOutputFolder) {
        // The bar goes while the question is open.
        app.shared.progressWritten.store(0);
        app.shared.progressTotal.store(0);
        RefreshControls();
        InvalidateMainWindow();
        const FolderChoice choice = AskForOutputFolder(app.state.statusText);
        next = app.state.closeRequested
                   ? AfterWorker::DestroyWindow
                   : ApplyFolderAnswer(app.state, std::move(taken.item), choice.answer, choice.folder);
    }
    switch (next) {
    case AfterWorker::DestroyWindow:
        DestroyWindow(app.mainWindow);
        break;
    case AfterWorker::LaunchCurrent:
        LaunchCurrent();
        break;
    case AfterWorker::FinishBatch:
    case AfterWorker::AskForOutputFolder:
        FinishBatch();
        break;
    }
}

} // namespace vesko
