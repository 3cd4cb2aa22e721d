// Where the controls and the painted parts of the main window go, in pixels for a DPI.
#pragma once

#include "app/Scaling.h"

#include <cstdint>

namespace vesko {

enum ControlId : int {
    ChooseButtonId = 101,
    ActionButtonId = 102,
    PromoButtonId = 103,
    DeleteSourcesCheckboxId = 104,
};

struct ControlLayout {
    PixelRect promo;
    PixelRect choose;
    PixelRect deleteSources;
    PixelRect action;
};

ControlLayout LayoutForDpi(std::uint32_t dpi, bool rightToLeft);

// The painted parts of the main window, already scaled.
struct PaintLayout {
    PixelRect client;
    PixelRect heading;
    PixelRect formatLabel;
    PixelRect card;
    PixelRect icon;
    PixelRect cardTitle;
    PixelRect cardSubtitle;
    PixelRect cardPlaceholder;
    PixelRect status;
    PixelRect progressTrack;
    PixelRect statusAndProgress; // what the poll timer repaints
};

PaintLayout PaintLayoutForDpi(std::uint32_t dpi, bool rightToLeft);

// The filled part of the progress bar for a fraction in (0, 1]; none for a fraction <= 0.
struct ProgressFill {
    bool visible = false;
    PixelRect rect;
};
ProgressFill ProgressFillFor(double fraction, std::uint32_t dpi, bool rightToLeft);

} // namespace vesko
