// What the main window shows for its state: control looks, the action, the status line, the bar
// and the card. Painting and the window procedure only carry these out.
#pragma once

#include "app/MainWindowState.h"
#include "ui/Texts.h"

#include <cstdint>
#include <string>

namespace vesko {

enum class VisibleState { Empty, Ready, Converting, Cancelling, BetweenFiles, Done, Closing };
VisibleState VisibleStateOf(const MainWindowState& state, bool cancelRequested);

struct ControlLook {
    bool chooseEnabled = true;
    bool deleteSourcesEnabled = true;
    bool actionEnabled = false;
    TextKey actionCaption = TextKey::TextConvertToNsp;
};
ControlLook ControlLookFor(VisibleState visible);

// Nothing between two files of a batch (the folder question may be open): a second batch must not
// start while one is active, whatever dialog is showing.
enum class ActionCommand { Nothing, RequestCancel, OpenOutputFolder, ChooseNszFiles, StartBatch };
ActionCommand ActionFor(const MainWindowState& state);

// Closing the window: at once when idle; after the worker when converting (cancelling it); and,
// between two files while the folder question is open, once the question is answered.
enum class CloseCommand { DestroyNow, CancelThenDestroy, DestroyAfterQuestion };
CloseCommand CloseFor(const MainWindowState& state);

struct ProgressSnapshot {
    std::uint64_t written = 0;
    std::uint64_t total = 0;
    std::int32_t phase = 0;
    bool cancelRequested = false;
};

enum class StatusColour { Secondary, Error, Warning, Done };
struct StatusLine {
    std::wstring text;
    StatusColour colour = StatusColour::Secondary;
};
StatusLine StatusLineFor(const MainWindowState& state, const ProgressSnapshot& progress);

// The bar's filled fraction (none when <= 0) and whether it wears the done colour.
struct ProgressBarLook {
    double fraction = 0.0;
    bool done = false;
};
ProgressBarLook ProgressBarFor(const MainWindowState& state, const ProgressSnapshot& progress);

struct CardTexts {
    bool hasSource = false;
    std::wstring title;    // or the placeholder when there is no source
    std::wstring subtitle; // empty without a source
};
CardTexts CardFor(const MainWindowState& state);

inline constexpr const wchar_t* kFormatLabel = L"NSZ  \u2192  NSP";

} // namespace vesko
