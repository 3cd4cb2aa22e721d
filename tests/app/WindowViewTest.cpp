#include "app/WindowView.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {

TEST(VisibleState, ControlsFollowTheStateTable) {
    const ScopedInterfaceLanguage english(InterfaceLanguage::English);
    struct Case {
        const char* name;
        MainWindowState state;
        bool cancel;
        VisibleState visible;
        ControlLook look;
    };
    MainWindowState empty;
    MainWindowState ready;
    ready.selectedFiles = {L"a.nsz"};
    MainWindowState converting = ready;
    converting.isConverting = true;
    converting.batchActive = true;
    MainWindowState between = ready;
    between.batchActive = true;
    MainWindowState done = ready;
    done.showDone = true;
    MainWindowState closing = converting;
    closing.closeRequested = true;
    const Case cases[] = {
        {"empty", empty, false, VisibleState::Empty, {true, true, false, TextKey::TextConvertToNsp}},
        {"ready", ready, false, VisibleState::Ready, {true, true, true, TextKey::TextConvertToNsp}},
        {"converting",
         converting,
         false,
         VisibleState::Converting,
         {false, false, true, TextKey::TextCancel}},
        {"cancelling",
         converting,
         true,
         VisibleState::Cancelling,
         {false, false, false, TextKey::TextCancel}},
        {"between files",
         between,
         false,
         VisibleState::BetweenFiles,
         {false, false, true, TextKey::TextCancel}},
        {"done", done, false, VisibleState::Done, {true, true, true, TextKey::TextOpenFolder}},
        {"closing", closing, true, VisibleState::Closing, {false, false, false, TextKey::TextCancel}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const VisibleState visible = VisibleStateOf(c.state, c.cancel);
        EXPECT_EQ(visible, c.visible);
        const ControlLook look = ControlLookFor(visible);
        EXPECT_EQ(look.chooseEnabled, c.look.chooseEnabled);
        EXPECT_EQ(look.deleteSourcesEnabled, c.look.deleteSourcesEnabled);
        EXPECT_EQ(look.actionEnabled, c.look.actionEnabled);
        EXPECT_EQ(look.actionCaption, c.look.actionCaption);
    }
}

TEST(ActionFor, FirstMatchingLineActs) {
    MainWindowState state;
    EXPECT_EQ(ActionFor(state), ActionCommand::ChooseNszFiles);
    state.selectedFiles = {L"a.nsz"};
    EXPECT_EQ(ActionFor(state), ActionCommand::StartBatch);
    state.showDone = true;
    EXPECT_EQ(ActionFor(state), ActionCommand::OpenOutputFolder);
    state.isConverting = true;
    EXPECT_EQ(ActionFor(state), ActionCommand::RequestCancel);
}

TEST(CloseFor, WaitsForTheWorkerAndForAnOpenQuestion) {
    MainWindowState state;
    EXPECT_EQ(CloseFor(state), CloseCommand::DestroyNow);
    state.selectedFiles = {L"a.nsz"};
    state.showDone = true;
    EXPECT_EQ(CloseFor(state), CloseCommand::DestroyNow);
    state.batchActive = true;
    EXPECT_EQ(CloseFor(state), CloseCommand::DestroyAfterQuestion);
    state.isConverting = true;
    EXPECT_EQ(CloseFor(state), CloseCommand::CancelThenDestroy);
}

TEST(StatusLineFor, ProgressTextWhileConvertingAndColours) {
    const ScopedInterfaceLanguage english(InterfaceLanguage::English);
    MainWindowState state;
    state.statusText = L"Preparing file…";
    state.isConverting = true;
    EXPECT_EQ(StatusLineFor(state, {0, 0, 0, false}).text, L"Preparing file…");
    const std::uint64_t gib = 1ull << 30;
    EXPECT_EQ(StatusLineFor(state, {gib * 12 / 10, gib * 34 / 10, 0, false}).text,
              L"Converting…  1.2 GB / 3.4 GB");
    EXPECT_EQ(StatusLineFor(state, {gib, gib, 1, false}).text, L"Finishing save…");
    state.statusText = L"Cancelling…";
    EXPECT_EQ(StatusLineFor(state, {5, 10, 0, true}).text, L"Cancelling…");
    state.isConverting = false;
    EXPECT_EQ(StatusLineFor(state, {5, 10, 0, false}).colour, StatusColour::Secondary);
    state.showDone = true;
    EXPECT_EQ(StatusLineFor(state, {}).colour, StatusColour::Done);
    state.showWarning = true;
    EXPECT_EQ(StatusLineFor(state, {}).colour, StatusColour::Warning);
    state.showError = true;
    EXPECT_EQ(StatusLineFor(state, {}).colour, StatusColour::Error);
}

TEST(ProgressBarFor, CapsWhileConvertingAndKeepsAFailedFraction) {
    MainWindowState state;
    state.isConverting = true;
    EXPECT_DOUBLE_EQ(ProgressBarFor(state, {10, 10, 0, false}).fraction, 0.99);
    EXPECT_DOUBLE_EQ(ProgressBarFor(state, {20, 10, 0, false}).fraction, 0.99);
    EXPECT_DOUBLE_EQ(ProgressBarFor(state, {0, 0, 0, false}).fraction, 0.0);
    // After a one-file batch that failed at 40 % the bar stays, in the accent colour.
    state.isConverting = false;
    state.showError = true;
    const ProgressBarLook failed = ProgressBarFor(state, {40, 100, 0, false});
    EXPECT_DOUBLE_EQ(failed.fraction, 0.4);
    EXPECT_FALSE(failed.done);
    state.showDone = true;
    EXPECT_DOUBLE_EQ(ProgressBarFor(state, {0, 0, 0, false}).fraction, 1.0);
    EXPECT_TRUE(ProgressBarFor(state, {0, 0, 0, false}).done);
    state.isConverting = true;
    EXPECT_DOUBLE_EQ(ProgressBarFor(state, {0, 0, 0, false}).fraction, 0.99);
}

TEST(CardFor, TitlesAndSubtitles) {
    const ScopedInterfaceLanguage english(InterfaceLanguage::English);
    MainWindowState state;
    EXPECT_FALSE(CardFor(state).hasSource);
    EXPECT_EQ(CardFor(state).title, L"Choose NSZ files");

    state.selectedFiles = {L"C:\\d\\game.nsz"};
    state.currentSource = L"C:\\d\\game.nsz";
    state.currentFileSize = 1363149;
    EXPECT_EQ(CardFor(state).title, L"game.nsz");
    EXPECT_EQ(CardFor(state).subtitle, L"NSZ  ·  1.3 MB");

    state.selectedFiles = {L"C:\\d\\a.nsz", L"C:\\d\\b.nsz", L"C:\\d\\c.nsz"};
    state.currentSource = L"C:\\d\\a.nsz";
    EXPECT_EQ(CardFor(state).title, L"Selected files: 3");
    EXPECT_EQ(CardFor(state).subtitle, L"NSZ  →  NSP");

    state.batchActive = true;
    state.batch.files = state.selectedFiles;
    state.batch.index = 1;
    state.currentSource = L"C:\\d\\b.nsz";
    EXPECT_EQ(CardFor(state).title, L"b.nsz");
    EXPECT_EQ(CardFor(state).subtitle, L"File 2 / 3");
}

} // namespace
} // namespace vesko
