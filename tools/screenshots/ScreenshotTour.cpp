// Walks the real program through its states and saves a PNG of each: the main window empty, with
// the banner hovered and pressed, one file chosen, converting, done, a failure with its task
// dialog, and several failures with the results window.
// usage: app_screenshot_tour OUTPUT_FOLDER NAME_PREFIX
#include "app/GdiplusOwners.h"
#include "tests/app/UiDriver.h"
#include "tests/support/TestPaths.h"

#include <cstdio>
#include <string>
#include <vector>

namespace vesko::ui_driver {
namespace {

// The PNG encoder of GDI+.
const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

struct Bounds {
    DWORD processId;
    RECT rect;
};

// Adds a visible window of the process to the bounds.
BOOL CALLBACK AddWindow(HWND window, LPARAM parameter) {
    auto& bounds = *reinterpret_cast<Bounds*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    RECT r{};
    if (owner == bounds.processId && IsWindowVisible(window) && GetWindowRect(window, &r)) {
        UnionRect(&bounds.rect, &bounds.rect, &r);
    }
    return TRUE;
}

// Saves the part of the screen that the program's windows cover.
bool Capture(DWORD processId, const std::wstring& file) {
    Bounds bounds{processId, {}};
    EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&bounds));
    const RECT r = bounds.rect;
    const WindowDcScope screen(nullptr);
    MemoryDcOwner memory(CreateCompatibleDC(screen.dc()));
    BitmapOwner bitmap(CreateCompatibleBitmap(screen.dc(), r.right - r.left, r.bottom - r.top));
    if (IsRectEmpty(&r) || !memory || !bitmap) {
        return false;
    }
    {
        SelectionScope selected(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, r.right - r.left, r.bottom - r.top, screen.dc(), r.left, r.top, SRCCOPY);
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

    void shoot(const wchar_t* state) {
        Sleep(600); // long enough for the 150 ms fade and a repaint
        const std::wstring file = output_ + L"\\" + prefix_ + L"-" + state + L".png";
        const bool ok = Capture(app_.processId(), file);
        std::fwprintf(stderr, L"%ls %ls\n", ok ? L"saved" : L"FAILED", file.c_str());
        failures_ += ok ? 0 : 1;
    }

    // Chooses the files (the dialog's title is the language's) and presses the action button, unless
    // only choosing is asked for.
    bool choose(const std::vector<std::wstring>& names, bool convert = true) {
        if (ChooseFiles(app_, dir_.path(), names, L"") && (!convert || Press(app_.mainWindow(), kAction))) {
            return true;
        }
        std::fwprintf(stderr, L"choosing %ls failed\n", names.front().c_str());
        ++failures_;
        return false;
    }

    bool idle() {
        return WaitUntil([&] { return IsWindowEnabled(app_.control(kChoose)) != FALSE; }, kBatchTimeoutMs);
    }

    HWND dialog(const std::wstring& className) {
        return WaitForTopWindow(app_.processId(), className, L"", kBatchTimeoutMs);
    }

    int run() {
        if (!app_.started()) {
            return 2;
        }
        testfiles::WriteWholeFile(dir_.file(L"Super Game [0100000000010000].nsz"), SmallNsz(5).nsz);
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

        if (choose({L"Super Game [0100000000010000].nsz"}, false)) {
            shoot(L"4-one-file");
        }
        if (choose({L"big1.nsz", L"big2.nsz"}) &&
            WaitUntil([&] { return TemporaryOutputsIn(dir_.path()) != 0; }, kBatchTimeoutMs)) {
            Sleep(300); // some progress on the bar
            shoot(L"5-converting");
            if (idle()) {
                shoot(L"6-done");
            }
        }
        if (choose({L"broken one.nsz"}) && dialog(L"#32770") != nullptr) {
            shoot(L"7-failure");
            Dismiss(dialog(L"#32770"), IDCANCEL);
        }
        if (choose({L"broken two.nsz", L"broken three.nsz"}) &&
            dialog(L"VESKO_ConversionReport") != nullptr) {
            shoot(L"8-results");
            Dismiss(dialog(L"VESKO_ConversionReport"), IDOK);
        }
        idle();
        app_.close();
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
    return gdiplus.ok() ? vesko::ui_driver::Tour(argv[1], argv[2]).run() : 2;
}
