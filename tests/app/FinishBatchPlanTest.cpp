#include "app/FinishBatchPlan.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {

BatchItemResult Saved(std::wstring name, bool deleted = false, std::uint32_t keptCode = 0) {
    BatchItemResult item;
    item.saved = 1;
    item.outputPath = L"C:\\g\\" + name + L".nsp";
    item.message = L"Done: " + name + L".nsp";
    item.sourceDeleted = deleted ? 1 : 0;
    item.sourceKept = keptCode != 0 ? 1 : 0;
    item.deleteError = keptCode;
    return item;
}

BatchItemResult
Failed(std::wstring message = L"Could not read the file. Copy it to a local folder and try again.") {
    BatchItemResult item;
    item.message = std::move(message);
    return item;
}

// A batch of `count` files named f1..fn in which `items` were processed.
BatchState Batch(std::size_t count, std::vector<BatchItemResult> items, bool stopped = false) {
    std::vector<std::wstring> files;
    for (std::size_t i = 1; i <= count; ++i) {
        files.push_back(L"C:\\g\\f" + std::to_wstring(i) + L".nsz");
    }
    BatchState batch;
    StartBatch(batch, files, false);
    for (BatchItemResult& item : items) {
        RecordBatchResult(batch, std::move(item));
    }
    batch.stopped = stopped;
    return batch;
}

class FinishBatchPlanTest : public testing::Test {
  protected:
    ScopedInterfaceLanguage english_{InterfaceLanguage::English};
};

TEST_F(FinishBatchPlanTest, OneFileSaved) {
    const FinishBatchPlan plan = PlanFinishBatch(Batch(1, {Saved(L"game")}), false);
    EXPECT_EQ(plan.statusText, L"Done: game.nsp");
    EXPECT_EQ(plan.dialog, FinishDialog::None);
    EXPECT_TRUE(plan.showDone);
    EXPECT_FALSE(plan.showError);
    EXPECT_EQ(plan.actionCaption, TextKey::TextOpenFolder);
}

TEST_F(FinishBatchPlanTest, OneFileSavedWithItsSourceDeleted) {
    const FinishBatchPlan plan = PlanFinishBatch(Batch(1, {Saved(L"game", true)}), false);
    EXPECT_EQ(plan.statusText, L"Done. Source file deleted.");
    EXPECT_EQ(plan.dialog, FinishDialog::None);
}

TEST_F(FinishBatchPlanTest, SourceKeptBecauseAnotherProgramUsesIt) {
    const FinishBatchPlan plan = PlanFinishBatch(Batch(1, {Saved(L"game", false, 32)}), false);
    const std::wstring warning = L"NSP created. Another app is using the source, so it was kept. Close that "
                                 L"app and delete the source manually.";
    EXPECT_EQ(plan.statusText, warning);
    EXPECT_TRUE(plan.showWarning);
    EXPECT_TRUE(plan.showDone);
    ASSERT_EQ(plan.dialog, FinishDialog::WarningDialog);
    EXPECT_EQ(plan.dialogTitle, L"Conversion completed with warnings");
    EXPECT_EQ(plan.dialogInstruction, L"NSP created, source not deleted");
    EXPECT_EQ(plan.dialogContent, L"f1.nsz\n\n" + warning);
    EXPECT_EQ(plan.dialogOutputPath, L"C:\\g\\game.nsp");
}

TEST_F(FinishBatchPlanTest, SourceKeptForAnotherReason) {
    const FinishBatchPlan plan = PlanFinishBatch(Batch(1, {Saved(L"game", false, 5)}), false);
    EXPECT_EQ(plan.statusText,
              L"The NSP was saved, but the source could not be deleted. The source was kept.");
}

TEST_F(FinishBatchPlanTest, OneFailure) {
    const FinishBatchPlan plan = PlanFinishBatch(Batch(1, {Failed()}), false);
    EXPECT_EQ(plan.statusText, L"Could not read the file. Copy it to a local folder and try again.");
    EXPECT_TRUE(plan.showError);
    EXPECT_FALSE(plan.showDone);
    EXPECT_EQ(plan.actionCaption, TextKey::TextConvertToNsp);
    ASSERT_EQ(plan.dialog, FinishDialog::ErrorDialog);
    EXPECT_EQ(plan.dialogTitle, L"Conversion error");
    EXPECT_EQ(plan.dialogInstruction, L"Conversion error");
    EXPECT_EQ(plan.dialogContent,
              L"f1.nsz\n\nCould not read the file. Copy it to a local folder and try again.");
}

TEST_F(FinishBatchPlanTest, OneFileCancelledKeepsTheStatus) {
    const FinishBatchPlan plan = PlanFinishBatch(Batch(1, {}, true), false);
    EXPECT_FALSE(plan.statusChanged);
    EXPECT_EQ(plan.dialog, FinishDialog::None);
}

TEST_F(FinishBatchPlanTest, TwoSaved) {
    const FinishBatchPlan plan = PlanFinishBatch(Batch(2, {Saved(L"a"), Saved(L"b")}), false);
    EXPECT_EQ(plan.statusText, L"Saved: 2 · Failed: 0");
    EXPECT_EQ(plan.dialog, FinishDialog::None);
    EXPECT_EQ(plan.actionCaption, TextKey::TextOpenFolder);
}

TEST_F(FinishBatchPlanTest, CancelInTheSecondOfThree) {
    const FinishBatchPlan plan = PlanFinishBatch(Batch(3, {Saved(L"a")}, true), false);
    EXPECT_EQ(plan.statusText, L"Saved: 1 · Failed: 0 · Not processed: 2");
    EXPECT_EQ(plan.dialog, FinishDialog::None);
}

TEST_F(FinishBatchPlanTest, ThreeFailuresOpenTheResultsWindow) {
    const FinishBatchPlan plan =
        PlanFinishBatch(Batch(3, {Failed(L"one"), Failed(L"two"), Failed(L"three")}), false);
    EXPECT_EQ(plan.statusText, L"Saved: 0 · Failed: 3");
    ASSERT_EQ(plan.dialog, FinishDialog::ResultsWindow);
    EXPECT_EQ(plan.resultsTitle, L"Conversion results");
    EXPECT_EQ(plan.resultsHeight96, 395);
    EXPECT_EQ(plan.reportText, L"f1.nsz\r\none\r\n\r\nf2.nsz\r\ntwo\r\n\r\nf3.nsz\r\nthree");
    EXPECT_TRUE(plan.fallbackIsError);
}

TEST_F(FinishBatchPlanTest, FourFailuresAndAKeptSource) {
    const FinishBatchPlan plan = PlanFinishBatch(
        Batch(5, {Failed(L"1"), Failed(L"2"), Saved(L"c", false, 32), Failed(L"4"), Failed(L"5")}), false);
    EXPECT_EQ(plan.statusText, L"Saved: 1 · Failed: 4\nSources kept: 1");
    ASSERT_EQ(plan.dialog, FinishDialog::ResultsWindow);
    EXPECT_EQ(plan.resultsTitle, L"Conversion completed with warnings");
    EXPECT_EQ(plan.resultsHeight96, 420);
    EXPECT_EQ(plan.reportEntries, 5u);
    EXPECT_NE(plan.reportText.find(L"f3.nsz\r\nNSP created. Another app is using the source"),
              std::wstring::npos);
    EXPECT_TRUE(plan.showWarning);
}

TEST_F(FinishBatchPlanTest, FiveFilesWithUnprocessedAndKept) {
    const FinishBatchPlan plan =
        PlanFinishBatch(Batch(5, {Saved(L"a", false, 32), Failed(L"x"), Saved(L"c")}, true), false);
    EXPECT_EQ(plan.statusText, L"Saved: 2 · Failed: 1 · Not processed: 2\nSources kept: 1");
    EXPECT_EQ(plan.resultsHeight96, 310);
}

TEST_F(FinishBatchPlanTest, ClosingShowsNoDialog) {
    const FinishBatchPlan plan = PlanFinishBatch(Batch(1, {Failed()}), true);
    EXPECT_EQ(plan.dialog, FinishDialog::None);
    EXPECT_TRUE(plan.showError);
}

TEST_F(FinishBatchPlanTest, ArabicIsolatesNamesInDialogsAndReport) {
    const ScopedInterfaceLanguage arabic(InterfaceLanguage::Arabic);
    const FinishBatchPlan single = PlanFinishBatch(Batch(1, {Failed(L"x")}), false);
    EXPECT_EQ(single.dialogContent, L"\u200Ef1.nsz\u200E\n\nx");
    const FinishBatchPlan report = PlanFinishBatch(Batch(2, {Failed(L"x"), Failed(L"y")}), false);
    EXPECT_EQ(report.reportText.rfind(L"\u200Ef1.nsz\u200E\r\nx", 0), 0u);
}

TEST(ResultsWindowHeight, GrowsThenStops) {
    const std::pair<std::uint64_t, int> cases[] = {{2, 310}, {3, 395}, {4, 420}, {100, 420}};
    for (const auto& [entries, height] : cases) {
        EXPECT_EQ(ResultsWindowHeight(entries), height) << entries;
    }
}

TEST(ApplyFinishBatch, EndsTheBatchAndKeepsAnUnchangedStatus) {
    MainWindowState state;
    state.batchActive = true;
    state.isConverting = true;
    state.statusText = L"Conversion cancelled.";
    FinishBatchPlan plan;
    plan.showDone = true;
    ApplyFinishBatch(state, plan);
    EXPECT_FALSE(state.batchActive);
    EXPECT_FALSE(state.isConverting);
    EXPECT_TRUE(state.showDone);
    EXPECT_EQ(state.statusText, L"Conversion cancelled.");
}

} // namespace
} // namespace vesko
