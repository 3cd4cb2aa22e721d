#include "app/BatchFlow.h"
#include "app/FinishBatchPlan.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {

// Drives the user-interface side of a batch the way the window does, with scripted worker outcomes.
class BatchFlowTest : public testing::Test {
  protected:
    BatchFlowTest() : english_(InterfaceLanguage::English) {}

    void Select(std::vector<std::wstring> files) { ApplySelection(state, shared, std::move(files), 1234); }

    void Start(bool deleteSources = false) {
        BeginBatch(state, deleteSources);
        lastTask = BeginCurrentFile(state, shared);
    }

    // The worker's end as OnWorkerFinished sees it.
    AfterWorker Finish(WorkerOutcomeCode code, bool saved, std::wstring message = L"msg") {
        {
            std::lock_guard<std::mutex> lock(shared.outcomeLock);
            shared.outcome.code = code;
            shared.outcome.statusText = message;
            shared.outcome.item = BatchItemResult{};
            shared.outcome.item.saved = saved ? 1 : 0;
            shared.outcome.item.message = message;
            shared.outcome.item.outputPath = saved ? L"C:\\out\\" + message + L".nsp" : L"";
        }
        shared.workerFinished.store(true);
        taken = TakeOutcome(state, shared);
        const AfterWorker next = ApplyWorkerOutcome(state, taken, IsCancelRequested(&shared.cancelRequested));
        if (next == AfterWorker::LaunchCurrent) {
            lastTask = BeginCurrentFile(state, shared);
        }
        return next;
    }

    ScopedInterfaceLanguage english_;
    MainWindowState state;
    WorkerShared shared;
    ConversionTask lastTask;
    TakenOutcome taken;
};

TEST_F(BatchFlowTest, OneOrTwoFilesThatConvert) {
    // The size under the name belongs to a single selection: two files are the first without it.
    const std::pair<std::size_t, AfterWorker> cases[] = {{1, AfterWorker::FinishBatch},
                                                         {2, AfterWorker::LaunchCurrent}};
    for (const auto& [count, afterFirst] : cases) {
        SCOPED_TRACE(count);
        state = MainWindowState{};
        std::vector<std::wstring> files = {L"C:\\g\\game.nsz", L"C:\\g\\b.nsz"};
        files.resize(count);
        Select(files);
        EXPECT_EQ(state.currentFileSize, count == 1 ? 1234u : 0u);
        state.currentFileSize = 1234;
        shared.progressWritten.store(5);
        shared.progressTotal.store(9);
        shared.progressPhase.store(1);
        Start();
        // A new file starts its progress from nothing.
        EXPECT_EQ(shared.progressWritten.load(), 0u);
        EXPECT_EQ(shared.progressTotal.load(), 0u);
        EXPECT_EQ(shared.progressPhase.load(), 0);
        EXPECT_TRUE(state.isConverting);
        EXPECT_TRUE(state.batchActive);
        EXPECT_EQ(state.statusText, L"Preparing file…");
        EXPECT_EQ(lastTask.sourcePath, L"C:\\g\\game.nsz");
        EXPECT_EQ(state.currentFileSize, count == 1 ? 1234u : 0u);
        EXPECT_EQ(Finish(OutcomeConverted, true, L"game"), afterFirst);
        EXPECT_EQ(state.batch.results.size(), 1u);
        EXPECT_EQ(state.lastSavedOutput, L"C:\\out\\game.nsp");
        EXPECT_EQ(state.isConverting, count == 2);
    }
}

TEST_F(BatchFlowTest, SecondOfThreeFailsAndTheThirdStillRuns) {
    Select({L"a.nsz", L"b.nsz", L"c.nsz"});
    EXPECT_EQ(state.currentFileSize, 0u);
    Start();
    EXPECT_EQ(Finish(OutcomeConverted, true, L"a"), AfterWorker::LaunchCurrent);
    EXPECT_EQ(lastTask.sourcePath, L"b.nsz");
    EXPECT_EQ(Finish(OutcomeFailed, false), AfterWorker::LaunchCurrent);
    EXPECT_EQ(lastTask.sourcePath, L"c.nsz");
    EXPECT_EQ(Finish(OutcomeConverted, true, L"c"), AfterWorker::FinishBatch);
    EXPECT_EQ(state.batch.savedCount, 2u);
    EXPECT_EQ(state.batch.failedCount, 1u);
    EXPECT_EQ(state.lastSavedOutput, L"C:\\out\\c.nsp");
}

TEST_F(BatchFlowTest, CancelDuringTheFirstRecordsNothing) {
    Select({L"a.nsz", L"b.nsz", L"c.nsz"});
    Start();
    MarkCancelRequested(state, shared);
    EXPECT_EQ(state.statusText, L"Cancelling…");
    EXPECT_EQ(Finish(OutcomeCancelled, false, L"Conversion cancelled."), AfterWorker::FinishBatch);
    EXPECT_TRUE(state.batch.results.empty());
    EXPECT_TRUE(state.batch.stopped);
    EXPECT_EQ(state.statusText, L"Conversion cancelled.");
}

TEST_F(BatchFlowTest, CancelAsAFileCompletesRecordsItAndStops) {
    Select({L"a.nsz", L"b.nsz"});
    Start();
    MarkCancelRequested(state, shared);
    EXPECT_EQ(Finish(OutcomeConverted, true, L"a"), AfterWorker::FinishBatch);
    EXPECT_EQ(state.batch.savedCount, 1u);
    EXPECT_TRUE(state.batch.stopped);
}

TEST_F(BatchFlowTest, DestinationFailureWithAChosenFolderRestartsTheSameFile) {
    Select({L"C:\\in\\a.nsz", L"C:\\in\\b.nsz"});
    Start();
    EXPECT_EQ(Finish(OutcomeDestinationFailed, false, L"Cannot write"), AfterWorker::AskForOutputFolder);
    EXPECT_TRUE(state.batch.results.empty());
    EXPECT_EQ(ApplyFolderAnswer(state, std::move(taken.item), FolderAnswer::Chosen, L"D:\\other"),
              AfterWorker::LaunchCurrent);
    lastTask = BeginCurrentFile(state, shared);
    EXPECT_EQ(lastTask.sourcePath, L"C:\\in\\a.nsz");
    EXPECT_EQ(lastTask.outputFolder, L"D:\\other");
    EXPECT_TRUE(state.batch.results.empty());
    EXPECT_EQ(Finish(OutcomeConverted, true, L"a"), AfterWorker::LaunchCurrent);
    EXPECT_EQ(lastTask.outputFolder, L"D:\\other"); // later files go there too
}

TEST_F(BatchFlowTest, DestinationFailureDeclinedStopsTheBatch) {
    struct Case {
        FolderAnswer answer;
        std::wstring line;
        std::wstring status;
    };
    const Case cases[] = {
        {FolderAnswer::NoFolder, L"No folder selected. Conversion stopped.", L"Cannot write"},
        {FolderAnswer::PickerFailed, L"Could not open the folder selector. Restart the app and try again.",
         L"Could not open the folder selector. Restart the app and try again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        state = MainWindowState{};
        Select({L"a.nsz", L"b.nsz", L"c.nsz"});
        Start();
        ASSERT_EQ(Finish(OutcomeDestinationFailed, false, L"Cannot write"), AfterWorker::AskForOutputFolder);
        EXPECT_EQ(ApplyFolderAnswer(state, std::move(taken.item), c.answer, L""), AfterWorker::FinishBatch);
        ASSERT_EQ(state.batch.results.size(), 1u);
        EXPECT_EQ(state.batch.results[0].message, L"Cannot write\n" + c.line);
        EXPECT_TRUE(state.batch.stopped);
        EXPECT_EQ(state.statusText, c.status);
        const FinishBatchPlan plan = PlanFinishBatch(state.batch, false);
        EXPECT_EQ(plan.statusText, L"Saved: 0 · Failed: 1 · Not processed: 2");
    }
}

TEST_F(BatchFlowTest, DestinationFailureWhileCancellingAsksNothing) {
    Select({L"a.nsz", L"b.nsz"});
    Start();
    MarkCancelRequested(state, shared);
    EXPECT_EQ(Finish(OutcomeDestinationFailed, false), AfterWorker::FinishBatch);
    EXPECT_EQ(state.batch.failedCount, 1u);
    EXPECT_TRUE(state.batch.stopped);
}

TEST_F(BatchFlowTest, ClosingDuringAConversionDestroysWithoutRecording) {
    Select({L"a.nsz"});
    Start();
    state.closeRequested = true;
    MarkCancelRequested(state, shared);
    EXPECT_EQ(Finish(OutcomeCancelled, false), AfterWorker::DestroyWindow);
    EXPECT_TRUE(state.batch.results.empty());
}

TEST_F(BatchFlowTest, NewSelectionClearsOverrideLastOutputAndProgress) {
    Select({L"a.nsz"});
    state.outputFolderOverride = L"D:\\x";
    state.lastSavedOutput = L"D:\\x\\a.nsp";
    state.showError = true;
    shared.progressTotal.store(10);
    Select({L"b.nsz", L"c.nsz"});
    EXPECT_TRUE(state.outputFolderOverride.empty());
    EXPECT_TRUE(state.lastSavedOutput.empty());
    EXPECT_FALSE(state.showError);
    EXPECT_EQ(shared.progressTotal.load(), 0u);
    EXPECT_EQ(state.currentSource, L"b.nsz");
    EXPECT_EQ(state.statusText, L"NSP files will be saved alongside their source files.");
}

TEST(ParseOpenFileBuffer, SingleAndMultipleSelections) {
    struct Case {
        const char* name;
        std::wstring buffer;
        std::vector<std::wstring> expected;
    };
    using namespace std::string_literals;
    const Case cases[] = {
        {"one file", L"C:\\d\\a.nsz\0\0"s, {L"C:\\d\\a.nsz"}},
        {"three files",
         L"C:\\d\0a.nsz\0b.nsz\0c.nsz\0\0"s,
         {L"C:\\d\\a.nsz", L"C:\\d\\b.nsz", L"C:\\d\\c.nsz"}},
        {"drive root", L"C:\\\0a.nsz\0b.nsz\0\0"s, {L"C:\\a.nsz", L"C:\\b.nsz"}},
        {"empty", L"\0\0"s, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseOpenFileBuffer(c.buffer.data(), c.buffer.size()), c.expected);
    }
}

} // namespace
} // namespace vesko
