// What the window shows and does in each state, what a drop or the command line selects, what the
// taskbar button shows and where the window opens.
#include "app/FileIntake.h"
#include "app/Scaling.h"
#include "app/TaskbarProgress.h"
#include "app/WindowView.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

#include <map>

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
    using enum VisibleState;
    using enum TextKey;
    // clang-format off
    const Case cases[] = {
        {"empty", empty, false, Empty, {true, true, false, TextConvertToNsp}},
        {"ready", ready, false, Ready, {true, true, true, TextConvertToNsp}},
        {"converting", converting, false, Converting, {false, false, true, TextCancel}},
        {"cancelling", converting, true, Cancelling, {false, false, false, TextCancel}},
        {"between files", between, false, BetweenFiles, {false, false, true, TextCancel}},
        {"done", done, false, Done, {true, true, true, TextOpenFolder}},
        {"closing", closing, true, Closing, {false, false, false, TextCancel}},
    };
    // clang-format on
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

TEST(ActionFor, FirstMatchingLineActsAndCloseWaitsForTheWorkerAndAnOpenQuestion) {
    MainWindowState state;
    EXPECT_EQ(ActionFor(state), ActionCommand::ChooseNszFiles);
    EXPECT_EQ(CloseFor(state), CloseCommand::DestroyNow);
    state.selectedFiles = {L"a.nsz"};
    EXPECT_EQ(ActionFor(state), ActionCommand::StartBatch);
    state.showDone = true;
    EXPECT_EQ(ActionFor(state), ActionCommand::OpenOutputFolder);
    EXPECT_EQ(CloseFor(state), CloseCommand::DestroyNow);
    state.batchActive = true;
    // No batch starts while one is active.
    EXPECT_EQ(ActionFor(state), ActionCommand::Nothing);
    EXPECT_EQ(CloseFor(state), CloseCommand::DestroyAfterQuestion);
    state.isConverting = true;
    EXPECT_EQ(ActionFor(state), ActionCommand::RequestCancel);
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

const std::wstring kLongName = L"C:\\" + std::wstring(300, L'd') + L"\\Игра 1.NsZ";

// C:\drop holds two NSZ files (one in capitals) and a text file; C:\empty holds nothing.
PathLookup FakeDisk() {
    static const std::map<std::wstring, PathKind> kinds = {
        {L"C:\\one.nsz", PathKind::File},     {L"C:\\readme.txt", PathKind::File},
        {L"C:\\drop\\b.nsz", PathKind::File}, {kLongName, PathKind::File},
        {L"C:\\drop", PathKind::Folder},      {L"C:\\empty", PathKind::Folder}};
    static const std::vector<std::wstring> drop = {L"b.nsz", L"notes.txt", L"A.NSZ"};
    return PathLookup{[](const std::wstring& path) {
                          const auto found = kinds.find(path);
                          return found == kinds.end() ? PathKind::Missing : found->second;
                      },
                      [](const std::wstring& folder) {
                          return folder == L"C:\\drop" ? drop : std::vector<std::wstring>{};
                      }};
}

TEST(NszFilesAmong, TakesNszFilesAndFoldersOneLevelDeep) {
    using Paths = std::vector<std::wstring>;
    const std::pair<Paths, Paths> cases[] = {
        {{L"C:\\one.nsz", L"C:\\drop", L"C:\\readme.txt"},
         {L"C:\\one.nsz", L"C:\\drop\\A.NSZ", L"C:\\drop\\b.nsz"}},
        {{L"C:\\drop\\b.nsz", L"C:\\drop"}, {L"C:\\drop\\b.nsz", L"C:\\drop\\A.NSZ"}},
        {{L"C:\\readme.txt", L"C:\\gone.nsz", L"C:\\empty"}, {}},
        {{kLongName}, {kLongName}},
    };
    for (const auto& [paths, taken] : cases) {
        SCOPED_TRACE(testing::PrintToString(paths.size()) + " paths, the first " +
                     testing::PrintToString(paths.front().size()) + " characters long");
        EXPECT_EQ(NszFilesAmong(paths, FakeDisk()), taken);
    }
}

TEST(IntakeFor, RefusedDuringABatchAndSaysSoWhenNothingIsTaken) {
    const ScopedInterfaceLanguage english(InterfaceLanguage::English);
    MainWindowState idle;
    idle.selectedFiles = {L"C:\\kept.nsz"};
    idle.showDone = true;
    EXPECT_EQ(IntakeFor(idle, {L"C:\\a.nsz"}), IntakeCommand::Select);
    EXPECT_EQ(IntakeFor(idle, {}), IntakeCommand::NothingTaken);
    for (bool MainWindowState::*busy :
         {&MainWindowState::batchActive, &MainWindowState::isConverting, &MainWindowState::closeRequested}) {
        MainWindowState state = idle;
        state.*busy = true;
        EXPECT_EQ(IntakeFor(state, {L"C:\\a.nsz"}), IntakeCommand::Refuse);
    }
    ApplyNothingTaken(idle);
    EXPECT_EQ(idle.selectedFiles, std::vector<std::wstring>{L"C:\\kept.nsz"});
    EXPECT_EQ(idle.statusText, L"No NSZ files among these items. The selection is unchanged.");
    EXPECT_TRUE(idle.showError && idle.showDone);
}

// A batch of four at its second file unless it has ended.
MainWindowState Batch(bool active, bool converting, std::uint64_t failed, std::uint64_t kept) {
    MainWindowState state;
    state.batch.files = {L"1", L"2", L"3", L"4"};
    state.batch.index = 1;
    state.batchActive = active;
    state.isConverting = converting;
    state.batch.failedCount = failed;
    state.batch.keptCount = kept;
    return state;
}

TEST(TaskbarLookFor, FollowsTheBatch) {
    const ProgressSnapshot half{500, 1000, 0, false};
    struct Case {
        const char* name;
        MainWindowState state;
        ProgressSnapshot progress;
        bool endDialogOpen;
        TaskbarLook look;
    };
    using enum TaskbarMode;
    // clang-format off
    const Case cases[] = {
        {"converting", Batch(true, true, 0, 0), half, false, {Normal, 1500, 4000}},
        {"99 % at most", Batch(true, true, 0, 0), {1000, 1000, 1, false}, false, {Normal, 1990, 4000}},
        {"cancelling", Batch(true, true, 0, 0), {500, 1000, 0, true}, false, {Paused, 1500, 4000}},
        {"after a failed file", Batch(true, true, 1, 0), half, false, {Error, 1500, 4000}},
        {"folder question", Batch(true, false, 0, 0), half, false, {Paused, 1000, 4000}},
        {"error dialog at the end", Batch(false, false, 1, 0), {}, true, {Error, 1, 1}},
        {"kept-source question", Batch(false, false, 0, 1), {}, true, {Paused, 1, 1}},
        {"ended", Batch(false, false, 1, 0), {}, false, {}},
        {"nothing went wrong", Batch(false, false, 0, 0), {}, true, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(TaskbarLookFor(c.state, c.progress, c.endDialogOpen) == c.look);
    }
}

TEST(StartDpiFor, TheMonitorsOwnDpiFittedToItsWorkArea) {
    const PixelRect full{1920, 0, 3840, 1040};
    const PixelRect small{0, 0, 1366, 728};
    EXPECT_EQ(StartDpiFor(144, 96, &full), 144u);   // a second monitor at 144, the primary at 96
    EXPECT_EQ(StartDpiFor(0, 120, &full), 120u);    // unreadable: the system DPI
    EXPECT_EQ(StartDpiFor(144, 96, &small), 103u);  // the work-area rule stays
    EXPECT_EQ(StartDpiFor(144, 96, nullptr), 144u); // no work area known
}

} // namespace
} // namespace vesko
