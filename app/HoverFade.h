// The 150 ms fade of the banner's hover look, as plain arithmetic over tick counts.
#pragma once

#include <cstdint>

namespace vesko {

inline constexpr std::uint64_t kHoverFadeMilliseconds = 150;

struct HoverFade {
    float hoverTarget = 0.0f;
    float hoverLevel = 0.0f;
    float hoverFrom = 0.0f;
    std::uint64_t hoverStartTick = 0;
};

// Where the fade stands at `now`; `finished` once the whole 150 ms have passed.
struct HoverStep {
    float level = 0.0f;
    bool finished = false;
};
HoverStep HoverLevelAt(const HoverFade& fade, std::uint64_t now);

// What AnimateHover must do with the timer after retargeting.
enum class HoverStart { Unchanged, Animate, Jump };

// Retargets the fade toward 1 (hovered) or 0. `fadeTimerStopped` tells whether the fade in progress
// had already ended, so its timer can go. `animate` is whether the system allows animations.
struct HoverRetarget {
    HoverStart start = HoverStart::Unchanged;
    bool fadeTimerStopped = false;
};
HoverRetarget RetargetHover(HoverFade& fade, bool hovered, std::uint64_t now, bool animate);

// The animation setting: a failed read keeps the last known value.
struct AnimationSetting {
    bool readOk = false;
    bool value = true;
};
bool ShouldAnimate(const AnimationSetting& setting, bool& animationsEnabled);

} // namespace vesko
