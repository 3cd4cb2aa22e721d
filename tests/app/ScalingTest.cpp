#include "app/Layout.h"
#include "app/Scaling.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {

TEST(MulDivRound, RoundsHalvesAwayFromZeroLikeWindows) {
    struct Case {
        int a, b, c, expected;
    };
    const Case cases[] = {
        {331, 144, 96, 497}, // 496.5
        {1, 144, 96, 2},     // 1.5
        {-3, 1, 2, -2},      // -1.5
        {3, -1, 2, -2},      {720, 96, 96, 720}, {5, 1, 0, -1}, {2147483647, 2, 1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " * " << c.b << " / " << c.c);
        EXPECT_EQ(MulDivRound(c.a, c.b, c.c), c.expected);
    }
}

TEST(EffectiveDpi, FitsTheWorkAreaAndNeverExceedsTheProposal) {
    struct Case {
        int width, height;
        std::uint32_t proposed, expected;
    };
    const Case cases[] = {
        {1920, 1040, 144, 144},                       // a = 252, b = 151
        {1366, 728, 144, 103},                        // b = MulDiv(664, 96, 620)
        {3840, 2120, 192, 192},                       // 4K at 200 %
        {1920, 1040, 96, 96},   {800, 500, 96, 72},   // too small even at 96: clamped to 72
        {100, 100, 96, 72},     {1920, 1040, 60, 72}, // a proposal below 72 is raised too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.proposed);
        EXPECT_EQ(EffectiveDpi(c.width, c.height, c.proposed), c.expected);
    }
}

TEST(EffectiveDpi, SmallMonitorGetsTheLargestDpiThatFits) {
    const std::uint32_t dpi = EffectiveDpi(700, 600, 96);
    EXPECT_LT(dpi, 96u);
    EXPECT_GE(dpi, 72u);
    EXPECT_LE(Scale(kDesignWidth, dpi), 700 - 32 + 1);
    EXPECT_LE(Scale(kDesignHeight, dpi), 600 - 64 + 1);
}

TEST(ScaleRect, CardAt144DpiScalesEachEdge) {
    EXPECT_EQ(ScaleRect(28, 331, 664, 74, 144), (PixelRect{42, 497, 1038, 608}));
}

TEST(PaintLayout, CardAndIconAt144Dpi) {
    const PaintLayout ltr = PaintLayoutForDpi(144, false);
    EXPECT_EQ(ltr.card, (PixelRect{42, 497, 1038, 608}));
    EXPECT_EQ(ltr.icon.left, 69);
    const PaintLayout rtl = PaintLayoutForDpi(144, true);
    EXPECT_EQ(rtl.card, ltr.card);
    EXPECT_EQ(rtl.icon.left, 963);
    EXPECT_EQ(rtl.icon.width(), 48);
    EXPECT_EQ(rtl.heading, (PixelRect{423, 452, 1038, 488}));
    EXPECT_EQ(rtl.formatLabel.left, 42);
}

TEST(LayoutForDpi, ControlsAt96AndMirroredChooseButton) {
    const ControlLayout ltr = LayoutForDpi(96, false);
    EXPECT_EQ(ltr.promo, (PixelRect{28, 24, 692, 276}));
    EXPECT_EQ(ltr.choose, (PixelRect{544, 347, 672, 389}));
    EXPECT_EQ(ltr.deleteSources, (PixelRect{28, 421, 692, 445}));
    EXPECT_EQ(ltr.action, (PixelRect{28, 549, 692, 593}));
    EXPECT_EQ(LayoutForDpi(96, true).choose.left, 48);
}

TEST(LayoutForDpi, ChooseButtonKeepsScaledEdgesWhileOthersScaleTheirSize) {
    // At 125 % the two rules differ for the card's button: edges 434..486 (52) against a scaled height of 53.
    const ControlLayout layout = LayoutForDpi(120, false);
    EXPECT_EQ(layout.choose.top, 434);
    EXPECT_EQ(layout.choose.height(), 486 - 434);
    EXPECT_EQ(layout.deleteSources.top, 526);
    EXPECT_EQ(layout.deleteSources.height(), 30);
}

TEST(ProgressFillFor, SmallestWidthCapAndMirroring) {
    const ProgressFill tiny = ProgressFillFor(1.0 / 10e9, 96, false);
    ASSERT_TRUE(tiny.visible);
    EXPECT_EQ(tiny.rect, (PixelRect{28, 517, 32, 523}));
    EXPECT_FALSE(ProgressFillFor(0.0, 96, false).visible);
    EXPECT_FALSE(ProgressFillFor(-1.0, 96, false).visible);
    EXPECT_EQ(ProgressFillFor(2.0, 96, false).rect.right, 692);
    const ProgressFill rtl = ProgressFillFor(0.5, 96, true);
    EXPECT_EQ(rtl.rect, (PixelRect{360, 517, 692, 523}));
}

TEST(CentreInWorkArea, TruncatesHalfPixels) {
    const WindowPlacement at = CentreInWorkArea(PixelRect{100, 50, 1101, 850}, 736, 659);
    EXPECT_EQ(at.x, 100 + (1001 - 736) / 2);
    EXPECT_EQ(at.y, 50 + (800 - 659) / 2);
}

} // namespace
} // namespace vesko
