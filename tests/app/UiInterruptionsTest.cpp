// Scenarios that interrupt a batch: cancelling, closing, and a destination that cannot be written.
#include "tests/app/UiScenarioSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace vesko::ui_driver {
namespace {

namespace fs = std::filesystem;

TEST(UiDriver, CancelInTheMiddleOfAFileLeavesNothingBehind) {
    constexpr int kCopies = 12;
    test::TempDir dir;
    RunningApp app;
    ASSERT_TRUE(app.started());
    StartLongBatch(app, dir, kCopies);
    EXPECT_EQ(TextOf(app.control(kAction)), L"Cancel");
    EXPECT_FALSE(IsWindowEnabled(app.control(kChoose)));
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    ASSERT_TRUE(WaitUntil([&] { return BatchEnded(app); }, kBatchTimeoutMs));
    EXPECT_LT(NspCount(dir.path()), static_cast<std::size_t>(kCopies));
    EXPECT_EQ(FindTopWindow(app.processId(), L"#32770"), nullptr) << "cancelling shows no dialog";
    ExpectNoLeftovers(dir.path());
}

TEST(UiDriver, ClosingDuringAConversionEndsTheProgramWithZero) {
    constexpr int kCopies = 12;
    test::TempDir dir;
    RunningApp app;
    ASSERT_TRUE(app.started());
    StartLongBatch(app, dir, kCopies);
    PostMessageW(app.mainWindow(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.waitForExit(kBatchTimeoutMs), 0u);
    EXPECT_FALSE(IsWindow(app.mainWindow()));
    EXPECT_LT(NspCount(dir.path()), static_cast<std::size_t>(kCopies));
    ExpectNoLeftovers(dir.path());
}

TEST(UiDriver, DestinationFailureAnsweredWithAnotherFolder) {
    const std::wstring locked = LockedFolder();
    if (locked.empty()) {
        GTEST_SKIP() << "no unwritable folder could be prepared on this machine";
    }
    test::TempDir other;
    const BuiltFiles expected = testfiles::BuildNsz(LockedSpec());
    ASSERT_TRUE(testfiles::ReadWholeFile(locked + L"\\locked.nsz") == expected.nsz)
        << "the prepared file is not the one this test expects";
    RunningApp app;
    ASSERT_TRUE(app.started());
    ChooseFiles(app, locked, {L"locked.nsz"});
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    HWND question =
        WaitForTopWindow(app.processId(), L"#32770", L"Choose a folder for the NSP", kBatchTimeoutMs);
    ASSERT_NE(question, nullptr) << "no question for another folder";
    ASSERT_TRUE(PostMessageW(question, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(question); }, kDialogTimeoutMs));
    HWND picker =
        WaitForTopWindow(app.processId(), L"#32770", L"Choose a folder for the NSP", kDialogTimeoutMs);
    ASSERT_NE(picker, nullptr) << "no folder picker";
    ASSERT_TRUE(ChooseInFolderPicker(picker, other.path()));
    ASSERT_TRUE(WaitUntil([&] { return TextOf(app.control(kAction)) == L"Open folder"; }, kBatchTimeoutMs));
    EXPECT_TRUE(testfiles::ReadWholeFile(other.file(L"locked.nsp")) == expected.nsp);
    EXPECT_FALSE(fs::exists(fs::path(locked + L"\\locked.nsp")));
    ExpectNoLeftovers(other.path());
}

TEST(UiDriver, ClosingWhileTheFolderQuestionIsOpenEndsOnceItIsAnswered) {
    const std::wstring locked = LockedFolder();
    if (locked.empty()) {
        GTEST_SKIP() << "no unwritable folder could be prepared on this machine";
    }
    RunningApp app;
    ASSERT_TRUE(app.started());
    ChooseFiles(app, locked, {L"locked.nsz"});
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    HWND question =
        WaitForTopWindow(app.processId(), L"#32770", L"Choose a folder for the NSP", kBatchTimeoutMs);
    ASSERT_NE(question, nullptr);
    // Windows may close a window whatever dialog it shows (a log-off, a task manager). Both
    // messages go to one thread's queue, so the close arrives before the answer.
    ASSERT_TRUE(PostMessageW(app.mainWindow(), WM_CLOSE, 0, 0));
    ASSERT_TRUE(PostMessageW(question, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0));
    EXPECT_EQ(app.waitForExit(kBatchTimeoutMs), 0u);
    EXPECT_EQ(FindTopWindow(app.processId(), L"#32770"), nullptr) << "no folder picker after closing";
    EXPECT_FALSE(fs::exists(fs::path(locked + L"\\locked.nsp")));
}

} // namespace
} // namespace vesko::ui_driver

// "--prepare-locked FOLDER" writes the file of the destination scenario before the script locks it.
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--prepare-locked") {
        const auto built = vesko::testfiles::BuildNsz(vesko::ui_driver::LockedSpec());
        vesko::testfiles::WriteWholeFile(std::filesystem::path(argv[2]).wstring() + L"\\locked.nsz",
                                         built.nsz);
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
