// Scenarios that start the real application under wine and drive its windows and dialogs.
#include "tests/app/UiScenarioSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace vesko::ui_driver {
namespace {

namespace fs = std::filesystem;

std::wstring NspName(int i) {
    return L"game" + std::to_wstring(i) + L".nsp";
}

TEST(UiDriver, StartsWithFourControlsInTabOrderAndClosesWithZero) {
    RunningApp app;
    ASSERT_TRUE(app.started());
    EXPECT_EQ(TextOf(app.mainWindow()), L"VESKO NSZ converter");
    HWND promo = app.control(kPromo), choose = app.control(kChoose), check = app.control(kDeleteSources),
         action = app.control(kAction);
    ASSERT_TRUE(promo && choose && check && action);
    EXPECT_EQ(TextOf(choose), L"Choose NSZ");
    EXPECT_EQ(TextOf(action), L"Convert to NSP");
    EXPECT_EQ(TextOf(check), L"Delete sources after successful conversion (permanently)");
    EXPECT_EQ(TextOf(promo).rfind(L"Open vesko.example. Download games. ", 0), 0u);
    EXPECT_FALSE(IsWindowEnabled(action));
    EXPECT_TRUE(IsWindowEnabled(choose));
    EXPECT_TRUE(IsWindowEnabled(check));
    DWORD_PTR checked = 1;
    SendMessageTimeoutW(check, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &checked);
    EXPECT_EQ(checked, static_cast<DWORD_PTR>(BST_UNCHECKED));
    EXPECT_EQ(GetNextDlgTabItem(app.mainWindow(), promo, FALSE), choose);
    EXPECT_EQ(GetNextDlgTabItem(app.mainWindow(), choose, FALSE), check);
    // The action button is disabled, so the tab order skips it back to the banner.
    EXPECT_EQ(GetNextDlgTabItem(app.mainWindow(), check, FALSE), promo);
    PostMessageW(app.mainWindow(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.waitForExit(kStartTimeoutMs), 0u);
}

TEST(UiDriver, HoveringTheBannerBrightensItAndPressingDarkensIt) {
    RunningApp app;
    ASSERT_TRUE(app.started());
    RECT banner{};
    ASSERT_TRUE(GetWindowRect(app.control(kPromo), &banner));
    // Left of the texts, in the upper panel, where the gradient starts.
    const POINT sample{banner.left + 8, banner.top + (banner.bottom - banner.top) / 2};
    SetCursorPos(0, 0);
    // Painted at rest: near (21, 24, 33), the gradient's start colour.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const COLORREF c = ScreenPixel(sample);
            return GetGValue(c) >= 22 && GetGValue(c) <= 26 && GetBValue(c) >= 31 && GetBValue(c) <= 35;
        },
        kDialogTimeoutMs));
    const COLORREF rest = ScreenPixel(sample);
    // The fade runs 150 ms; its end is the hovered look: every channel 8 brighter.
    SetCursorPos(sample.x + 40, sample.y);
    EXPECT_TRUE(
        WaitUntil([&] { return GetGValue(ScreenPixel(sample)) == GetGValue(rest) + 8; }, kDialogTimeoutMs))
        << "rest green " << int(GetGValue(rest)) << ", now " << int(GetGValue(ScreenPixel(sample)));
    const COLORREF hovered = ScreenPixel(sample);
    EXPECT_EQ(GetRValue(hovered), GetRValue(rest) + 8);
    EXPECT_EQ(GetBValue(hovered), GetBValue(rest) + 8);
    // Pressed while hovered: 5 darker than hovered.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(app.control(kPromo), BM_SETSTATE, TRUE, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    EXPECT_TRUE(
        WaitUntil([&] { return GetGValue(ScreenPixel(sample)) == GetGValue(rest) + 3; }, kDialogTimeoutMs));
    SendMessageTimeoutW(app.control(kPromo), BM_SETSTATE, FALSE, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    SetCursorPos(0, 0);
    EXPECT_TRUE(WaitUntil([&] { return ScreenPixel(sample) == rest; }, kDialogTimeoutMs))
        << "the fade-out ends at rest";
}

TEST(UiDriver, ConvertsSeveralFilesChosenInTheOpenDialog) {
    test::TempDir dir;
    std::vector<BuiltFiles> built;
    std::vector<std::wstring> names;
    for (int i = 1; i <= 3; ++i) {
        built.push_back(SmallNsz(static_cast<std::uint64_t>(i)));
        names.push_back(L"game" + std::to_wstring(i) + L".nsz");
        testfiles::WriteWholeFile(dir.file(names.back()), built.back().nsz);
    }
    RunningApp app;
    ASSERT_TRUE(app.started());
    ChooseFiles(app, dir.path(), names);
    EXPECT_EQ(TextOf(app.control(kAction)), L"Convert to NSP");
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    ASSERT_TRUE(WaitUntil([&] { return TextOf(app.control(kAction)) == L"Open folder"; }, kBatchTimeoutMs));
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(testfiles::ReadWholeFile(dir.file(NspName(i))) ==
                    built[static_cast<std::size_t>(i - 1)].nsp);
    }
    EXPECT_EQ(FindTopWindow(app.processId(), L"#32770"), nullptr) << "no dialog after a clean batch";
    EXPECT_TRUE(IsWindowEnabled(app.control(kChoose)));
    ExpectNoLeftovers(dir.path());
    PostMessageW(app.mainWindow(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.waitForExit(kStartTimeoutMs), 0u);
}

TEST(UiDriver, DeletesTheSourceWhenAskedTo) {
    test::TempDir dir;
    const BuiltFiles built = SmallNsz(21);
    testfiles::WriteWholeFile(dir.file(L"game.nsz"), built.nsz);
    RunningApp app;
    ASSERT_TRUE(app.started());
    ChooseFiles(app, dir.path(), {L"game.nsz"});
    TickDeleteSources(app);
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    ASSERT_TRUE(WaitUntil([&] { return TextOf(app.control(kAction)) == L"Open folder"; }, kBatchTimeoutMs));
    EXPECT_TRUE(testfiles::ReadWholeFile(dir.file(L"game.nsp")) == built.nsp);
    EXPECT_FALSE(fs::exists(fs::path(dir.file(L"game.nsz"))));
    EXPECT_EQ(FindTopWindow(app.processId(), L"#32770"), nullptr);
}

TEST(UiDriver, ASourceHeldByAnotherProgramIsKeptWithAWarning) {
    test::TempDir dir;
    const BuiltFiles built = SmallNsz(22);
    const std::wstring source = dir.file(L"held.nsz");
    testfiles::WriteWholeFile(source, built.nsz);
    // Another program reading the file without letting anyone delete it.
    const UniqueHandle holder(
        CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
    RunningApp app;
    ASSERT_TRUE(app.started());
    ChooseFiles(app, dir.path(), {L"held.nsz"});
    TickDeleteSources(app);
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    HWND warning =
        WaitForTopWindow(app.processId(), L"#32770", L"Conversion completed with warnings", kBatchTimeoutMs);
    ASSERT_NE(warning, nullptr);
    std::wstring all;
    for (const std::wstring& text : ChildTexts(warning)) {
        all += text + L"|";
    }
    for (const wchar_t* part :
         {L"NSP created, source not deleted", L"held.nsz",
          L"Another app is using the source, so it was kept.", L"Open folder", L"Close"}) {
        EXPECT_NE(all.find(part), std::wstring::npos) << std::string(all.begin(), all.end());
    }
    ASSERT_TRUE(PostMessageW(warning, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(warning); }, kDialogTimeoutMs));
    EXPECT_EQ(TextOf(app.control(kAction)), L"Open folder");
    EXPECT_TRUE(fs::exists(fs::path(source)));
    EXPECT_TRUE(testfiles::ReadWholeFile(dir.file(L"held.nsp")) == built.nsp);
}

TEST(UiDriver, ADamagedFileShowsTheErrorDialog) {
    test::TempDir dir;
    testfiles::WriteWholeFile(dir.file(L"damaged.nsz"), std::vector<std::uint8_t>(5000, 0x5A));
    RunningApp app;
    ASSERT_TRUE(app.started());
    ChooseFiles(app, dir.path(), {L"damaged.nsz"});
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    HWND dialog = WaitForTopWindow(app.processId(), L"#32770", L"Conversion error", kBatchTimeoutMs);
    ASSERT_NE(dialog, nullptr);
    std::wstring all;
    for (const std::wstring& text : ChildTexts(dialog)) {
        all += text + L"|";
    }
    EXPECT_NE(all.find(L"damaged.nsz"), std::wstring::npos) << std::string(all.begin(), all.end());
    EXPECT_NE(all.find(L"Close"), std::wstring::npos);
    ASSERT_TRUE(PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kDialogTimeoutMs));
    EXPECT_EQ(TextOf(app.control(kAction)), L"Convert to NSP");
    EXPECT_TRUE(IsWindowEnabled(app.control(kAction)));
    EXPECT_FALSE(fs::exists(fs::path(dir.file(L"damaged.nsp"))));
    ExpectNoLeftovers(dir.path());
}

TEST(UiDriver, SeveralFailuresOpenTheResultsWindow) {
    test::TempDir dir;
    const BuiltFiles good = SmallNsz(11);
    testfiles::WriteWholeFile(dir.file(L"a-damaged.nsz"), std::vector<std::uint8_t>(4000, 0x11));
    testfiles::WriteWholeFile(dir.file(L"b-good.nsz"), good.nsz);
    testfiles::WriteWholeFile(dir.file(L"c-damaged.nsz"), std::vector<std::uint8_t>(4000, 0x22));
    RunningApp app;
    ASSERT_TRUE(app.started());
    ChooseFiles(app, dir.path(), {L"a-damaged.nsz", L"b-good.nsz", L"c-damaged.nsz"});
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    HWND report = WaitForTopWindow(app.processId(), L"VESKO_ConversionReport", L"", kBatchTimeoutMs);
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(TextOf(report), L"Conversion results");
    const std::wstring text = TextOf(GetDlgItem(report, 201));
    const auto first = text.find(L"a-damaged.nsz\r\n");
    const auto second = text.find(L"\r\n\r\nc-damaged.nsz\r\n");
    EXPECT_EQ(first, 0u);
    EXPECT_NE(second, std::wstring::npos);
    EXPECT_EQ(text.find(L"b-good.nsz"), std::wstring::npos);
    EXPECT_FALSE(IsWindowEnabled(app.mainWindow()));
    ASSERT_TRUE(Press(report, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(report); }, kDialogTimeoutMs));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(app.mainWindow()) != FALSE; }, kDialogTimeoutMs));
    EXPECT_EQ(TextOf(app.control(kAction)), L"Open folder");
    EXPECT_TRUE(testfiles::ReadWholeFile(dir.file(L"b-good.nsp")) == good.nsp);
}

TEST(UiDriver, ClosingFromOutsideWhileTheResultsWindowIsOpenEndsWithZero) {
    test::TempDir dir;
    for (const wchar_t* name : {L"a.nsz", L"b.nsz"}) {
        testfiles::WriteWholeFile(dir.file(name), std::vector<std::uint8_t>(4000, 0x33));
    }
    RunningApp app;
    ASSERT_TRUE(app.started());
    ChooseFiles(app, dir.path(), {L"a.nsz", L"b.nsz"});
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    ASSERT_NE(WaitForTopWindow(app.processId(), L"VESKO_ConversionReport", L"", kBatchTimeoutMs), nullptr);
    // The results window goes with its owner; its loop must end and hand the quit on.
    ASSERT_TRUE(PostMessageW(app.mainWindow(), WM_CLOSE, 0, 0));
    EXPECT_EQ(app.waitForExit(kStartTimeoutMs), 0u);
}

TEST(UiDriver, DroppedFilesAndAFolderAreChosenAndConverted) {
    test::TempDir dir;
    ASSERT_TRUE(CreateDirectoryW(dir.file(L"folder").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(dir.file(L"folder\\deeper").c_str(), nullptr));
    const wchar_t* const names[] = {L"one.nsz", L"folder\\two.nsz", L"folder\\THREE.NSZ",
                                    L"folder\\deeper\\four.nsz"};
    std::vector<BuiltFiles> built;
    for (const wchar_t* name : names) {
        built.push_back(SmallNsz(30 + built.size()));
        testfiles::WriteWholeFile(dir.file(name), built.back().nsz);
    }
    testfiles::WriteWholeFile(dir.file(L"notes.txt"), std::vector<std::uint8_t>(100, 0x41));
    RunningApp app;
    ASSERT_TRUE(app.started());
    EXPECT_TRUE(AcceptsDrops(app.mainWindow()));
    ASSERT_TRUE(
        DropFiles(app.mainWindow(), {dir.file(L"one.nsz"), dir.file(L"folder"), dir.file(L"notes.txt")}));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(app.control(kAction)) != FALSE; }, kDialogTimeoutMs));
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    ASSERT_TRUE(WaitUntil([&] { return TextOf(app.control(kAction)) == L"Open folder"; }, kBatchTimeoutMs));
    const wchar_t* const outputs[] = {L"one.nsp", L"folder\\two.nsp", L"folder\\THREE.nsp"};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(testfiles::ReadWholeFile(dir.file(outputs[i])) == built[i].nsp);
    }
    EXPECT_FALSE(fs::exists(fs::path(dir.file(L"folder\\deeper\\four.nsp")))) << "one level deep only";
    EXPECT_EQ(NspCount(dir.path()), 1u);
}

TEST(UiDriver, ADropDuringABatchIsRefused) {
    test::TempDir dir;
    test::TempDir other;
    testfiles::WriteWholeFile(other.file(L"late.nsz"), SmallNsz(40).nsz);
    RunningApp app;
    ASSERT_TRUE(app.started());
    StartLongBatch(app, dir, 2);
    EXPECT_FALSE(AcceptsDrops(app.mainWindow()));
    ASSERT_TRUE(DropFiles(app.mainWindow(), {other.file(L"late.nsz")}));
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    ASSERT_TRUE(WaitUntil([&] { return BatchEnded(app); }, kBatchTimeoutMs));
    EXPECT_TRUE(AcceptsDrops(app.mainWindow()));
    // The selection is still the batch's: converting again writes beside it, not beside the drop.
    ASSERT_EQ(TextOf(app.control(kAction)), L"Convert to NSP");
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    EXPECT_TRUE(WaitUntil([&] { return TemporaryOutputsIn(dir.path()) != 0; }, kDialogTimeoutMs));
    EXPECT_EQ(TemporaryOutputsIn(other.path()) + NspCount(other.path()), 0u);
    PostMessageW(app.mainWindow(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.waitForExit(kBatchTimeoutMs), 0u);
}

TEST(UiDriver, FilesOnTheCommandLineAreChosenAndConvertedWhenAsked) {
    test::TempDir dir;
    ASSERT_TRUE(CreateDirectoryW(dir.file(L"sub folder").c_str(), nullptr));
    const BuiltFiles built[] = {SmallNsz(51), SmallNsz(52)};
    const std::wstring unicode = dir.file(L"Игра — первая.nsz");
    testfiles::WriteWholeFile(unicode, built[0].nsz);
    testfiles::WriteWholeFile(dir.file(L"sub folder\\game two.nsz"), built[1].nsz);
    RunningApp app({unicode, dir.file(L"sub folder\\game two.nsz")});
    ASSERT_TRUE(app.started());
    EXPECT_TRUE(IsWindowEnabled(app.control(kAction)));
    EXPECT_EQ(TextOf(app.control(kAction)), L"Convert to NSP");
    Sleep(1000);
    EXPECT_EQ(TemporaryOutputsIn(dir.path()) + NspCount(dir.path()), 0u) << "nothing starts by itself";
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    ASSERT_TRUE(WaitUntil([&] { return TextOf(app.control(kAction)) == L"Open folder"; }, kBatchTimeoutMs));
    EXPECT_TRUE(testfiles::ReadWholeFile(dir.file(L"Игра — первая.nsp")) == built[0].nsp);
    EXPECT_TRUE(testfiles::ReadWholeFile(dir.file(L"sub folder\\game two.nsp")) == built[1].nsp);
}

} // namespace
} // namespace vesko::ui_driver
