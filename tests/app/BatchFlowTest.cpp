// A batch from the window's side, its bookkeeping, and where each output goes.
#include "app/BatchFlow.h"
#include "app/BatchState.h"
#include "app/FinishBatchPlan.h"
#include "app/OutputPath.h"
#include "engine/Paths.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace vesko {
namespace {
// Drives the user-interface side of a batch the way the window does, with scripted worker outcomes.
class BatchFlowTest : public testing::Test {
  protected:
    // Selects the files and starts a batch of them.
    void Start(std::vector<std::wstring> files, bool deleteSources = false) {
        state = MainWindowState{};
        ApplySelection(state, shared, std::move(files), 1234);
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

    ScopedInterfaceLanguage english_{InterfaceLanguage::English};
    MainWindowState state;
    WorkerShared shared;
    ConversionTask lastTask;
    TakenOutcome taken;
};

TEST_F(BatchFlowTest, OneOrTwoFilesThatConvert) {
    // The size under the name belongs to a single selection: two files are the first without it.
    for (std::size_t count : {1u, 2u}) {
        SCOPED_TRACE(count);
        std::vector<std::wstring> files = {L"C:\\g\\game.nsz", L"C:\\g\\b.nsz"};
        files.resize(count);
        state = MainWindowState{};
        ApplySelection(state, shared, files, 1234);
        EXPECT_EQ(state.currentFileSize, count == 1 ? 1234u : 0u);
        state.currentFileSize = 1234;
        shared.progressWritten.store(5);
        shared.progressTotal.store(9);
        shared.progressPhase.store(1);
        BeginBatch(state, false);
        lastTask = BeginCurrentFile(state, shared);
        // A new file starts its progress from nothing.
        EXPECT_EQ(shared.progressWritten.load() + shared.progressTotal.load(), 0u);
        EXPECT_EQ(shared.progressPhase.load(), 0);
        EXPECT_TRUE(state.isConverting && state.batchActive);
        EXPECT_EQ(state.statusText, L"Preparing file…");
        EXPECT_EQ(lastTask.sourcePath, L"C:\\g\\game.nsz");
        EXPECT_EQ(state.currentFileSize, count == 1 ? 1234u : 0u);
        EXPECT_EQ(Finish(OutcomeConverted, true, L"game"),
                  count == 1 ? AfterWorker::FinishBatch : AfterWorker::LaunchCurrent);
        EXPECT_EQ(state.batch.results.size(), 1u);
        EXPECT_EQ(state.lastSavedOutput, L"C:\\out\\game.nsp");
        EXPECT_EQ(state.isConverting, count == 2);
    }
}

TEST_F(BatchFlowTest, SecondOfThreeFailsAndTheThirdStillRuns) {
    Start({L"a.nsz", L"b.nsz", L"c.nsz"});
    EXPECT_EQ(state.currentFileSize, 0u);
    EXPECT_EQ(Finish(OutcomeConverted, true, L"a"), AfterWorker::LaunchCurrent);
    EXPECT_EQ(lastTask.sourcePath, L"b.nsz");
    EXPECT_EQ(Finish(OutcomeFailed, false), AfterWorker::LaunchCurrent);
    EXPECT_EQ(lastTask.sourcePath, L"c.nsz");
    EXPECT_EQ(Finish(OutcomeConverted, true, L"c"), AfterWorker::FinishBatch);
    EXPECT_EQ(state.batch.savedCount, 2u);
    EXPECT_EQ(state.batch.failedCount, 1u);
    EXPECT_EQ(state.lastSavedOutput, L"C:\\out\\c.nsp");
}

TEST_F(BatchFlowTest, CancelOrCloseStopsAfterTheWorkersEnd) {
    struct Case {
        const char* name;
        std::size_t files;
        bool closing;
        WorkerOutcomeCode code;
        bool saved;
        AfterWorker next;
        std::uint64_t savedCount, failedCount;
        std::wstring status;
    };
    const std::wstring cancelled = L"Conversion cancelled.";
    const Case cases[] = {
        {"during the first of three", 3, false, OutcomeCancelled, false, AfterWorker::FinishBatch, 0, 0,
         cancelled},
        {"as a file completes", 2, false, OutcomeConverted, true, AfterWorker::FinishBatch, 1, 0, L"a"},
        // A destination failure while cancelling asks for no folder.
        {"destination failure", 2, false, OutcomeDestinationFailed, false, AfterWorker::FinishBatch, 0, 1,
         L"a"},
        {"closing destroys without recording", 1, true, OutcomeCancelled, false, AfterWorker::DestroyWindow,
         0, 0, cancelled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(std::vector<std::wstring>(c.files, L"a.nsz"));
        state.closeRequested = c.closing;
        MarkCancelRequested(state, shared);
        EXPECT_EQ(state.statusText, L"Cancelling…");
        EXPECT_EQ(Finish(c.code, c.saved, c.status), c.next);
        EXPECT_EQ(state.batch.results.size(), c.savedCount + c.failedCount);
        EXPECT_EQ(state.batch.savedCount, c.savedCount);
        EXPECT_EQ(state.batch.failedCount, c.failedCount);
        if (!c.closing) {
            EXPECT_TRUE(state.batch.stopped);
            EXPECT_EQ(state.statusText, c.status);
        }
    }
}

TEST_F(BatchFlowTest, DestinationFailureWithAChosenFolderRestartsTheSameFile) {
    Start({L"C:\\in\\a.nsz", L"C:\\in\\b.nsz"});
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
    const std::wstring pickerFailed = L"Could not open the folder selector. Restart the app and try again.";
    const std::tuple<FolderAnswer, std::wstring, std::wstring> cases[] = {
        {FolderAnswer::NoFolder, L"No folder selected. Conversion stopped.", L"Cannot write"},
        {FolderAnswer::PickerFailed, pickerFailed, pickerFailed}};
    for (const auto& [answer, line, status] : cases) {
        SCOPED_TRACE(line);
        Start({L"a.nsz", L"b.nsz", L"c.nsz"});
        ASSERT_EQ(Finish(OutcomeDestinationFailed, false, L"Cannot write"), AfterWorker::AskForOutputFolder);
        EXPECT_EQ(ApplyFolderAnswer(state, std::move(taken.item), answer, L""), AfterWorker::FinishBatch);
        ASSERT_EQ(state.batch.results.size(), 1u);
        EXPECT_EQ(state.batch.results[0].message, L"Cannot write\n" + line);
        EXPECT_TRUE(state.batch.stopped);
        EXPECT_EQ(state.statusText, status);
        EXPECT_EQ(PlanFinishBatch(state.batch, false).statusText, L"Saved: 0 · Failed: 1 · Not processed: 2");
    }
}

TEST_F(BatchFlowTest, NewSelectionClearsOverrideLastOutputAndProgress) {
    ApplySelection(state, shared, {L"a.nsz"}, 1234);
    state.outputFolderOverride = L"D:\\x";
    state.lastSavedOutput = L"D:\\x\\a.nsp";
    state.showError = true;
    shared.progressTotal.store(10);
    ApplySelection(state, shared, {L"b.nsz", L"c.nsz"}, 1234);
    EXPECT_TRUE(state.outputFolderOverride.empty());
    EXPECT_TRUE(state.lastSavedOutput.empty());
    EXPECT_FALSE(state.showError);
    EXPECT_EQ(shared.progressTotal.load(), 0u);
    EXPECT_EQ(state.currentSource, L"b.nsz");
    EXPECT_EQ(state.statusText, L"NSP files will be saved alongside their source files.");
}

TEST(ParseOpenFileBuffer, SingleAndMultipleSelections) {
    using namespace std::string_literals;
    using Files = std::vector<std::wstring>;
    const std::pair<std::wstring, Files> cases[] = {
        {L"C:\\d\\a.nsz\0\0"s, {L"C:\\d\\a.nsz"}},
        {L"C:\\d\0a.nsz\0b.nsz\0c.nsz\0\0"s, {L"C:\\d\\a.nsz", L"C:\\d\\b.nsz", L"C:\\d\\c.nsz"}},
        {L"C:\\\0a.nsz\0b.nsz\0\0"s, {L"C:\\a.nsz", L"C:\\b.nsz"}}, // a drive root
        {L"\0\0"s, {}},
    };
    for (const auto& [buffer, expected] : cases) {
        SCOPED_TRACE(expected.size());
        EXPECT_EQ(ParseOpenFileBuffer(buffer.data(), buffer.size()), expected);
    }
}

BatchItemResult Item(bool saved, bool kept = false) {
    BatchItemResult item;
    item.saved = saved ? 1 : 0;
    item.sourceKept = kept ? 1 : 0;
    item.message = L"m";
    return item;
}

TEST(StartBatch, ResetsEverything) {
    BatchState batch;
    batch.results.push_back(Item(true));
    batch.index = 4;
    batch.savedCount = 3;
    batch.failedCount = 2;
    batch.keptCount = 1;
    batch.stopped = true;
    StartBatch(batch, {L"a", L"b", L"c"}, true);
    EXPECT_EQ(batch.files.size(), 3u);
    EXPECT_TRUE(batch.results.empty());
    EXPECT_EQ(batch.index, 0u);
    EXPECT_EQ(batch.savedCount + batch.failedCount + batch.keptCount, 0u);
    EXPECT_TRUE(batch.deleteSources);
    EXPECT_FALSE(batch.stopped);
}

TEST(RecordBatchResult, CountsSavedKeptAndFailed) {
    BatchState batch;
    StartBatch(batch, {L"C:\\a.nsz", L"C:\\b.nsz", L"C:\\c.nsz"}, false);
    RecordBatchResult(batch, Item(true, true));
    EXPECT_EQ(batch.savedCount, 1u);
    EXPECT_EQ(batch.keptCount, 1u);
    RecordBatchResult(batch, Item(false));
    EXPECT_EQ(batch.failedCount, 1u);
    EXPECT_EQ(batch.savedCount, 1u);
    // A kept flag on an unsaved item is not counted as kept.
    RecordBatchResult(batch, Item(false, true));
    EXPECT_EQ(batch.failedCount, 2u);
    EXPECT_EQ(batch.keptCount, 1u);
    EXPECT_EQ(batch.index, 3u);
    ASSERT_EQ(batch.results.size(), 3u);
    EXPECT_EQ(batch.results[1].sourcePath, L"C:\\b.nsz");
}

TEST(RecordBatchResult, RefusesWithoutACurrentFileAndChangesNothing) {
    struct Case {
        const char* name;
        bool stopped;
        std::size_t recordedBefore;
    };
    for (const Case& c : {Case{"after the last file", false, 2}, Case{"after a stop", true, 1}}) {
        SCOPED_TRACE(c.name);
        BatchState batch;
        StartBatch(batch, {L"a", L"b"}, false);
        for (std::size_t i = 0; i < c.recordedBefore; ++i) {
            RecordBatchResult(batch, Item(true));
        }
        batch.stopped = c.stopped;
        const BatchState before = batch;
        try {
            RecordBatchResult(batch, Item(false));
            ADD_FAILURE() << "no exception";
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), "No active batch item");
        }
        EXPECT_EQ(batch.results.size(), before.results.size());
        EXPECT_EQ(batch.index, before.index);
        EXPECT_EQ(batch.failedCount, before.failedCount);
    }
}

#ifdef _WIN32
const std::wstring kSlashFolderJoin = L"\\";
#else
const std::wstring kSlashFolderJoin = L"/";
#endif

TEST(OutputPathFor, ReplacesOnlyTheLastExtension) {
    struct Case {
        std::wstring source, folder, expected;
    };
    const Case cases[] = {
        {L"C:\\games\\demo.en.nsz", L"", L"C:\\games\\demo.en.nsp"},
        {L"C:\\games\\game", L"", L"C:\\games\\game.nsp"},
        {L"C:\\games\\game.NSZ", L"", L"C:\\games\\game.nsp"},
        {L"C:\\game.nsz", L"", L"C:\\game.nsp"},
        {L"C:\\games\\game.nsz", L"D:\\out", L"D:\\out\\game.nsp"},
        {L"C:\\games\\game.nsz", L"D:\\", L"D:\\game.nsp"},
        {L"\\\\server\\share\\x.nsz", L"", L"\\\\server\\share\\x.nsp"},
        {L"C:\\dir.v2\\game", L"", L"C:\\dir.v2\\game.nsp"},
        {L"C:\\games\\.nsz", L"", L"C:\\games\\.nsz.nsp"},
        {L"C:/games/a.nsz", L"", L"C:/games" + kSlashFolderJoin + L"a.nsp"}, // either separator is read
        {L"/home/u/a.nsz", L"out", L"out" + kSlashFolderJoin + L"a.nsp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.source + L" -> " + c.folder));
        EXPECT_EQ(OutputPathFor(c.source, c.folder), c.expected);
    }
}

TEST(ParentOf, KeepsRootsWhole) {
    EXPECT_EQ(ParentOf(L"C:\\a.nsz"), L"C:\\");
    EXPECT_EQ(ParentOf(L"C:\\d\\a.nsz"), L"C:\\d");
    EXPECT_EQ(ParentOf(L"a.nsz"), L"");
    EXPECT_EQ(FileNameOf(L"C:\\d/x\\a.nsz"), L"a.nsz");
}

} // namespace
} // namespace vesko
