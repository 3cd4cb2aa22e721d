#include "app/FinishBatchPlan.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

#include <tuple>

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

const std::wstring kReadFailed = L"Could not read the file. Copy it to a local folder and try again.";
BatchItemResult Failed(std::wstring message = kReadFailed) {
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

struct PlanCase {
    const char* name;
    BatchState batch;
    Want want;
    bool closing = false;
};

TEST(PlanFinishBatch, FlagsStatusAndDialog) {
    const ScopedInterfaceLanguage english(InterfaceLanguage::English);
    using enum FinishDialog;
    // Columns: done, error, warning, caption, status changed, status, dialog, its title, instruction,
    // content and output path, report, results title, entries, height, fallback is an error.
    const TextKey open = TextKey::TextOpenFolder;
    const TextKey convert = TextKey::TextConvertToNsp;
    const std::wstring inUse =
        L"NSP created. Another app is using the source, so it was kept. Close that app and "
        L"delete the source manually.";
    const std::wstring notDeleted =
        L"The NSP was saved, but the source could not be deleted. The source was kept.";
    const std::wstring warnTitle = L"Conversion completed with warnings";
    const std::wstring kept = L"NSP created, source not deleted";
    const PlanCase cases[] = {
        {"one saved", Batch(1, {Saved(L"game")}), {true, false, false, open, true, L"Done: game.nsp"}},
        {"one saved, its source deleted",
         Batch(1, {Saved(L"game", true)}),
         {true, false, false, open, true, L"Done. Source file deleted."}},
        {"source kept, another app uses it",
         Batch(1, {Saved(L"game", false, 32)}),
         {true, false, true, open, true, inUse, WarningDialog, warnTitle, kept, L"f1.nsz\n\n" + inUse,
          L"C:\\g\\game.nsp"}},
        {"source kept for another reason",
         Batch(1, {Saved(L"game", false, 5)}),
         {true, false, true, open, true, notDeleted, WarningDialog, warnTitle, kept,
          L"f1.nsz\n\n" + notDeleted, L"C:\\g\\game.nsp"}},
        {"one failure",
         Batch(1, {Failed()}),
         {false, true, false, convert, true, kReadFailed, ErrorDialog, L"Conversion error",
          L"Conversion error", L"f1.nsz\n\n" + kReadFailed}},
        {"closing shows no dialog",
         Batch(1, {Failed()}),
         {false, true, false, convert, true, kReadFailed},
         true},
        {"one file cancelled keeps the status", Batch(1, {}, true), {}},
        {"two saved",
         Batch(2, {Saved(L"a"), Saved(L"b")}),
         {true, false, false, open, true, L"Saved: 2 · Failed: 0"}},
        {"two, one source kept",
         Batch(2, {Saved(L"a", false, 32), Saved(L"b")}),
         {true, false, true, open, true, L"Saved: 2 · Failed: 0\nSources kept: 1", WarningDialog, warnTitle,
          kept, L"f1.nsz\n\n" + inUse, L"C:\\g\\a.nsp"}},
        {"cancel in the second of three",
         Batch(3, {Saved(L"a")}, true),
         {true, false, false, open, true, L"Saved: 1 · Failed: 0 · Not processed: 2"}},
        {"three failures",
         Batch(3, {Failed(L"one"), Failed(L"two"), Failed(L"three")}),
         {false, true, false, convert, true, L"Saved: 0 · Failed: 3", ResultsWindow, L"", L"", L"", L"",
          L"f1.nsz\r\none\r\n\r\nf2.nsz\r\ntwo\r\n\r\nf3.nsz\r\nthree", L"Conversion results", 3, 395, true}},
        {"four failures and a kept source",
         Batch(5, {Failed(L"1"), Failed(L"2"), Saved(L"c", false, 32), Failed(L"4"), Failed(L"5")}),
         {true, true, true, open, true, L"Saved: 1 · Failed: 4\nSources kept: 1", ResultsWindow, L"", L"",
          L"", L"",
          L"f1.nsz\r\n1\r\n\r\nf2.nsz\r\n2\r\n\r\nf3.nsz\r\n" + inUse +
              L"\r\n\r\nf4.nsz\r\n4\r\n\r\nf5.nsz\r\n5",
          warnTitle, 5, 420, true}},
        {"kept and failed, two not processed",
         Batch(5, {Saved(L"a", false, 32), Failed(L"x"), Saved(L"c")}, true),
         {true, true, true, open, true, L"Saved: 2 · Failed: 1 · Not processed: 2\nSources kept: 1",
          ResultsWindow, L"", L"", L"", L"", L"f1.nsz\r\n" + inUse + L"\r\n\r\nf2.nsz\r\nx", warnTitle, 2,
          310, true}},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FinishBatchPlan got = PlanFinishBatch(c.batch, c.closing);
        EXPECT_EQ(Fields(got), Fields(c.want));
    }
}

TEST(PlanFinishBatch, ArabicIsolatesNamesInDialogsAndReport) {
    const ScopedInterfaceLanguage arabic(InterfaceLanguage::Arabic);
    const FinishBatchPlan single = PlanFinishBatch(Batch(1, {Failed(L"x")}), false);
    EXPECT_EQ(single.dialogContent, L"\u200Ef1.nsz\u200E\n\nx");
    const FinishBatchPlan report = PlanFinishBatch(Batch(2, {Failed(L"x"), Failed(L"y")}), false);
    EXPECT_EQ(report.reportText.rfind(L"\u200Ef1.nsz\u200E\r\nx", 0), 0u);
}

TEST(ResultsWindowHeight, GrowsThenStops) {
    for (const auto& [entries, height] :
         {std::pair<std::uint64_t, int>{2, 310}, {3, 395}, {4, 420}, {5, 420}, {100, 420}}) {
        EXPECT_EQ(ResultsWindowHeight(entries), height) << entries;
    }
}

TEST(ApplyFinishBatch, EndsTheBatchAndKeepsAnUnchangedStatus) {
    MainWindowState state;
    state.batchActive = true;
    state.isConverting = true;
    state.statusText = L"Conversion cancelled.";
    // The warning flag of a kept source reaches the window next to the other two.
    FinishBatchPlan plan;
    plan.showDone = true;
    plan.showWarning = true;
    ApplyFinishBatch(state, plan);
    EXPECT_FALSE(state.batchActive || state.isConverting || state.showError);
    EXPECT_TRUE(state.showDone && state.showWarning);
    EXPECT_EQ(state.statusText, L"Conversion cancelled.");
}

} // namespace
} // namespace vesko
