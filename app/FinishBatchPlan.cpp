#include "app/FinishBatchPlan.h"

#include "app/OutputPath.h"
#include "ui/FailureMessage.h"

#include <algorithm>
#include <string>

namespace vesko {
namespace {

bool IsProblem(const BatchItemResult& item) {
    return item.saved == 0 || item.sourceKept != 0;
}

// The text that explains a problem: the kept-source warning, or the file's own message.
std::wstring ProblemText(const BatchItemResult& item) {
    if (item.sourceKept != 0) {
        return Text(SourceKeptWarningKey(item.deleteError));
    }
    return item.message;
}

std::wstring CountsStatus(const BatchState& batch) {
    std::wstring text = std::wstring(Text(TextKey::TextSaved)) + L": " + std::to_wstring(batch.savedCount) +
                        L" \u00B7 " + Text(TextKey::TextFailed) + L": " + std::to_wstring(batch.failedCount);
    if (batch.index != batch.files.size()) {
        text += std::wstring(L" \u00B7 ") + Text(TextKey::TextNotProcessed) + L": " +
                std::to_wstring(batch.files.size() - batch.index);
    }
    if (batch.keptCount != 0) {
        text +=
            std::wstring(L"\n") + Text(TextKey::TextSourcesKept) + L": " + std::to_wstring(batch.keptCount);
    }
    return text;
}

void PlanSingleProblem(const BatchState& batch, FinishBatchPlan& plan) {
    const auto found = std::find_if(batch.results.begin(), batch.results.end(), IsProblem);
    if (found == batch.results.end()) {
        return;
    }
    const std::wstring name = IsolateLeftToRight(FileNameOf(found->sourcePath));
    if (found->saved == 0) {
        plan.dialog = FinishDialog::ErrorDialog;
        plan.dialogTitle = Text(TextKey::TextConversionErrorTitle);
        plan.dialogInstruction = Text(TextKey::TextConversionErrorTitle);
        plan.dialogContent = name + L"\n\n" + found->message;
    } else {
        plan.dialog = FinishDialog::WarningDialog;
        plan.dialogTitle = Text(TextKey::TextWarnCompleted);
        plan.dialogInstruction = Text(TextKey::TextWarnSourceNotDeleted);
        plan.dialogContent = name + L"\n\n" + Text(SourceKeptWarningKey(found->deleteError));
        plan.dialogOutputPath = found->outputPath;
    }
}

void PlanResultsWindow(const BatchState& batch, FinishBatchPlan& plan) {
    for (const BatchItemResult& item : batch.results) {
        if (!IsProblem(item)) {
            continue;
        }
        if (plan.reportEntries != 0) {
            plan.reportText += L"\r\n\r\n";
        }
        plan.reportText += IsolateLeftToRight(FileNameOf(item.sourcePath)) + L"\r\n" + ProblemText(item);
        ++plan.reportEntries;
    }
    if (plan.reportEntries == 0) {
        return;
    }
    plan.dialog = FinishDialog::ResultsWindow;
    plan.resultsTitle = Text(batch.keptCount != 0 ? TextKey::TextWarnCompleted : TextKey::TextResultsTitle);
    plan.resultsHeight96 = ResultsWindowHeight(plan.reportEntries);
    plan.fallbackIsError = batch.failedCount != 0;
}

} // namespace

int ResultsWindowHeight(std::uint64_t entries) {
    constexpr std::uint64_t kTallest = 420;
    return static_cast<int>(
        std::min<std::uint64_t>(85 * std::min<std::uint64_t>(entries, 5) + 140, kTallest));
}

FinishBatchPlan PlanFinishBatch(const BatchState& batch, bool closeRequested) {
    FinishBatchPlan plan;
    plan.showDone = batch.savedCount != 0;
    plan.showError = batch.failedCount != 0;
    plan.showWarning = batch.keptCount != 0;
    plan.actionCaption = plan.showDone ? TextKey::TextOpenFolder : TextKey::TextConvertToNsp;

    if (batch.files.size() == 1 && batch.results.size() == 1) {
        const BatchItemResult& only = batch.results.front();
        plan.statusChanged = true;
        plan.statusText =
            only.sourceKept != 0 ? std::wstring(Text(SourceKeptWarningKey(only.deleteError))) : only.message;
        if (only.sourceDeleted != 0) {
            plan.statusText =
                std::wstring(Text(TextKey::TextDone)) + L". " + Text(TextKey::TextSourceDeleted);
        }
    } else if (batch.files.size() >= 2) {
        plan.statusChanged = true;
        plan.statusText = CountsStatus(batch);
    }

    // Closing the window during the batch: nothing more is shown.
    if (closeRequested) {
        return plan;
    }
    const std::uint64_t problems = batch.failedCount + batch.keptCount;
    if (problems == 1) {
        PlanSingleProblem(batch, plan);
    } else if (problems >= 2) {
        PlanResultsWindow(batch, plan);
    }
    return plan;
}

void ApplyFinishBatch(MainWindowState& state, const FinishBatchPlan& plan) {
    state.showDone = plan.showDone;
    state.showError = plan.showError;
    state.showWarning = plan.showWarning;
    state.batchActive = false;
    state.isConverting = false;
    if (plan.statusChanged) {
        state.statusText = plan.statusText;
    }
}

} // namespace vesko
