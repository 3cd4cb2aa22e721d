#include "app/BannerGeometry.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {

TEST(PanelGradientFor, HoverBrightensAndPressingDarkens) {
    struct Case {
        float hover;
        bool pressed;
        int shift;
        Rgb start, end;
    };
    const Case cases[] = {
        {0.0f, false, 0, {21, 24, 33}, {64, 25, 39}},
        {1.0f, false, 8, {29, 32, 41}, {72, 33, 47}},
        {0.0f, true, -5, {16, 19, 28}, {59, 20, 34}},
        {0.5f, false, 4, {25, 28, 37}, {68, 29, 43}},
        {0.5f, true, -1, {20, 23, 32}, {63, 24, 38}},
        {0.0625f, false, 1, {22, 25, 34}, {65, 26, 40}}, // 0.5 rounds away from zero
    };
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

TEST(BannerShapesFor, PenWidthsAt144Dpi) {
    const BannerShapes s = BannerShapesFor(144, false, 0.0f, true);
    EXPECT_FLOAT_EQ(s.badgePenWidth, 1.5f);
    EXPECT_FLOAT_EQ(s.arrowPenWidth, 3.0f);
    EXPECT_EQ(s.ringPenWidth, 2);
}

TEST(BannerTextRectsFor, SiteNameMovesInRightToLeft) {
    EXPECT_EQ(BannerTextRectsFor(96, false).rects[0], (PixelRect{24, 18, 544, 47}));
    EXPECT_EQ(BannerTextRectsFor(96, true).rects[0], (PixelRect{120, 18, 640, 47}));
    EXPECT_EQ(BannerTextRectsFor(96, true).rects[5], (PixelRect{24, 211, 640, 246}));
}

} // namespace
} // namespace vesko
