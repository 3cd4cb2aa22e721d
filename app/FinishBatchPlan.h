// What the end of a batch shows: the window's flags and status, and which of no dialog, the error
// dialog, the warning dialog or the results window follows, with its texts and size.
#pragma once

#include "app/MainWindowState.h"
#include "ui/Texts.h"

#include <cstdint>
#include <string>

namespace vesko {

enum class FinishDialog { None, ErrorDialog, WarningDialog, ResultsWindow };

struct FinishBatchPlan {
    bool showDone = false;
    bool showError = false;
    bool showWarning = false;
    TextKey actionCaption = TextKey::TextConvertToNsp;
    bool statusChanged = false;
    std::wstring statusText;

    FinishDialog dialog = FinishDialog::None;
    // Task dialog (error or warning): title, main instruction, content, and the saved NSP that
    // "Open folder" shows.
    std::wstring dialogTitle;
    std::wstring dialogInstruction;
    std::wstring dialogContent;
    std::wstring dialogOutputPath;
    // Results window.
    std::wstring reportText;
    std::wstring resultsTitle;
    std::uint64_t reportEntries = 0;
    int resultsHeight96 = 0;      // at 96 DPI
    bool fallbackIsError = false; // icon of the message box that stands in for the results window
};

FinishBatchPlan PlanFinishBatch(const BatchState& batch, bool closeRequested);

// Step one and two of the end of a batch: the window's flags, status and the end of the batch.
void ApplyFinishBatch(MainWindowState& state, const FinishBatchPlan& plan);

// Height of the results window at 96 DPI for a number of listed problems.
int ResultsWindowHeight(std::uint64_t entries);

} // namespace vesko
