// Scaling, layout, the banner's shapes and colours, and the hover fade.
#include "app/BannerGeometry.h"
#include "app/HoverFade.h"
#include "app/Layout.h"
#include "app/Scaling.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {
TEST(MulDivRound, RoundsHalvesAwayFromZeroLikeWindows) {
    struct Case {
        int a, b, c, expected;
    };
    // 496.5, 1.5, -1.5, -1.5, an exact result, a zero divisor and an overflow.
    // clang-format off
    const Case cases[] = {{331, 144, 96, 497}, {1, 144, 96, 2}, {-3, 1, 2, -2}, {3, -1, 2, -2}, {720, 96, 96, 720},
                          {5, 1, 0, -1}, {2147483647, 2, 1, -1}};
    // clang-format on
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
    // 1366x728: b = MulDiv(664, 96, 620); 800x500 is too small even at 96 and is clamped to 72, and a
    // proposal below 72 is raised too.
    // clang-format off
    const Case cases[] = {{1920, 1040, 144, 144}, {1366, 728, 144, 103}, {3840, 2120, 192, 192}, {1920, 1040, 96, 96},
                          {800, 500, 96, 72}, {100, 100, 96, 72}, {1920, 1040, 60, 72}};
    // clang-format on
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

TEST(PaintLayout, CardAndIconAt144Dpi) {
    EXPECT_EQ(ScaleRect(28, 331, 664, 74, 144), (PixelRect{42, 497, 1038, 608}));
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

TEST(HoverLevelAt, EasesWithSmoothstepAndEndsAt150Milliseconds) {
    HoverFade fade;
    fade.hoverFrom = 0.0f;
    fade.hoverTarget = 1.0f;
    fade.hoverStartTick = 1000;
    struct Case {
        std::uint64_t now;
        float level;
        bool finished;
    };
    // t = 0, 0.5, 0.2 (0.04 * 2.6), 0.8, the end and long after it.
    // clang-format off
    const Case cases[] = {{1000, 0.0f, false}, {1075, 0.5f, false}, {1030, 0.104f, false}, {1120, 0.896f, false},
                          {1150, 1.0f, true}, {5000, 1.0f, true}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now);
        const HoverStep step = HoverLevelAt(fade, c.now);
        EXPECT_NEAR(step.level, c.level, 1e-5);
        EXPECT_EQ(step.finished, c.finished);
    }
}

TEST(RetargetHover, ReversingHalfWayContinuesFromWhereItStands) {
    HoverFade fade;
    // The same target changes nothing.
    EXPECT_EQ(RetargetHover(fade, false, 500, true).start, HoverStart::Unchanged);
    EXPECT_EQ(fade.hoverStartTick, 0u);
    ASSERT_EQ(RetargetHover(fade, true, 10000, true).start, HoverStart::Animate);
    EXPECT_EQ(fade.hoverTarget, 1.0f);
    EXPECT_EQ(fade.hoverLevel, 0.0f);
    const HoverRetarget back = RetargetHover(fade, false, 10075, true);
    EXPECT_EQ(back.start, HoverStart::Animate);
    EXPECT_FALSE(back.fadeTimerStopped);
    EXPECT_NEAR(fade.hoverLevel, 0.5f, 1e-5);
    EXPECT_NEAR(fade.hoverFrom, 0.5f, 1e-5);
    EXPECT_EQ(fade.hoverTarget, 0.0f);
    EXPECT_EQ(fade.hoverStartTick, 10075u);
    EXPECT_NEAR(HoverLevelAt(fade, 10150).level, 0.25f, 1e-5);
}

TEST(RetargetHover, AFinishedFadeStopsItsTimerAndWithoutAnimationsItJumps) {
    HoverFade fade;
    RetargetHover(fade, true, 10000, true);
    EXPECT_TRUE(RetargetHover(fade, false, 10200, true).fadeTimerStopped);
    EXPECT_EQ(fade.hoverFrom, 1.0f);
    HoverFade still;
    EXPECT_EQ(RetargetHover(still, true, 10000, false).start, HoverStart::Jump);
    EXPECT_EQ(still.hoverLevel, 1.0f);
}

TEST(ShouldAnimate, AFailedReadKeepsTheLastKnownValue) {
    bool enabled = true;
    EXPECT_TRUE(ShouldAnimate({false, false}, enabled));
    EXPECT_FALSE(ShouldAnimate({true, false}, enabled));
    EXPECT_FALSE(enabled);
    EXPECT_FALSE(ShouldAnimate({false, true}, enabled));
    EXPECT_TRUE(ShouldAnimate({true, true}, enabled));
    EXPECT_TRUE(enabled);
}

TEST(PanelGradientFor, HoverBrightensAndPressingDarkens) {
    struct Case {
        float hover;
        bool pressed;
        int shift;
        Rgb start, end;
    };
    // clang-format off
    const Case cases[] = {
        {0.0f, false, 0, {21, 24, 33}, {64, 25, 39}}, {1.0f, false, 8, {29, 32, 41}, {72, 33, 47}},
        {0.0f, true, -5, {16, 19, 28}, {59, 20, 34}}, {0.5f, false, 4, {25, 28, 37}, {68, 29, 43}},
        {0.5f, true, -1, {20, 23, 32}, {63, 24, 38}},
        {0.0625f, false, 1, {22, 25, 34}, {65, 26, 40}}, // 0.5 rounds away from zero
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hover << (c.pressed ? " pressed" : ""));
        EXPECT_EQ(PanelShift(c.hover, c.pressed), c.shift);
        const PanelGradient g = PanelGradientFor(c.hover, c.pressed);
        EXPECT_EQ(g.start, c.start);
        EXPECT_EQ(g.end, c.end);
    }
}

TEST(BannerShapesFor, RightToLeftMirrorsGradientRingsAndBadge) {
    const BannerShapes ltr = BannerShapesFor(96, false, 0.0f, true);
    const BannerShapes rtl = BannerShapesFor(96, true, 0.0f, true);
    EXPECT_EQ(ltr.gradientFrom.x, 0.0f);
    EXPECT_EQ(ltr.gradientTo.x, 664.0f);
    EXPECT_EQ(rtl.gradientFrom.x, 664.0f);
    EXPECT_EQ(rtl.gradientTo.x, 0.0f);
    EXPECT_EQ(ltr.rings[0], (PixelRect{517, -97, 747, 133}));
    EXPECT_EQ(rtl.rings[0], (PixelRect{-83, -97, 147, 133}));
    EXPECT_EQ(rtl.rings[2].left, -163);
    EXPECT_EQ(ltr.badge, (PixelRect{598, 14, 640, 56}));
    EXPECT_EQ(rtl.badge, (PixelRect{24, 14, 66, 56}));
    // The arrow points outward: to the upper right, or the upper left when mirrored.
    EXPECT_GT(ltr.arrowLine[1].x, ltr.arrowLine[0].x);
    EXPECT_LT(rtl.arrowLine[1].x, rtl.arrowLine[0].x);
    EXPECT_LT(ltr.arrowLine[1].y, ltr.arrowLine[0].y);
}

TEST(BannerShapesFor, ArrowDriftsOnHoverOnlyWithAnimations) {
    const BannerShapes rest = BannerShapesFor(96, false, 0.0f, true);
    EXPECT_FLOAT_EQ(rest.arrowLine[0].x, 618.5f - 6.0f);
    EXPECT_FLOAT_EQ(rest.arrowLine[0].y, 34.5f + 6.0f);
    const BannerShapes hovered = BannerShapesFor(96, false, 1.0f, true);
    EXPECT_FLOAT_EQ(hovered.arrowLine[0].x - rest.arrowLine[0].x, 1.5f);
    EXPECT_FLOAT_EQ(hovered.arrowLine[0].y - rest.arrowLine[0].y, -1.5f);
    const BannerShapes still = BannerShapesFor(96, false, 1.0f, false);
    EXPECT_FLOAT_EQ(still.arrowLine[0].x, rest.arrowLine[0].x);
    const BannerShapes rtlHovered = BannerShapesFor(96, true, 1.0f, true);
    const BannerShapes rtlRest = BannerShapesFor(96, true, 0.0f, true);
    EXPECT_FLOAT_EQ(rtlHovered.arrowLine[0].x - rtlRest.arrowLine[0].x, -1.5f);
}

TEST(BannerTextRectsFor, SiteNameMovesInRightToLeftAndPensScale) {
    const BannerShapes s = BannerShapesFor(144, false, 0.0f, true);
    EXPECT_FLOAT_EQ(s.badgePenWidth, 1.5f);
    EXPECT_FLOAT_EQ(s.arrowPenWidth, 3.0f);
    EXPECT_EQ(s.ringPenWidth, 2);
    EXPECT_EQ(BannerTextRectsFor(96, false).rects[0], (PixelRect{24, 18, 544, 47}));
    EXPECT_EQ(BannerTextRectsFor(96, true).rects[0], (PixelRect{120, 18, 640, 47}));
    EXPECT_EQ(BannerTextRectsFor(96, true).rects[5], (PixelRect{24, 211, 640, 246}));
}

} // namespace
} // namespace vesko
