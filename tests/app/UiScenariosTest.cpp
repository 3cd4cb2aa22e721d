// Scenarios that start the real application under wine and drive its windows and dialogs.
#include "tests/app/UiDriver.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vesko::ui_driver {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using namespace testfiles;

const std::wstring kFolderQuestion = L"Choose a folder for the NSP";
// The script makes this folder immutable, with SmallNsz(kLockedSeed) in it (see main).
constexpr std::uint64_t kLockedSeed = 42;

class UiDriver : public testing::Test {
  protected:
    // Which way a start failed: exit code 259 means the program still runs without a window.
    void SetUp() override { ASSERT_TRUE(app.started()) << "exit code " << app.waitForExit(0); }

    BuiltFiles Write(const std::wstring& name, std::uint64_t seed) {
        BuiltFiles built = SmallNsz(seed);
        WriteWholeFile(dir.file(name), built.nsz);
        return built;
    }
    bool Converted(const std::wstring& name, const BuiltFiles& built) {
        return ReadWholeFile(dir.file(name + L".nsp")) == built.nsp;
    }
    HWND Dialog(const std::wstring& title, const std::wstring& className = L"#32770") {
        return WaitForTopWindow(app.processId(), className, title, kBatchTimeoutMs);
    }
    // The dialog shows each part among its controls' texts, then closes as with Escape (false if none came).
    bool ShowsThenClose(const std::wstring& title, std::initializer_list<const wchar_t*> parts) {
        HWND dialog = Dialog(title);
        std::wstring all;
        ForEachChild(dialog, [&](HWND child) { return (all += TextOf(child) + L"|", true); });
        for (const wchar_t* part : parts) {
            EXPECT_NE(all.find(part), std::wstring::npos) << std::string(all.begin(), all.end());
        }
        return Dismiss(dialog, IDCANCEL);
    }
    bool Action() { return Press(app.mainWindow(), kAction); }
    bool ActionIs(const wchar_t* caption) { return TextOf(app.control(kAction)) == caption; }
    bool Enabled(int control) { return IsWindowEnabled(app.control(control)) != FALSE; }
    void ExpectNoLeftovers() { EXPECT_EQ(TemporaryOutputsIn(dir.path()) + JournalsNaming(dir.path()), 0u); }

    test::TempDir dir;
    RunningApp app;
};

TEST_F(UiDriver, StartsWithFourControlsInTabOrderAndABannerThatAnswersTheMouse) {
    HWND promo = app.control(kPromo), choose = app.control(kChoose), check = app.control(kDeleteSources),
         action = app.control(kAction);
    ASSERT_TRUE(promo && choose && check && action);
    EXPECT_EQ(std::make_tuple(TextOf(app.mainWindow()), TextOf(choose), TextOf(action), TextOf(check)),
              std::make_tuple(L"VESKO NSZ converter"s, L"Choose NSZ"s, L"Convert to NSP"s,
                              L"Delete sources after successful conversion (permanently)"s));
    EXPECT_EQ(TextOf(promo).rfind(L"Open vesko.example. Download games. ", 0), 0u);
    EXPECT_TRUE(!IsWindowEnabled(action) && IsWindowEnabled(choose) && IsWindowEnabled(check));
    EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    // The action button is disabled, so the tab order skips it back to the banner.
    const auto next = [&](HWND from) { return GetNextDlgTabItem(app.mainWindow(), from, FALSE); };
    EXPECT_EQ(std::make_tuple(next(promo), next(choose), next(check)), std::make_tuple(choose, check, promo));

    RECT banner{};
    ASSERT_TRUE(GetWindowRect(promo, &banner));
    // Left of the texts, in the upper panel, where the gradient starts.
    const POINT px{banner.left + 8, banner.top + (banner.bottom - banner.top) / 2};
    SetCursorPos(0, 0);
    // Painted at rest: near (21, 24, 33), the gradient's start colour.
    ASSERT_TRUE(WaitUntil([&] { return std::abs(GetGValue(ScreenPixel(px)) - 24) <= 2; }, kDialogTimeoutMs));
    const COLORREF rest = ScreenPixel(px);
    EXPECT_LE(std::abs(GetBValue(rest) - 33), 2);
    const auto shows = [&](int k) {
        const COLORREF want = RGB(GetRValue(rest) + k, GetGValue(rest) + k, GetBValue(rest) + k);
        return WaitUntil([&] { return ScreenPixel(px) == want; }, kDialogTimeoutMs);
    };
    // The 150 ms fade ends at the hovered look, every channel 8 brighter; pressed, 5 darker than that.
    EXPECT_TRUE(SetCursorPos(px.x + 40, px.y) && shows(8));
    SendMessageW(promo, BM_SETSTATE, TRUE, 0);
    EXPECT_TRUE(shows(3));
    SendMessageW(promo, BM_SETSTATE, FALSE, 0);
    EXPECT_TRUE(SetCursorPos(0, 0) && shows(0)) << "the fade-out ends at rest";
}

TEST_F(UiDriver, ConvertsFilesChosenInTheOpenDialogDeletesTheSourcesWhenAskedKeepsAHeldOneAndClosesWithZero) {
    const BuiltFiles built[] = {Write(L"game1.nsz", 1), Write(L"game2.nsz", 2), Write(L"held.nsz", 22)};
    // Another program reading the file without letting anyone delete it.
    const UniqueHandle holder(CreateFileW(dir.file(L"held.nsz").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
    ASSERT_TRUE(ChooseFiles(app, dir.path(), {L"game1.nsz", L"game2.nsz", L"held.nsz"}));
    EXPECT_TRUE(ActionIs(L"Convert to NSP"));
    HWND box = app.control(kDeleteSources);
    DWORD_PTR state = 0;
    const auto ticked = [&] { return SendWithin(box, BM_GETCHECK, 0, 0, &state) && state == BST_CHECKED; };
    ASSERT_TRUE(PostMessageW(box, BM_CLICK, 0, 0) && WaitUntil(ticked, kDialogTimeoutMs) && Action());
    ASSERT_TRUE(
        ShowsThenClose(L"Conversion completed with warnings",
                       {L"NSP created, source not deleted", L"held.nsz",
                        L"Another app is using the source, so it was kept.", L"Open folder", L"Close"}));
    EXPECT_TRUE(ActionIs(L"Open folder") && Enabled(kChoose));
    const wchar_t* const names[] = {L"game1", L"game2", L"held"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Converted(names[i], built[i])) << i;
        EXPECT_EQ(fs::exists(dir.file(names[i] + L".nsz"s)), i == 2) << i;
    }
    ExpectNoLeftovers();
    EXPECT_EQ(app.close(), 0u);
}

TEST_F(UiDriver, FailuresShowTheErrorDialogOrTheResultsWindowThatGoesWithTheProgram) {
    WriteWholeFile(dir.file(L"damaged.nsz"), std::vector<std::uint8_t>(4000, 0x5A));
    ASSERT_TRUE(ChooseFiles(app, dir.path(), {L"damaged.nsz"}) && Action());
    ASSERT_TRUE(ShowsThenClose(L"Conversion error", {L"damaged.nsz", L"Close"}));
    EXPECT_TRUE(ActionIs(L"Convert to NSP") && Enabled(kAction));
    EXPECT_FALSE(fs::exists(dir.file(L"damaged.nsp")));
    ExpectNoLeftovers();

    WriteWholeFile(dir.file(L"a-bad.nsz"), std::vector<std::uint8_t>(4000, 0x11));
    const BuiltFiles good = Write(L"b-good.nsz", 11);
    WriteWholeFile(dir.file(L"c-bad.nsz"), std::vector<std::uint8_t>(4000, 0x22));
    ASSERT_TRUE(ChooseFiles(app, dir.path(), {L"a-bad.nsz", L"b-good.nsz", L"c-bad.nsz"}) && Action());
    HWND report = Dialog(L"Conversion results", L"VESKO_ConversionReport");
    ASSERT_NE(report, nullptr);
    const std::wstring text = TextOf(GetDlgItem(report, 201));
    EXPECT_EQ(text.find(L"a-bad.nsz\r\n"), 0u);
    EXPECT_NE(text.find(L"\r\n\r\nc-bad.nsz\r\n"), std::wstring::npos);
    EXPECT_EQ(text.find(L"b-good.nsz"), std::wstring::npos);
    EXPECT_FALSE(IsWindowEnabled(app.mainWindow()));
    ASSERT_TRUE(Press(report, IDOK) && WaitUntil([&] { return !IsWindow(report); }, kDialogTimeoutMs));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(app.mainWindow()) != FALSE; }, kDialogTimeoutMs));
    EXPECT_TRUE(ActionIs(L"Open folder") && Converted(L"b-good", good));

    // Closed from outside, the results window goes with its owner: its loop must end and hand the quit on.
    ASSERT_TRUE(ChooseFiles(app, dir.path(), {L"a-bad.nsz", L"c-bad.nsz"}) && Action());
    ASSERT_NE(Dialog(L"", L"VESKO_ConversionReport"), nullptr);
    EXPECT_EQ(app.close(), 0u);
}

TEST_F(UiDriver, DroppedFilesAndAFolderAreChosenAndConverted) {
    ASSERT_TRUE(fs::create_directories(dir.file(L"sub\\deeper")));
    const BuiltFiles built[] = {Write(L"one.nsz", 30), Write(L"sub\\two.nsz", 31),
                                Write(L"sub\\THREE.NSZ", 32), Write(L"sub\\deeper\\four.nsz", 33)};
    WriteWholeFile(dir.file(L"a.txt"), std::vector<std::uint8_t>(100, 0x41));
    EXPECT_TRUE(AcceptsDrops(app.mainWindow()));
    ASSERT_TRUE(DropFiles(app.mainWindow(), {dir.file(L"one.nsz"), dir.file(L"sub"), dir.file(L"a.txt")}));
    ASSERT_TRUE(WaitUntil([&] { return Enabled(kAction); }, kDialogTimeoutMs));
    ASSERT_TRUE(Action() && WaitUntil([&] { return ActionIs(L"Open folder"); }, kBatchTimeoutMs));
    const wchar_t* const outputs[] = {L"one", L"sub\\two", L"sub\\THREE"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(Converted(outputs[i], built[i])) << i;
    }
    EXPECT_FALSE(fs::exists(dir.file(L"sub\\deeper\\four.nsp"))) << "one level deep only";
    EXPECT_EQ(NspCount(dir.path()), 1u);
    EXPECT_TRUE(fs::exists(dir.file(L"one.nsz"))) << "sources stay unless asked";
    EXPECT_EQ(WaitForTopWindow(app.processId(), L"#32770", L"", 0), nullptr) << "a clean batch";
}

TEST_F(UiDriver, ALongBatchRefusesDropsCancelsInTheMiddleOfAFileAndClosesWithZero) {
    // Two copies of a large file: seconds to act in the middle of the first.
    const BuiltFiles large = ZerosNsz(96);
    WriteWholeFile(dir.file(L"game1.nsz"), large.nsz);
    WriteWholeFile(dir.file(L"game2.nsz"), large.nsz);
    test::TempDir other;
    WriteWholeFile(other.file(L"late.nsz"), SmallNsz(40).nsz);
    ASSERT_TRUE(ChooseFiles(app, dir.path(), {L"game1.nsz", L"game2.nsz"}) && Action());
    ASSERT_TRUE(WaitUntil([&] { return TemporaryOutputsIn(dir.path()) != 0; }, kBatchTimeoutMs));
    EXPECT_TRUE(ActionIs(L"Cancel") && !Enabled(kChoose) && !AcceptsDrops(app.mainWindow()));
    ASSERT_TRUE(DropFiles(app.mainWindow(), {other.file(L"late.nsz")}));
    // The batch ends: the button offers the folder, or converting again with Choose enabled.
    const auto ended = [&] {
        return ActionIs(L"Open folder") || (ActionIs(L"Convert to NSP") && Enabled(kChoose));
    };
    ASSERT_TRUE(Action() && WaitUntil(ended, kBatchTimeoutMs));
    EXPECT_LT(NspCount(dir.path()), 2u);
    EXPECT_EQ(WaitForTopWindow(app.processId(), L"#32770", L"", 0), nullptr) << "cancelling shows no dialog";
    ExpectNoLeftovers();
    EXPECT_TRUE(AcceptsDrops(app.mainWindow()));
    // The selection is still the batch's: converting again writes beside it, not beside the drop.
    ASSERT_TRUE(ActionIs(L"Convert to NSP") && Action());
    EXPECT_TRUE(WaitUntil([&] { return TemporaryOutputsIn(dir.path()) != 0; }, kDialogTimeoutMs));
    EXPECT_EQ(TemporaryOutputsIn(other.path()) + NspCount(other.path()), 0u);
    EXPECT_EQ(app.close(kBatchTimeoutMs), 0u);
    EXPECT_LT(NspCount(dir.path()), 2u);
    ExpectNoLeftovers();
}

TEST(UiDriverCommandLine, FilesOnTheCommandLineAreChosenAndConvertedWhenAsked) {
    test::TempDir dir;
    ASSERT_TRUE(CreateDirectoryW(dir.file(L"sub folder").c_str(), nullptr));
    const std::wstring names[] = {dir.file(L"Игра — первая"), dir.file(L"sub folder\\game two")};
    const BuiltFiles built[] = {SmallNsz(51), SmallNsz(52)};
    for (int i = 0; i < 2; ++i) {
        WriteWholeFile(names[i] + L".nsz", built[i].nsz);
    }
    RunningApp app({names[0] + L".nsz", names[1] + L".nsz"});
    ASSERT_TRUE(app.started()) << "exit code " << app.waitForExit(0);
    EXPECT_TRUE(IsWindowEnabled(app.control(kAction)) && TextOf(app.control(kAction)) == L"Convert to NSP");
    Sleep(1000);
    EXPECT_EQ(TemporaryOutputsIn(dir.path()) + NspCount(dir.path()), 0u) << "nothing starts by itself";
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    ASSERT_TRUE(WaitUntil([&] { return TextOf(app.control(kAction)) == L"Open folder"; }, kBatchTimeoutMs));
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(ReadWholeFile(names[i] + L".nsp") == built[i].nsp) << i;
    }
}

TEST_F(UiDriver, DestinationFailureAnsweredWithAnotherFolderOrByClosing) {
    const char* lockedValue = std::getenv("VESKO_UI_LOCKED_DIR");
    if (lockedValue == nullptr) {
        GTEST_SKIP() << "no unwritable folder could be prepared on this machine";
    }
    const std::wstring locked = fs::path(lockedValue).wstring();
    const BuiltFiles expected = SmallNsz(kLockedSeed);
    ASSERT_TRUE(ReadWholeFile(locked + L"\\locked.nsz") == expected.nsz) << "not the prepared file";
    ASSERT_TRUE(ChooseFiles(app, locked, {L"locked.nsz"}) && Action());
    ASSERT_TRUE(Dismiss(Dialog(kFolderQuestion), 1)) << "no question for another folder";
    HWND picker = Dialog(kFolderQuestion);
    ASSERT_NE(picker, nullptr) << "no folder picker";
    // Some pickers open the typed folder first; confirming again then takes the folder shown.
    ASSERT_TRUE(TypeAndConfirm(picker, dir.path()) &&
                (WaitUntil([&] { return !IsWindow(picker); }, 3000) || PostClick(picker, IDOK)));
    ASSERT_TRUE(WaitUntil([&] { return ActionIs(L"Open folder"); }, kBatchTimeoutMs));
    EXPECT_TRUE(Converted(L"locked", expected));
    ExpectNoLeftovers();

    // A close while the question shows (a log-off, say) arrives before the answer: no folder picker follows.
    ASSERT_TRUE(ChooseFiles(app, locked, {L"locked.nsz"}) && Action());
    HWND question = Dialog(kFolderQuestion);
    ASSERT_TRUE(question != nullptr && PostMessageW(app.mainWindow(), WM_CLOSE, 0, 0) &&
                PostClick(question, 1, false));
    EXPECT_EQ(app.waitForExit(kBatchTimeoutMs), 0u);
    EXPECT_FALSE(fs::exists(locked + L"\\locked.nsp"));
}

} // namespace
} // namespace vesko::ui_driver

// "--prepare-locked FOLDER" writes the file of the destination scenario before the script locks it.
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--prepare-locked") {
        vesko::testfiles::WriteWholeFile(std::filesystem::path(argv[2]).wstring() + L"\\locked.nsz",
                                         vesko::ui_driver::SmallNsz(vesko::ui_driver::kLockedSeed).nsz);
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
