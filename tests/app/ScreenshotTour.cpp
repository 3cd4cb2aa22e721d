// Walks the real program through its states and saves a PNG of each: the main window empty, with
// the banner hovered and pressed, one file chosen, converting, done, a failure with its task
// dialog, and several failures with the results window.
// usage: app_screenshot_tour OUTPUT_FOLDER NAME_PREFIX
#include "app/GdiplusOwners.h"
#include "tests/app/UiDriver.h"
#include "tests/app/UiTestFiles.h"
#include "tests/support/TestPaths.h"
#include "tools/testfiles/NszBuilder.h"

#include <cstdio>
#include <string>
#include <vector>

namespace vesko::ui_driver {
namespace {

constexpr int kChoose = 101;
constexpr int kAction = 102;
constexpr int kPromo = 103;
constexpr DWORD kSettleMs = 600; // long enough for the 150 ms fade and a repaint

// The PNG encoder of GDI+.
const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

struct Bounds {
    DWORD processId;
    RECT rect;
    bool any;
};

BOOL CALLBACK AddWindow(HWND window, LPARAM parameter) {
    auto& bounds = *reinterpret_cast<Bounds*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    RECT r{};
    if (owner == bounds.processId && IsWindowVisible(window) && GetWindowRect(window, &r)) {
        if (!bounds.any) {
            bounds.rect = r;
            bounds.any = true;
        } else {
            UnionRect(&bounds.rect, &bounds.rect, &r);
        }
    }
    return TRUE;
}

// Saves the part of the screen that the program's windows cover.
bool Capture(DWORD processId, const std::wstring& file) {
    Bounds bounds{processId, {}, false};
    EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&bounds));
    if (!bounds.any) {
        return false;
    }
    const RECT r = bounds.rect;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const WindowDcScope screen(nullptr);
    MemoryDcOwner memory(CreateCompatibleDC(screen.dc()));
    BitmapOwner bitmap(CreateCompatibleBitmap(screen.dc(), width, height));
    if (!memory || !bitmap) {
        return false;
    }
    {
        SelectionScope selected(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, screen.dc(), r.left, r.top, SRCCOPY);
    }
    Gdiplus::GpBitmap* image = nullptr;
    if (gp::GdipCreateBitmapFromHBITMAP(bitmap.get(), nullptr, &image) != Gdiplus::Ok) {
        return false;
    }
    const ImageOwner imageOwner(image);
    return gp::GdipSaveImageToFile(image, file.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
}

class Tour {
  public:
    Tour(std::wstring output, std::wstring prefix) : output_(std::move(output)), prefix_(std::move(prefix)) {}

    bool shoot(const wchar_t* state) {
        Sleep(kSettleMs);
        const std::wstring file = output_ + L"\\" + prefix_ + L"-" + state + L".png";
        const bool ok = Capture(app_.processId(), file);
        std::fwprintf(stderr, L"%ls %ls\n", ok ? L"saved" : L"FAILED", file.c_str());
        failures_ += ok ? 0 : 1;
        return ok;
    }

    bool choose(const std::vector<std::wstring>& names) {
        const wchar_t* failed = nullptr;
        HWND dialog = nullptr;
        if (!Press(app_.mainWindow(), kChoose)) {
            failed = L"Choose is not enabled";
        } else if ((dialog = WaitForTopWindow(app_.processId(), L"#32770", L"", kDialogTimeoutMs)) ==
                   nullptr) {
            failed = L"no open dialog";
        } else if (!ChooseInOpenDialog(dialog, dir_.path(), names)) {
            failed = L"the open dialog took no names";
        } else if (!WaitUntil([&] { return !IsWindow(dialog); }, kDialogTimeoutMs)) {
            failed = L"the open dialog stayed";
        } else if (!WaitUntil([&] { return IsWindowEnabled(app_.control(kAction)) != FALSE; },
                              kDialogTimeoutMs)) {
            failed = L"the action button stayed disabled";
        }
        if (failed != nullptr) {
            std::fwprintf(stderr, L"choosing %ls: %ls\n", names.front().c_str(), failed);
            ++failures_;
        }
        return failed == nullptr;
    }

    bool idle() {
        return WaitUntil([&] { return IsWindowEnabled(app_.control(kChoose)) != FALSE; }, kBatchTimeoutMs);
    }

    // Closes whatever dialog the program shows over its main window.
    bool dismiss(const std::wstring& className, int button) {
        HWND dialog = WaitForTopWindow(app_.processId(), className, L"", kBatchTimeoutMs);
        if (dialog == nullptr) {
            return false;
        }
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        return WaitUntil([&] { return !IsWindow(dialog); }, kDialogTimeoutMs);
    }

    int run() {
        if (!app_.started()) {
            return 2;
        }
        const testfiles::BuiltFiles small = SmallNsz(5);
        testfiles::WriteWholeFile(dir_.file(L"Super Game [0100000000010000].nsz"), small.nsz);
        const testfiles::BuiltFiles large = ZerosNsz(256);
        for (const wchar_t* name : {L"big1.nsz", L"big2.nsz"}) {
            testfiles::WriteWholeFile(dir_.file(name), large.nsz);
        }
        for (const wchar_t* name : {L"broken one.nsz", L"broken two.nsz", L"broken three.nsz"}) {
            testfiles::WriteWholeFile(dir_.file(name), std::vector<std::uint8_t>(3000, 0x33));
        }
        SetCursorPos(5, 5);
        shoot(L"1-empty");

        // The banner: hovered (the fade has ended when the shot is taken), then pressed.
        RECT promo{};
        GetWindowRect(app_.control(kPromo), &promo);
        SetCursorPos((promo.left + promo.right) / 2, (promo.top + promo.bottom) / 2);
        shoot(L"2-banner-hover");
        SendMessageW(app_.control(kPromo), BM_SETSTATE, TRUE, 0);
        shoot(L"3-banner-pressed");
        SendMessageW(app_.control(kPromo), BM_SETSTATE, FALSE, 0);
        SetCursorPos(5, 5);

        if (choose({L"Super Game [0100000000010000].nsz"})) {
            shoot(L"4-one-file");
        }
        if (choose({L"big1.nsz", L"big2.nsz"}) && Press(app_.mainWindow(), kAction) &&
            WaitUntil([&] { return TemporaryOutputsIn(dir_.path()) != 0; }, kBatchTimeoutMs)) {
            Sleep(300); // some progress on the bar
            shoot(L"5-converting");
            if (idle()) {
                shoot(L"6-done");
            }
        }
        if (choose({L"broken one.nsz"}) && Press(app_.mainWindow(), kAction) &&
            WaitForTopWindow(app_.processId(), L"#32770", L"", kBatchTimeoutMs) != nullptr) {
            shoot(L"7-failure");
            dismiss(L"#32770", IDCANCEL);
        }
        if (choose({L"broken two.nsz", L"broken three.nsz"}) && Press(app_.mainWindow(), kAction) &&
            WaitForTopWindow(app_.processId(), L"VESKO_ConversionReport", L"", kBatchTimeoutMs) != nullptr) {
            shoot(L"8-results");
            dismiss(L"VESKO_ConversionReport", IDOK);
        }
        idle();
        PostMessageW(app_.mainWindow(), WM_CLOSE, 0, 0);
        app_.waitForExit(kStartTimeoutMs);
        return failures_ == 0 ? 0 : 1;
    }

  private:
    std::wstring output_;
    std::wstring prefix_;
    test::TempDir dir_;
    RunningApp app_;
    int failures_ = 0;
};

} // namespace
} // namespace vesko::ui_driver

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fwprintf(stderr, L"usage: app_screenshot_tour OUTPUT_FOLDER NAME_PREFIX\n");
        return 2;
    }
    const vesko::GdiplusSession gdiplus;
    if (!gdiplus.ok()) {
        return 2;
    }
    return vesko::ui_driver::Tour(argv[1], argv[2]).run();
}
