// What a drop or the command line selects, what the taskbar button shows, where the window opens,
// and that a batch cannot start while one is active.
#include "app/FileIntake.h"
#include "app/Scaling.h"
#include "app/TaskbarProgress.h"
#include "app/WindowView.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

#include <map>

namespace vesko {
namespace {

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
    const Case cases[] = {
        {"converting", Batch(true, true, 0, 0), half, false, {TaskbarMode::Normal, 1500, 4000}},
        {"99 % at most",
         Batch(true, true, 0, 0),
         {1000, 1000, 1, false},
         false,
         {TaskbarMode::Normal, 1990, 4000}},
        {"cancelling",
         Batch(true, true, 0, 0),
         {500, 1000, 0, true},
         false,
         {TaskbarMode::Paused, 1500, 4000}},
        {"after a failed file", Batch(true, true, 1, 0), half, false, {TaskbarMode::Error, 1500, 4000}},
        {"folder question", Batch(true, false, 0, 0), half, false, {TaskbarMode::Paused, 1000, 4000}},
        {"error dialog at the end", Batch(false, false, 1, 0), {}, true, {TaskbarMode::Error, 1, 1}},
        {"kept-source question", Batch(false, false, 0, 1), {}, true, {TaskbarMode::Paused, 1, 1}},
        {"ended", Batch(false, false, 1, 0), {}, false, {}},
        {"nothing went wrong", Batch(false, false, 0, 0), {}, true, {}},
    };
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

TEST(ActionFor, StartsNoBatchWhileOneIsActive) {
    MainWindowState between = Batch(true, false, 0, 0);
    between.selectedFiles = {L"a.nsz"};
    EXPECT_EQ(ActionFor(between), ActionCommand::Nothing);
}

} // namespace
} // namespace vesko
