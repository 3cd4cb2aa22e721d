#include "app/HoverFade.h"

namespace vesko {

HoverStep HoverLevelAt(const HoverFade& fade, std::uint64_t now) {
    const float t =
        static_cast<float>(now - fade.hoverStartTick) / static_cast<float>(kHoverFadeMilliseconds);
    if (t >= 1.0f) {
        return HoverStep{fade.hoverTarget, true};
    }
    // Smoothstep: starts and ends without a jump in speed.
    const float level = fade.hoverFrom + (fade.hoverTarget - fade.hoverFrom) * t * t * (3.0f - 2.0f * t);
    return HoverStep{level, false};
}

HoverRetarget RetargetHover(HoverFade& fade, bool hovered, std::uint64_t now, bool animate) {
    const float target = hovered ? 1.0f : 0.0f;
    if (target == fade.hoverTarget) {
        return {};
    }
    HoverRetarget result;
    // A fade reversed half way continues from where it stands, not from its end.
    const HoverStep frozen = HoverLevelAt(fade, now);
    fade.hoverLevel = frozen.level;
    result.fadeTimerStopped = frozen.finished;
    fade.hoverFrom = fade.hoverLevel;
    fade.hoverTarget = target;
    fade.hoverStartTick = now;
    if (animate) {
        result.start = HoverStart::Animate;
    } else {
        fade.hoverLevel = fade.hoverTarget;
        result.start = HoverStart::Jump;
    }
    return result;
}

bool ShouldAnimate(const AnimationSetting& setting, bool& animationsEnabled) {
    if (setting.readOk) {
        animationsEnabled = setting.value;
        return setting.value;
    }
    return animationsEnabled;
}

} // namespace vesko
