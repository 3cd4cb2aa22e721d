#include "app/HoverFade.h"

#include <gtest/gtest.h>

namespace vesko {
namespace {

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
    const Case cases[] = {
        {1000, 0.0f, false},   {1075, 0.5f, false}, // t = 0.5
        {1030, 0.104f, false},                      // t = 0.2: 0.04 * 2.6
        {1120, 0.896f, false},                      // t = 0.8
        {1150, 1.0f, true},    {5000, 1.0f, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.now);
        const HoverStep step = HoverLevelAt(fade, c.now);
        EXPECT_NEAR(step.level, c.level, 1e-5);
        EXPECT_EQ(step.finished, c.finished);
    }
}

TEST(RetargetHover, SameTargetChangesNothing) {
    HoverFade fade;
    const HoverRetarget result = RetargetHover(fade, false, 500, true);
    EXPECT_EQ(result.start, HoverStart::Unchanged);
    EXPECT_EQ(fade.hoverStartTick, 0u);
}

TEST(RetargetHover, ReversingHalfWayContinuesFromWhereItStands) {
    HoverFade fade;
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

TEST(RetargetHover, WithoutAnimationsJumpsToTheTarget) {
    HoverFade fade;
    const HoverRetarget result = RetargetHover(fade, true, 10000, false);
    EXPECT_EQ(result.start, HoverStart::Jump);
    EXPECT_EQ(fade.hoverLevel, 1.0f);
}

TEST(RetargetHover, AFinishedFadeStopsItsTimer) {
    HoverFade fade;
    RetargetHover(fade, true, 10000, true);
    const HoverRetarget result = RetargetHover(fade, false, 10200, true);
    EXPECT_TRUE(result.fadeTimerStopped);
    EXPECT_EQ(fade.hoverFrom, 1.0f);
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

} // namespace
} // namespace vesko
