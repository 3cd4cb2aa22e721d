#include "app/BannerGeometry.h"
#include "app/BatchFlow.h"
#include "app/ConversionWorker.h"
#include "app/FileIntake.h"
#include "app/FinishBatchPlan.h"
#include "app/HoverFade.h"
#include "app/Layout.h"
#include "app/OutputPath.h"
#include "app/Scaling.h"
#include "app/TaskbarProgress.h"
#include "app/WindowView.h"
#include "engine/Paths.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <new>
#include <stdexcept>
#include <tuple>

namespace vesko {
namespace {

using namespace std::string_literals;
using Files = std::vector<std::wstring>;
const std::wstring kCancelled = L"Conversion cancelled.";
const std::wstring kReadFailed = L"Could not read the file. Copy it to a local folder and try again.";
const std::wstring kInUse =
    L"NSP created. Another app is using the source, so it was kept. Close that app and "
    L"delete the source manually.";

// The first files of a folder, up to five.
Files Names(std::size_t count) {
    const Files all = {L"C:\\g\\f1.nsz", L"C:\\g\\f2.nsz", L"C:\\g\\f3.nsz", L"C:\\g\\f4.nsz",
                       L"C:\\g\\f5.nsz"};
    return Files(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count));
}

BatchItemResult Saved(std::wstring name, bool deleted = false, std::uint32_t keptCode = 0) {
    return {L"",     L"C:\\g\\" + name + L".nsp", L"Done: " + name + L".nsp", 1, deleted, keptCode != 0,
            keptCode};
}
BatchItemResult Failed(std::wstring message = kReadFailed, bool kept = false) {
    return {L"", L"", std::move(message), 0, 0, kept};
}

using S = MainWindowState;

MainWindowState With(std::initializer_list<bool S::*> flags, std::vector<std::wstring> files = {L"a.nsz"}) {
    MainWindowState state;
    state.selectedFiles = std::move(files);
    state.statusText = L"status";
    for (bool S::*flag : flags) {
        state.*flag = true;
    }
    return state;
}

BatchState Batch(std::size_t count, std::vector<BatchItemResult> items, bool stopped = false) {
    BatchState batch;
    StartBatch(batch, Names(count), false);
    for (BatchItemResult& item : items) {
        RecordBatchResult(batch, std::move(item));
    }
    batch.stopped = stopped;
    return batch;
}

class BatchTest : public testing::Test {
  protected:
    // From a window that still shows an earlier file's size and progress.
    void Start(std::size_t count) {
        ApplySelection(state, shared, Names(count), 1234);
        state.currentFileSize = 1234;
        shared.progressWritten = shared.progressTotal = 9;
        shared.progressPhase = 1;
        BeginBatch(state, false);
        lastTask = BeginCurrentFile(state, shared);
    }

    AfterWorker Finish(WorkerOutcomeCode code, std::wstring message) {
        shared.outcome = {code, message, code == OutcomeConverted ? Saved(message) : Failed(message)};
        taken = TakeOutcome(state, shared);
        const AfterWorker next = ApplyWorkerOutcome(state, taken, IsCancelRequested(&shared.cancelRequested));
        lastTask = next == AfterWorker::LaunchCurrent ? BeginCurrentFile(state, shared) : lastTask;
        return next;
    }

    auto ProgressNow() const {
        return std::make_tuple(shared.progressWritten.load(), shared.progressTotal.load(),
                               shared.progressPhase.load());
    }

    MainWindowState state;
    WorkerShared shared;
    ConversionTask lastTask;
    TakenOutcome taken;
};

TEST_F(BatchTest, FilesRunInTurnUntilTheLastOrACancel) {
    using enum AfterWorker;
    using Steps = std::vector<std::pair<WorkerOutcomeCode, AfterWorker>>;
    // Each row starts where the one before left the window.
    const std::wstring f1 = L"C:\\g\\f1.nsp", f3 = L"C:\\g\\f3.nsp";
    // clang-format off
    const std::tuple<const char*, std::size_t, bool, bool, Steps, std::uint64_t, std::uint64_t, std::wstring,
                     std::wstring>
        cases[] = {
        {"one file", 1, false, false, {{OutcomeConverted, FinishBatch}}, 1, 0, L"f1", f1},
        {"1 of 2", 2, false, false, {{OutcomeConverted, LaunchCurrent}}, 1, 0, L"Preparing file…", f1},
        {"2 of 3 fails, 3 runs", 3, false, false,
         {{OutcomeConverted, LaunchCurrent}, {OutcomeFailed, LaunchCurrent}, {OutcomeConverted, FinishBatch}},
         2, 1, L"f3", f3},
        {"cancel in 1 of 3", 3, true, false, {{OutcomeCancelled, FinishBatch}}, 0, 0, kCancelled, L""},
        {"cancel as 1 of 2 ends", 2, true, false, {{OutcomeConverted, FinishBatch}}, 1, 0, L"f1", f1},
        {"cancel, no folder", 2, true, false, {{OutcomeDestinationFailed, FinishBatch}}, 0, 1, L"f1", L""},
        {"closing records none", 1, true, true, {{OutcomeCancelled, DestroyWindow}}, 0, 0, L"", L""},
    };
    // clang-format on
    for (const auto& [name, files, cancel, closing, steps, saved, failed, status, lastSaved] : cases) {
        SCOPED_TRACE(name);
        Start(files);
        EXPECT_EQ(ProgressNow(), std::make_tuple(0u, 0u, 0));
        EXPECT_TRUE(state.isConverting && state.batchActive);
        EXPECT_EQ(std::tie(state.statusText, lastTask.sourcePath),
                  std::make_tuple(L"Preparing file…"s, L"C:\\g\\f1.nsz"s));
        EXPECT_EQ(state.currentFileSize, files == 1 ? 1234u : 0u);
        state.closeRequested = closing;
        if (cancel) {
            MarkCancelRequested(state, shared);
            EXPECT_EQ(state.statusText, L"Cancelling…");
        }
        for (const auto& [code, next] : steps) {
            const std::size_t at = static_cast<std::size_t>(state.batch.index);
            EXPECT_EQ(Finish(code, L"f" + std::to_wstring(at + 1)), next);
            EXPECT_EQ(lastTask.sourcePath, Names(files)[next == LaunchCurrent ? at + 1 : at]);
            EXPECT_EQ(state.isConverting, next == LaunchCurrent);
        }
        EXPECT_EQ(state.batch.results.size(), saved + failed);
        EXPECT_EQ(std::tie(state.batch.savedCount, state.batch.failedCount, state.lastSavedOutput),
                  std::tie(saved, failed, lastSaved));
        if (!closing) {
            EXPECT_EQ(std::tie(state.batch.stopped, state.statusText), std::tie(cancel, status));
        }
        state.closeRequested = false;
    }
}

TEST_F(BatchTest, DestinationFailureAsksForAFolderAndRestartsTheFileThereOrStops) {
    const std::wstring pickerFailed = L"Could not open the folder selector. Restart the app and try again.";
    const std::tuple<FolderAnswer, std::wstring, std::wstring> cases[] = {
        {FolderAnswer::Chosen, L"", L"Cannot write"},
        {FolderAnswer::NoFolder, L"No folder selected. Conversion stopped.", L"Cannot write"},
        {FolderAnswer::PickerFailed, pickerFailed, pickerFailed}};
    for (const auto& [answer, line, status] : cases) {
        SCOPED_TRACE(static_cast<int>(answer));
        Start(3);
        ASSERT_EQ(Finish(OutcomeDestinationFailed, L"Cannot write"), AfterWorker::AskForOutputFolder);
        EXPECT_TRUE(state.batch.results.empty());
        const AfterWorker next = ApplyFolderAnswer(state, std::move(taken.item), answer, L"D:\\other");
        EXPECT_EQ(state.statusText, status);
        if (answer == FolderAnswer::Chosen) {
            // The same file again, nothing recorded; later files go to that folder too.
            ASSERT_EQ(next, AfterWorker::LaunchCurrent);
            lastTask = BeginCurrentFile(state, shared);
            EXPECT_EQ(std::tie(lastTask.sourcePath, lastTask.outputFolder),
                      std::make_tuple(L"C:\\g\\f1.nsz"s, L"D:\\other"s));
            EXPECT_TRUE(state.batch.results.empty());
            EXPECT_EQ(Finish(OutcomeConverted, L"a"), AfterWorker::LaunchCurrent);
            EXPECT_EQ(lastTask.outputFolder, L"D:\\other");
            continue;
        }
        EXPECT_EQ(std::tie(next, state.batch.stopped), std::make_tuple(AfterWorker::FinishBatch, true));
        ASSERT_EQ(state.batch.results.size(), 1u);
        EXPECT_EQ(state.batch.results[0].message, L"Cannot write\n" + line);
        EXPECT_EQ(PlanFinishBatch(state.batch, false).statusText, L"Saved: 0 · Failed: 1 · Not processed: 2");
    }
}

TEST_F(BatchTest, NewSelectionClearsOverrideLastOutputAndProgress) {
    ApplySelection(state, shared, {L"a.nsz"}, 1234);
    EXPECT_EQ(state.currentFileSize, 1234u);
    state.outputFolderOverride = state.lastSavedOutput = L"D:\\x";
    state.showError = true;
    shared.progressTotal = 10;
    ApplySelection(state, shared, {L"b.nsz", L"c.nsz"}, 1234);
    EXPECT_TRUE(state.outputFolderOverride.empty() && state.lastSavedOutput.empty() && !state.showError);
    EXPECT_EQ(std::make_tuple(state.currentFileSize, shared.progressTotal.load()), std::make_tuple(0u, 0u));
    EXPECT_EQ(std::tie(state.currentSource, state.statusText),
              std::make_tuple(L"b.nsz"s, L"NSP files will be saved alongside their source files."s));
}

TEST_F(BatchTest, WorkerHandsTheTaskToTheEngineAndPublishesItsOutcome) {
    const std::wstring unexpected = L"An unexpected error stopped conversion. Restart the app and try again.";
    using Engine = std::function<ConversionResult()>;
    const auto converts = [](ConversionResult result) { return Engine([result] { return result; }); };
    const auto throws = [](auto error) { return Engine([error]() -> ConversionResult { throw error; }); };
    using Item = std::tuple<int, int, int, std::uint32_t, std::wstring>;
    // clang-format off
    const std::tuple<Engine, std::wstring, WorkerOutcomeCode, std::wstring, Item> cases[] = {
        {converts({L"D:\\out\\game (1).nsp", true, 0}), L"D:\\out", OutcomeConverted, L"Done: game (1).nsp",
         {1, 1, 0, 0, L"D:\\out\\game (1).nsp"}},
        {converts({L"C:\\g.nsp", false, 32}), L"", OutcomeConverted, L"Done: g.nsp",
         {1, 0, 1, 32, L"C:\\g.nsp"}},
        {throws(Cancelled()), L"", OutcomeCancelled, kCancelled, {}},
        {throws(ConversionError("x", ConversionError::Kind::Corrupt)), L"", OutcomeFailed,
         L"The NSZ file is damaged or was not fully downloaded. Download it again.", {}},
        {throws(ConversionError("x", ConversionError::Kind::AccessDenied, 5)), L"", OutcomeDestinationFailed,
         L"Cannot write to this folder. Choose another folder for the NSP.", {}},
        {throws(std::bad_alloc()), L"", OutcomeFailed,
         L"Not enough memory. Close other applications and try again.", {}},
        {throws(42), L"", OutcomeFailed, unexpected, {}}, // not even an exception
    };
    // clang-format on
    for (const auto& [behaviour, folder, code, text, item] : cases) {
        SCOPED_TRACE(ToUtf8(text));
        const Engine& engine = behaviour; // not every compiler lets a lambda capture a structured binding
        std::tuple<std::wstring, std::wstring, const CancelFlag*, bool, bool> seen;
        shared.workerFinished = false;
        ConversionWorker(
            std::make_unique<ConversionTask>(ConversionTask{L"C:\\in\\game.nsz", folder, true}), shared,
            [&](const auto& in, const auto& out, const auto& progress, auto flag, bool pick, bool del) {
                seen = {in, out, flag, pick, del};
                progress(Progress{300, 1000, 0});
                progress(Progress{1000, 1000, 1});
                return engine();
            });
        const BatchItemResult& got = shared.outcome.item;
        EXPECT_TRUE(shared.workerFinished.load() && got.sourcePath.empty());
        EXPECT_EQ(seen, std::make_tuple(L"C:\\in\\game.nsz"s,
                                        folder.empty() ? L"C:\\in\\game.nsp"s : L"D:\\out\\game.nsp"s,
                                        &shared.cancelRequested, true, true));
        EXPECT_EQ(ProgressNow(), std::make_tuple(1000u, 1000u, 1));
        EXPECT_EQ(std::tie(shared.outcome.code, shared.outcome.statusText, got.message),
                  std::tie(code, text, text));
        EXPECT_EQ(Item(got.saved, got.sourceDeleted, got.sourceKept, got.deleteError, got.outputPath), item);
    }
    // A worker that could not start looks like a failed file.
    shared.workerFinished = false;
    PublishStartFailure(shared);
    const std::wstring notStarted = L"Could not start conversion. Close other apps and try again.";
    EXPECT_TRUE(shared.workerFinished.load() && shared.outcome.item.saved == 0);
    EXPECT_EQ(std::tie(shared.outcome.code, shared.outcome.statusText, shared.outcome.item.message),
              std::make_tuple(OutcomeFailed, notStarted, notStarted));
}

TEST(ParseOpenFileBuffer, SingleAndMultipleSelections) {
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

TEST(BatchState, StartResetsRecordCountsAndRefusesWithoutACurrentFile) {
    BatchState batch = Batch(2, {Saved(L"a", false, 32), Failed()}, true);
    StartBatch(batch, Names(3), true);
    EXPECT_TRUE(batch.results.empty() && batch.deleteSources && !batch.stopped);
    EXPECT_EQ(batch.index + batch.savedCount + batch.failedCount + batch.keptCount, 0u);
    RecordBatchResult(batch, Saved(L"a", false, 32));
    RecordBatchResult(batch, Failed());
    // A kept flag on an unsaved item is not counted as kept.
    RecordBatchResult(batch, Failed(L"x", true));
    EXPECT_EQ(std::tie(batch.savedCount, batch.failedCount, batch.keptCount, batch.index),
              std::make_tuple(1u, 2u, 1u, 3u));
    ASSERT_EQ(batch.results.size(), 3u);
    EXPECT_EQ(batch.results[1].sourcePath, L"C:\\g\\f2.nsz");
    // Without a current file, after the last or after a stop, a record is refused and changes nothing.
    for (const BatchState& start : {Batch(2, {Saved(L"a"), Saved(L"b")}), Batch(2, {Saved(L"a")}, true)}) {
        SCOPED_TRACE(start.stopped);
        BatchState batch = start;
        try {
            RecordBatchResult(batch, Failed());
            ADD_FAILURE() << "no exception";
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), "No active batch item");
        }
        EXPECT_EQ(std::make_tuple(batch.results.size(), batch.index, batch.failedCount),
                  std::make_tuple(start.results.size(), start.index, start.failedCount));
    }
}

TEST(OutputPathFor, ReplacesOnlyTheLastExtension) {
    const std::wstring slash(1, std::filesystem::path::preferred_separator);
    // clang-format off
    const std::tuple<std::wstring, std::wstring, std::wstring> cases[] = {
        {L"C:\\g\\demo.en.nsz", L"", L"C:\\g\\demo.en.nsp"}, {L"C:\\g\\game", L"", L"C:\\g\\game.nsp"},
        {L"C:\\g\\game.nsz", L"D:\\out", L"D:\\out\\game.nsp"}, {L"C:\\g\\.nsz", L"", L"C:\\g\\.nsz.nsp"},
        {L"C:\\g\\game.nsz", L"D:\\", L"D:\\game.nsp"}, {L"C:\\dir.v2\\game", L"", L"C:\\dir.v2\\game.nsp"},
        {L"/home/u/a.nsz", L"out", L"out" + slash + L"a.nsp"},
        {L"C:/g/a.nsz", L"", L"C:/g" + slash + L"a.nsp"}, // either separator is read
    };
    // clang-format on
    for (const auto& [source, folder, expected] : cases) {
        SCOPED_TRACE(ToUtf8(source + L" -> " + folder));
        EXPECT_EQ(OutputPathFor(source, folder), expected);
    }
    EXPECT_EQ(std::make_tuple(ParentOf(L"C:\\a.nsz"), ParentOf(L"C:\\d\\a.nsz"), ParentOf(L"a.nsz")),
              std::make_tuple(L"C:\\"s, L"C:\\d"s, L""s));
    EXPECT_EQ(FileNameOf(L"C:\\d/x\\a.nsz"), L"a.nsz");
}

// The plan's fields, each with a default, so that a row names only what it expects to be set.
struct Want {
    bool showDone = false, showError = false, showWarning = false;
    TextKey actionCaption = TextKey::TextConvertToNsp;
    bool statusChanged = false;
    std::wstring statusText{};
    FinishDialog dialog = FinishDialog::None;
    std::wstring dialogTitle{}, dialogInstruction{}, dialogContent{}, dialogOutputPath{}, reportText{},
        resultsTitle{};
    std::uint64_t reportEntries = 0;
    int resultsHeight96 = 0;
    bool fallbackIsError = false;
};

// Every field, so that a row also catches a field set where it should not be.
template <typename Plan> auto Fields(const Plan& p) {
    return std::tie(p.showDone, p.showError, p.showWarning, p.actionCaption, p.statusChanged, p.statusText,
                    p.dialog, p.dialogTitle, p.dialogInstruction, p.dialogContent, p.dialogOutputPath,
                    p.reportText, p.resultsTitle, p.reportEntries, p.resultsHeight96, p.fallbackIsError);
}

TEST(PlanFinishBatch, FlagsStatusAndDialog) {
    using enum FinishDialog;
    const TextKey open = TextKey::TextOpenFolder, convert = TextKey::TextConvertToNsp;
    const std::wstring notDeleted =
        L"The NSP was saved, but the source could not be deleted. The source was kept.";
    const std::wstring warnTitle = L"Conversion completed with warnings",
                       kept = L"NSP created, source not deleted";
    // clang-format off
    const std::tuple<const char*, BatchState, Want> cases[] = {
        {"one saved", Batch(1, {Saved(L"game")}), {true, false, false, open, true, L"Done: game.nsp"}},
        {"one saved, its source deleted", Batch(1, {Saved(L"game", true)}),
         {true, false, false, open, true, L"Done. Source file deleted."}},
        {"source kept, another app uses it", Batch(1, {Saved(L"game", false, 32)}), {true, false, true, open,
         true, kInUse, WarningDialog, warnTitle, kept, L"f1.nsz\n\n" + kInUse, L"C:\\g\\game.nsp"}},
        {"source kept for another reason", Batch(1, {Saved(L"game", false, 5)}), {true, false, true, open,
         true, notDeleted, WarningDialog, warnTitle, kept, L"f1.nsz\n\n" + notDeleted, L"C:\\g\\game.nsp"}},
        {"one failure", Batch(1, {Failed()}), {false, true, false, convert, true, kReadFailed, ErrorDialog,
         L"Conversion error", L"Conversion error", L"f1.nsz\n\n" + kReadFailed}},
        {"one file cancelled keeps the status", Batch(1, {}, true), {}},
        {"two saved", Batch(2, {Saved(L"a"), Saved(L"b")}),
         {true, false, false, open, true, L"Saved: 2 · Failed: 0"}},
        {"two, one source kept", Batch(2, {Saved(L"a", false, 32), Saved(L"b")}), {true, false, true, open,
         true, L"Saved: 2 · Failed: 0\nSources kept: 1", WarningDialog, warnTitle, kept,
         L"f1.nsz\n\n" + kInUse, L"C:\\g\\a.nsp"}},
        {"cancel in the second of three", Batch(3, {Saved(L"a")}, true),
         {true, false, false, open, true, L"Saved: 1 · Failed: 0 · Not processed: 2"}},
        {"three failures", Batch(3, {Failed(L"one"), Failed(L"two"), Failed(L"three")}), {false, true, false,
         convert, true, L"Saved: 0 · Failed: 3", ResultsWindow, L"", L"", L"", L"",
         L"f1.nsz\r\none\r\n\r\nf2.nsz\r\ntwo\r\n\r\nf3.nsz\r\nthree", L"Conversion results", 3, 395, true}},
        {"four failures and a kept source", Batch(5, {Failed(L"1"), Failed(L"2"), Saved(L"c", false, 32),
         Failed(L"4"), Failed(L"5")}), {true, true, true, open, true,
         L"Saved: 1 · Failed: 4\nSources kept: 1", ResultsWindow, L"", L"", L"", L"", L"f1.nsz\r\n1\r\n\r\n"
         L"f2.nsz\r\n2\r\n\r\nf3.nsz\r\n" + kInUse + L"\r\n\r\nf4.nsz\r\n4\r\n\r\nf5.nsz\r\n5",
         warnTitle, 5, 420, true}},
        {"kept and failed, two not processed", Batch(5, {Saved(L"a", false, 32), Failed(L"x"), Saved(L"c")},
         true), {true, true, true, open, true, L"Saved: 2 · Failed: 1 · Not processed: 2\nSources kept: 1",
         ResultsWindow, L"", L"", L"", L"", L"f1.nsz\r\n" + kInUse + L"\r\n\r\nf2.nsz\r\nx", warnTitle, 2,
         310, true}},
    };
    // clang-format on
    for (const auto& [name, batch, want] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Fields(PlanFinishBatch(batch, false)), Fields(want));
    }
    // Closing: no dialog.
    EXPECT_EQ(Fields(PlanFinishBatch(Batch(1, {Failed()}), true)),
              Fields(Want{false, true, false, convert, true, kReadFailed}));
    for (const auto& [entries, height] : {std::pair<std::uint64_t, int>{4, 420}, {100, 420}}) {
        EXPECT_EQ(ResultsWindowHeight(entries), height) << entries;
    }
}

TEST(PlanFinishBatch, ArabicIsolatesNamesInStatusDialogsAndReport) {
    const ScopedInterfaceLanguage arabic(InterfaceLanguage::Arabic);
    EXPECT_EQ(PlanFinishBatch(Batch(1, {Failed(L"x")}), false).dialogContent, L"\u200Ef1.nsz\u200E\n\nx");
    const FinishBatchPlan report = PlanFinishBatch(Batch(2, {Failed(L"x"), Failed(L"y")}), false);
    EXPECT_EQ(report.reportText.rfind(L"\u200Ef1.nsz\u200E\r\nx", 0), 0u);
    const WorkerOutcome outcome = ConvertedOutcome(ConversionResult{L"C:\\d\\game.nsp", false, 0}, false);
    EXPECT_NE(outcome.statusText.find(L"\u200Egame.nsp\u200E"), std::wstring::npos);
}

TEST(ApplyFinishBatch, EndsTheBatchAndKeepsAnUnchangedStatus) {
    MainWindowState state = With({&S::batchActive, &S::isConverting, &S::showError});
    FinishBatchPlan plan;
    plan.showDone = plan.showWarning = true;
    ApplyFinishBatch(state, plan);
    EXPECT_FALSE(state.batchActive || state.isConverting || state.showError);
    EXPECT_TRUE(state.showDone && state.showWarning && state.statusText == L"status");
}

TEST(Scaling, RoundsLikeWindowsFitsTheWorkAreaAndNeverExceedsTheProposal) {
    // 496.5, 1.5, -1.5, -1.5, an exact result, a zero divisor and an overflow.
    const std::tuple<int, int, int, int> cases[] = {{331, 144, 96, 497},   {1, 144, 96, 2},    {-3, 1, 2, -2},
                                                    {3, -1, 2, -2},        {720, 96, 96, 720}, {5, 1, 0, -1},
                                                    {2147483647, 2, 1, -1}};
    for (const auto& [a, b, c, expected] : cases) {
        EXPECT_EQ(MulDivRound(a, b, c), expected) << a << " * " << b << " / " << c;
    }
    // 1366x728: b = MulDiv(664, 96, 620); 700x600 fits 83; nothing goes below 72, not even a proposal.
    const std::tuple<int, int, std::uint32_t, std::uint32_t> fits[] = {
        {1920, 1040, 144, 144}, {1366, 728, 144, 103}, {700, 600, 96, 83},
        {800, 500, 96, 72},     {100, 100, 96, 72},    {1920, 1040, 60, 72}};
    for (const auto& [w, h, proposed, expected] : fits) {
        EXPECT_EQ(EffectiveDpi(w, h, proposed), expected) << w << 'x' << h << '@' << proposed;
    }
    const PixelRect full{1920, 0, 3840, 1040}, small{0, 0, 1366, 728};
    EXPECT_EQ(StartDpiFor(144, 96, &full), 144u);   // a second monitor at 144, the primary at 96
    EXPECT_EQ(StartDpiFor(0, 120, &full), 120u);    // unreadable: the system DPI
    EXPECT_EQ(StartDpiFor(144, 96, &small), 103u);  // the work-area rule stays
    EXPECT_EQ(StartDpiFor(144, 96, nullptr), 144u); // no work area known
    const WindowPlacement at = CentreInWorkArea(PixelRect{100, 50, 1101, 850}, 736, 659);
    EXPECT_EQ(std::make_pair(at.x, at.y), std::make_pair(232, 120)); // 100 + 265 / 2, 50 + 141 / 2: truncated
}

TEST(Layout, ControlsPaintingAndBannerAtTheirDpiMirroredAndHovered) {
    const ControlLayout ltr = LayoutForDpi(96, false), at125 = LayoutForDpi(120, false);
    const PaintLayout paint = PaintLayoutForDpi(144, false), paintRtl = PaintLayoutForDpi(144, true);
    const BannerShapes banner = BannerShapesFor(96, false, 0.0f, true),
                       rtl = BannerShapesFor(96, true, 0.0f, true);
    // At 125 % the card's button keeps its scaled edges (434..486, 52) where the others scale their size.
    // clang-format off
    const std::pair<PixelRect, PixelRect> rects[] = {
        {ltr.promo, {28, 24, 692, 276}}, {ltr.choose, {544, 347, 672, 389}}, {rtl.badge, {24, 14, 66, 56}},
        {paint.client, {0, 0, 1080, 930}}, {paint.statusAndProgress, {42, 690, 1038, 791}},
        {banner.rings[1], {477, -137, 787, 173}}, {ltr.deleteSources, {28, 421, 692, 445}},
        {BannerTextRectsFor(96, false).rects[2], {24, 91, 640, 130}}, {ltr.action, {28, 549, 692, 593}},
        {LayoutForDpi(96, true).choose, {48, 347, 176, 389}}, {at125.choose, {680, 434, 840, 486}},
        {at125.deleteSources, {35, 526, 865, 556}}, {paint.card, {42, 497, 1038, 608}},
        {paintRtl.card, {42, 497, 1038, 608}}, {paint.icon, {69, 528, 117, 576}},
        {paintRtl.icon, {963, 528, 1011, 576}}, {paintRtl.heading, {423, 452, 1038, 488}},
        {paintRtl.formatLabel, {42, 452, 282, 488}}, {banner.rings[0], {517, -97, 747, 133}},
        {ProgressFillFor(2.0, 96, false).rect, {28, 517, 692, 523}}, {rtl.rings[0], {-83, -97, 147, 133}},
        {ProgressFillFor(1.0 / 10e9, 96, false).rect, {28, 517, 32, 523}}, {banner.badge, {598, 14, 640, 56}},
        {ProgressFillFor(0.5, 96, true).rect, {360, 517, 692, 523}}, {rtl.rings[2], {-163, -177, 227, 213}},
        {BannerTextRectsFor(96, false).rects[0], {24, 18, 544, 47}},
        {BannerTextRectsFor(96, true).rects[0], {120, 18, 640, 47}},
        {BannerTextRectsFor(96, true).rects[5], {24, 211, 640, 246}},
    };
    // clang-format on
    for (std::size_t i = 0; i < std::size(rects); ++i) {
        EXPECT_EQ(rects[i].first, rects[i].second) << "rect " << i;
    }
    EXPECT_TRUE(ProgressFillFor(1.0 / 10e9, 96, false).visible &&
                !(ProgressFillFor(0.0, 96, false).visible || ProgressFillFor(-1.0, 96, false).visible));
    const BannerShapes at144 = BannerShapesFor(144, false, 0.0f, true);
    EXPECT_EQ(std::make_tuple(at144.badgePenWidth, at144.arrowPenWidth, at144.ringPenWidth),
              std::make_tuple(1.5f, 3.0f, 2));
    // The gradient spans the panel; the arrow points outward and drifts on hover only with animations.
    // clang-format off
    const std::pair<PointF, std::pair<float, float>> points[] = {
        {banner.gradientFrom, {0, 0}}, {banner.gradientTo, {664, 0}}, {rtl.gradientFrom, {664, 0}},
        {rtl.gradientTo, {0, 0}}, {banner.arrowLine[0], {612.5f, 40.5f}}, {rtl.arrowLine[0], {50.5f, 40.5f}},
        {banner.arrowLine[1], {624.5f, 28.5f}}, {rtl.arrowLine[1], {38.5f, 28.5f}},
        {BannerShapesFor(96, false, 1.0f, true).arrowLine[0], {614.0f, 39.0f}},
        {BannerShapesFor(96, false, 1.0f, false).arrowLine[0], {612.5f, 40.5f}},
        {BannerShapesFor(96, true, 1.0f, true).arrowLine[0], {49.0f, 39.0f}}};
    // clang-format on
    for (std::size_t i = 0; i < std::size(points); ++i) {
        EXPECT_EQ(std::make_pair(points[i].first.x, points[i].first.y), points[i].second) << "point " << i;
    }
}

TEST(PanelGradientFor, HoverBrightensAndPressingDarkens) {
    // clang-format off
    const std::tuple<float, bool, int, Rgb, Rgb> cases[] = {
        {0.0f, false, 0, {21, 24, 33}, {64, 25, 39}}, {1.0f, false, 8, {29, 32, 41}, {72, 33, 47}},
        {0.0f, true, -5, {16, 19, 28}, {59, 20, 34}}, {0.5f, false, 4, {25, 28, 37}, {68, 29, 43}},
        {0.5f, true, -1, {20, 23, 32}, {63, 24, 38}},
        {0.0625f, false, 1, {22, 25, 34}, {65, 26, 40}}, // 0.5 rounds away from zero
    };
    // clang-format on
    for (const auto& [hover, pressed, shift, start, end] : cases) {
        SCOPED_TRACE(testing::Message() << hover << (pressed ? " pressed" : ""));
        EXPECT_EQ(PanelShift(hover, pressed), shift);
        const PanelGradient g = PanelGradientFor(hover, pressed);
        EXPECT_EQ(std::make_pair(g.start, g.end), std::make_pair(start, end));
    }
}

TEST(HoverFade, EasesFor150MillisecondsAndReversesFromWhereItStands) {
    HoverFade fade{1.0f, 0.0f, 0.0f, 1000};
    // t = 0, 0.5, 0.2 (0.04 * 2.6), 0.8, the end and long after it.
    const std::tuple<std::uint64_t, float, bool> steps[] = {{1000, 0.0f, false},   {1075, 0.5f, false},
                                                            {1030, 0.104f, false}, {1120, 0.896f, false},
                                                            {1150, 1.0f, true},    {5000, 1.0f, true}};
    for (const auto& [now, level, finished] : steps) {
        EXPECT_NEAR(HoverLevelAt(fade, now).level, level, 1e-5) << now;
        EXPECT_EQ(HoverLevelAt(fade, now).finished, finished) << now;
    }
    fade = HoverFade{};
    EXPECT_EQ(RetargetHover(fade, false, 500, true).start, HoverStart::Unchanged); // the same target
    EXPECT_EQ(fade.hoverStartTick, 0u);
    ASSERT_EQ(RetargetHover(fade, true, 10000, true).start, HoverStart::Animate);
    EXPECT_EQ(std::make_pair(fade.hoverTarget, fade.hoverLevel), std::make_pair(1.0f, 0.0f));
    const HoverRetarget back = RetargetHover(fade, false, 10075, true);
    EXPECT_EQ(std::make_tuple(back.start, back.fadeTimerStopped, fade.hoverTarget, fade.hoverStartTick),
              std::make_tuple(HoverStart::Animate, false, 0.0f, 10075u));
    EXPECT_NEAR(fade.hoverLevel, 0.5f, 1e-5);
    EXPECT_NEAR(fade.hoverFrom, 0.5f, 1e-5);
    EXPECT_NEAR(HoverLevelAt(fade, 10150).level, 0.25f, 1e-5);
    // A finished fade stops its timer, and without animations the level jumps.
    EXPECT_TRUE(RetargetHover(fade, true, 10300, true).fadeTimerStopped && fade.hoverFrom == 0.0f);
    HoverFade still;
    EXPECT_EQ(RetargetHover(still, true, 10000, false).start, HoverStart::Jump);
    EXPECT_EQ(still.hoverLevel, 1.0f);
    // A failed read of the setting keeps the last known value.
    bool enabled = true;
    const std::tuple<bool, bool, bool, bool> reads[] = {{false, false, true, true},
                                                        {true, false, false, false},
                                                        {false, true, false, false},
                                                        {true, true, true, true}};
    for (const auto& [readOk, value, animate, after] : reads) {
        EXPECT_EQ(ShouldAnimate({readOk, value}, enabled), animate);
        EXPECT_EQ(enabled, after);
    }
}

TEST(WindowView, ControlsActionAndCloseFollowTheState) {
    using enum VisibleState;
    using enum TextKey;
    using enum ActionCommand;
    using enum CloseCommand;
    // The earlier flag wins: a batch over a done state, converting over both.
    // clang-format off
    const std::tuple<MainWindowState, bool, VisibleState, ControlLook, ActionCommand, CloseCommand>
        cases[] = {
        {With({}, {}), false, Empty, {true, true, false, TextConvertToNsp}, ChooseNszFiles, DestroyNow},
        {With({}), false, Ready, {true, true, true, TextConvertToNsp}, StartBatch, DestroyNow},
        {With({&S::isConverting, &S::batchActive, &S::showDone}), false, Converting,
         {false, false, true, TextCancel}, RequestCancel, CancelThenDestroy},
        {With({&S::isConverting, &S::batchActive}), true, Cancelling, {false, false, false, TextCancel},
         RequestCancel, CancelThenDestroy},
        {With({&S::batchActive, &S::showDone}), false, BetweenFiles, {false, false, true, TextCancel},
         Nothing, DestroyAfterQuestion},
        {With({&S::showDone}), false, Done, {true, true, true, TextOpenFolder}, OpenOutputFolder, DestroyNow},
        {With({&S::isConverting, &S::batchActive, &S::closeRequested}), true, Closing,
         {false, false, false, TextCancel}, RequestCancel, CancelThenDestroy},
    };
    // clang-format on
    const auto fields = [](const ControlLook& l) {
        return std::make_tuple(l.chooseEnabled, l.deleteSourcesEnabled, l.actionEnabled, l.actionCaption);
    };
    for (const auto& [state, cancel, visible, look, action, close] : cases) {
        SCOPED_TRACE(static_cast<int>(visible));
        EXPECT_EQ(VisibleStateOf(state, cancel), visible);
        EXPECT_EQ(fields(ControlLookFor(visible)), fields(look));
        EXPECT_EQ(ActionFor(state), action);
        EXPECT_EQ(CloseFor(state), close);
    }
}

TEST(WindowView, StatusLineAndProgressBar) {
    using enum StatusColour;
    const std::uint64_t gib = 1ull << 30;
    // The bar never reads 100 % while converting; after a one-file batch that failed at 40 % it stays.
    // clang-format off
    const std::tuple<MainWindowState, ProgressSnapshot, std::wstring, StatusColour, double, bool> cases[] = {
        {With({&S::isConverting}), {0, 0, 0, false}, L"status", Secondary, 0.0, false},
        {With({&S::isConverting}), {gib * 3 / 2, gib * 3, 0, false}, L"Converting…  1.5 GB / 3.0 GB",
         Secondary, 0.5, false},
        {With({&S::isConverting}), {gib, gib, 1, false}, L"Finishing save…", Secondary, 0.99, false},
        {With({&S::isConverting}), {20, 10, 0, true}, L"status", Secondary, 0.99, false},
        {With({}), {5, 10, 0, false}, L"status", Secondary, 0.5, false},
        {With({&S::showError}), {40, 100, 0, false}, L"status", Error, 0.4, false},
        {With({&S::showDone}), {}, L"status", Done, 1.0, true},
        {With({&S::showDone, &S::showWarning}), {}, L"status", Warning, 1.0, true},
        {With({&S::showDone, &S::showWarning, &S::showError}), {}, L"status", Error, 1.0, true},
        {With({&S::showDone, &S::isConverting}), {}, L"status", Done, 0.99, true},
    };
    // clang-format on
    for (const auto& [state, progress, text, colour, fraction, done] : cases) {
        SCOPED_TRACE(testing::Message() << progress.written << " of " << progress.total << ", " << fraction);
        const StatusLine line = StatusLineFor(state, progress);
        const ProgressBarLook bar = ProgressBarFor(state, progress);
        EXPECT_EQ(std::tie(line.text, line.colour, bar.fraction, bar.done),
                  std::tie(text, colour, fraction, done));
    }
}

TEST(WindowView, CardTitlesAndSubtitles) {
    // The selection, the file being shown and whether a batch runs (at its second file).
    const auto card = [](std::vector<std::wstring> files, std::wstring source, bool batch) {
        MainWindowState state = With({}, files);
        state.currentSource = std::move(source);
        state.currentFileSize = 1363149;
        state.batchActive = batch;
        state.batch.files = std::move(files);
        state.batch.index = 1;
        const CardTexts texts = CardFor(state);
        return std::make_tuple(texts.hasSource, texts.title, texts.subtitle);
    };
    const std::vector<std::wstring> three = {L"d\\a.nsz", L"d\\b.nsz", L"d\\c.nsz"};
    EXPECT_EQ(card({}, L"", false), std::make_tuple(false, L"Choose NSZ files"s, L""s));
    EXPECT_EQ(card({L"d\\g.nsz"}, L"d\\g.nsz", false), std::make_tuple(true, L"g.nsz"s, L"NSZ  ·  1.3 MB"s));
    EXPECT_EQ(card(three, L"d\\a.nsz", false), std::make_tuple(true, L"Selected files: 3"s, L"NSZ  →  NSP"s));
    EXPECT_EQ(card(three, L"d\\b.nsz", true), std::make_tuple(true, L"b.nsz"s, L"File 2 / 3"s));
}

TEST(Intake, TakesNszFilesAndFoldersOneLevelDeepUnlessABatchRuns) {
    const std::wstring longName = L"C:\\" + std::wstring(300, L'd') + L"\\Игра 1.NsZ";
    // C:\drop holds two NSZ files (one in capitals) and a text file; C:\empty holds nothing.
    using enum PathKind;
    const std::map<std::wstring, PathKind> kinds = {{L"C:\\one.nsz", File},     {L"C:\\readme.txt", File},
                                                    {L"C:\\drop\\b.nsz", File}, {longName, File},
                                                    {L"C:\\drop", Folder},      {L"C:\\empty", Folder}};
    const PathLookup disk{
        [&](const std::wstring& path) { return kinds.contains(path) ? kinds.at(path) : Missing; },
        [](const std::wstring& folder) {
            return folder == L"C:\\drop" ? Files{L"b.nsz", L"notes.txt", L"A.NSZ"} : Files{};
        }};
    const std::pair<Files, Files> cases[] = {
        {{L"C:\\one.nsz", L"C:\\drop", L"C:\\readme.txt"},
         {L"C:\\one.nsz", L"C:\\drop\\A.NSZ", L"C:\\drop\\b.nsz"}},
        {{L"C:\\drop\\b.nsz", L"C:\\drop"}, {L"C:\\drop\\b.nsz", L"C:\\drop\\A.NSZ"}},
        {{L"C:\\readme.txt", L"C:\\gone.nsz", L"C:\\empty"}, {}},
        {{longName}, {longName}},
    };
    for (const auto& [paths, taken] : cases) {
        EXPECT_EQ(NszFilesAmong(paths, disk), taken) << paths.size() << " paths, " << paths.front().size();
    }
    MainWindowState idle = With({&S::showDone}, {L"C:\\kept.nsz"});
    EXPECT_EQ(IntakeFor(idle, {L"C:\\a.nsz"}), IntakeCommand::Select);
    EXPECT_EQ(IntakeFor(idle, {}), IntakeCommand::NothingTaken);
    for (bool S::*busy : {&S::batchActive, &S::isConverting, &S::closeRequested}) {
        EXPECT_EQ(IntakeFor(With({busy}), {L"C:\\a.nsz"}), IntakeCommand::Refuse);
    }
    ApplyNothingTaken(idle);
    EXPECT_EQ(idle.statusText, L"No NSZ files among these items. The selection is unchanged.");
    EXPECT_TRUE(idle.showError && idle.showDone && idle.selectedFiles == Files{L"C:\\kept.nsz"});
}

TEST(TaskbarLookFor, FollowsTheBatch) {
    // A batch of four at its second file unless it has ended.
    const auto batch = [](std::initializer_list<bool S::*> flags, std::uint64_t failed, std::uint64_t kept) {
        MainWindowState state = With(flags, {L"1", L"2", L"3", L"4"});
        state.batch = {state.selectedFiles, {}, 1, 0, failed, kept};
        return state;
    };
    const auto converting = {&S::batchActive, &S::isConverting};
    const ProgressSnapshot half{500, 1000, 0, false};
    using enum TaskbarMode;
    const std::tuple<const char*, MainWindowState, ProgressSnapshot, bool, TaskbarLook> cases[] = {
        {"converting", batch(converting, 0, 0), half, false, {Normal, 1500, 4000}},
        {"99 % at most", batch(converting, 0, 0), {1000, 1000, 1, false}, false, {Normal, 1990, 4000}},
        {"cancelling", batch(converting, 0, 0), {500, 1000, 0, true}, false, {Paused, 1500, 4000}},
        {"after a failed file", batch(converting, 1, 0), half, false, {Error, 1500, 4000}},
        {"folder question", batch({&S::batchActive}, 0, 0), half, false, {Paused, 1000, 4000}},
        {"error dialog at the end", batch({}, 1, 0), {}, true, {Error, 1, 1}},
        {"kept-source question", batch({}, 0, 1), {}, true, {Paused, 1, 1}},
        {"ended", batch({}, 1, 0), {}, false, {}},
        {"nothing went wrong", batch({}, 0, 0), {}, true, {}},
    };
    for (const auto& [name, state, progress, endDialogOpen, look] : cases) {
        EXPECT_TRUE(TaskbarLookFor(state, progress, endDialogOpen) == look) << name;
    }
}

} // namespace
} // namespace vesko
