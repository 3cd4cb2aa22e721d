#include "tests/app/UiScenarioSupport.h"

#include <cstdlib>
#include <filesystem>

namespace vesko::ui_driver {

namespace fs = std::filesystem;

// Large enough that a batch of copies runs for seconds: room to cancel in the middle of a file.
const BuiltFiles& LargeNsz() {
    static const BuiltFiles built = ZerosNsz(96);
    return built;
}

// Starts the program and chooses files of one folder in its open dialog.
void ChooseFiles(RunningApp& app, const std::wstring& folder, const std::vector<std::wstring>& names) {
    ASSERT_TRUE(Press(app.mainWindow(), kChoose));
    HWND dialog = WaitForTopWindow(app.processId(), L"#32770", L"Choose NSZ files", kDialogTimeoutMs);
    ASSERT_NE(dialog, nullptr) << "no open dialog";
    ASSERT_TRUE(ChooseInOpenDialog(dialog, folder, names));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kDialogTimeoutMs)) << "the open dialog stayed";
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(app.control(kAction)) != FALSE; }, kDialogTimeoutMs));
}

bool BatchEnded(const RunningApp& app) {
    const std::wstring caption = TextOf(app.control(kAction));
    return caption == L"Open folder" ||
           (caption == L"Convert to NSP" && IsWindowEnabled(app.control(kChoose)));
}

void ExpectNoLeftovers(const std::wstring& folder) {
    EXPECT_EQ(TemporaryOutputsIn(folder), 0u);
    EXPECT_EQ(JournalsNaming(folder), 0u);
}

// One pixel of the screen, as the user sees it.
COLORREF ScreenPixel(POINT at) {
    const WindowDcScope screen(nullptr);
    return GetPixel(screen.dc(), at.x, at.y);
}

// Ticks the delete-sources check box the way a click does.
void TickDeleteSources(const RunningApp& app) {
    ASSERT_TRUE(PostMessageW(app.control(kDeleteSources), BM_CLICK, 0, 0));
    ASSERT_TRUE(WaitUntil(
        [&] {
            DWORD_PTR state = 0;
            SendMessageTimeoutW(app.control(kDeleteSources), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000,
                                &state);
            return state == BST_CHECKED;
        },
        kDialogTimeoutMs));
}

// A batch of copies of the large file, started; returns once a temporary output is being written.
void StartLongBatch(RunningApp& app, const test::TempDir& dir, int copies) {
    std::vector<std::wstring> names;
    for (int i = 1; i <= copies; ++i) {
        names.push_back(L"game" + std::to_wstring(i) + L".nsz");
        testfiles::WriteWholeFile(dir.file(names.back()), LargeNsz().nsz);
    }
    ChooseFiles(app, dir.path(), names);
    ASSERT_TRUE(Press(app.mainWindow(), kAction));
    ASSERT_TRUE(WaitUntil([&] { return TemporaryOutputsIn(dir.path()) != 0; }, kBatchTimeoutMs))
        << "no temporary output appeared";
}

std::size_t NspCount(const std::wstring& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        count += entry.path().extension() == L".nsp" ? 1 : 0;
    }
    return count;
}

// The file of the destination scenario, written by "--prepare-locked" before the folder is locked.
testfiles::ContainerSpec LockedSpec() {
    testfiles::MemberSpec program;
    program.name = ".ncz";
    program.hashName = true;
    program.ncz = true;
    program.sections = {testfiles::MakeSection(0x30000, 3, 42)};
    testfiles::ContainerSpec package;
    package.members = {program};
    return package;
}

// A folder that nobody may write into (prepared by the test script, which makes it immutable).
std::wstring LockedFolder() {
    const char* value = std::getenv("VESKO_UI_LOCKED_DIR");
    return value != nullptr ? fs::path(value).wstring() : std::wstring();
}

} // namespace vesko::ui_driver
