// What a drop or the command line selects, what the taskbar button shows, where the window opens,
// and that a batch cannot start while one is active.
#include "app/FileIntake.h"
#include "app/Scaling.h"
#include "app/TaskbarProgress.h"
#include "app/WindowView.h"
#include "ui/ScopedInterfaceLanguage.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace vesko {
namespace {

// C:\drop holds two NSZ files (one in capitals) and a text file; C:\empty holds nothing.
PathLookup FakeDisk() {
    static const std::map<std::wstring, std::vector<std::wstring>> folders = {
        {L"C:\\drop", {L"b.nsz", L"notes.txt", L"A.NSZ"}}, {L"C:\\empty", {}}};
    static const std::set<std::wstring> files = {L"C:\\one.nsz", L"C:\\readme.txt", L"C:\\drop\\b.nsz",
                                                 L"C:\\" + std::wstring(300, L'd') + L"\\Игра 1.NsZ"};
    return PathLookup{[](const std::wstring& path) {
                          return folders.count(path) != 0 ? PathKind::Folder
                                 : files.count(path) != 0 ? PathKind::File
                                                          : PathKind::Missing;
                      },
                      [](const std::wstring& folder) { return folders.at(folder); }};
}

TEST(NszFilesAmong, TakesNszFilesAndFoldersOneLevelDeep) {
    const std::wstring longName = L"C:\\" + std::wstring(300, L'd') + L"\\Игра 1.NsZ";
    struct Case {
        std::vector<std::wstring> paths;
        std::vector<std::wstring> taken;
    };
    const Case cases[] = {
        {{L"C:\\one.nsz", L"C:\\drop", L"C:\\readme.txt"},
         {L"C:\\one.nsz", L"C:\\drop\\A.NSZ", L"C:\\drop\\b.nsz"}},
        {{L"C:\\drop\\b.nsz", L"C:\\drop", L"C:\\one.nsz"},
         {L"C:\\drop\\b.nsz", L"C:\\drop\\A.NSZ", L"C:\\one.nsz"}},
        {{L"C:\\readme.txt", L"C:\\gone.nsz", L"C:\\empty"}, {}},
        {{longName}, {longName}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.paths.size()) + " paths, first " +
                     testing::PrintToString(c.paths.front().size()) + " long");
        EXPECT_EQ(NszFilesAmong(c.paths, FakeDisk()), c.taken);
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
    EXPECT_TRUE(idle.showError);
    EXPECT_TRUE(idle.showDone);
}

TEST(TaskbarLookFor, FollowsTheBatch) {
    // A batch of four at its second file, half written.
    MainWindowState converting;
    converting.batch.files = {L"1", L"2", L"3", L"4"};
    converting.batch.index = 1;
    converting.batchActive = true;
    converting.isConverting = true;
    MainWindowState failedBefore = converting;
    failedBefore.batch.failedCount = 1;
    MainWindowState between = converting;
    between.isConverting = false;
    MainWindowState ended;
    ended.batch.failedCount = 1;
    MainWindowState endedKept;
    endedKept.batch.keptCount = 1;
    const ProgressSnapshot half{500, 1000, 0, false};
    struct Case {
        const char* name;
        const MainWindowState& state;
        ProgressSnapshot progress;
        bool endDialogOpen;
        TaskbarLook look;
    };
    const Case cases[] = {
        {"converting", converting, half, false, {TaskbarMode::Normal, 1500, 4000}},
        {"a whole file is 99 % while converting",
         converting,
         {1000, 1000, 1, false},
         false,
         {TaskbarMode::Normal, 1990, 4000}},
        {"cancelling", converting, {500, 1000, 0, true}, false, {TaskbarMode::Paused, 1500, 4000}},
        {"after a failed file", failedBefore, half, false, {TaskbarMode::Error, 1500, 4000}},
        {"folder question open", between, half, false, {TaskbarMode::Paused, 1000, 4000}},
        {"error dialog at the end", ended, {}, true, {TaskbarMode::Error, 1, 1}},
        {"kept-source question at the end", endedKept, {}, true, {TaskbarMode::Paused, 1, 1}},
        {"ended", ended, {}, false, {}},
        {"idle", MainWindowState{}, {}, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TaskbarLook look = TaskbarLookFor(c.state, c.progress, c.endDialogOpen);
        EXPECT_EQ(static_cast<int>(look.mode), static_cast<int>(c.look.mode));
        EXPECT_EQ(look.completed, c.look.completed);
        EXPECT_EQ(look.total, c.look.total);
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
    MainWindowState between;
    between.selectedFiles = {L"a.nsz"};
    between.batchActive = true;
    EXPECT_EQ(ActionFor(between), ActionCommand::Nothing);
}

} // namespace
} // namespace vesko
