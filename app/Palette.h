// The interface's colours.
#pragma once

#include <windows.h>

namespace vesko::palette {

inline constexpr COLORREF kWindowBackground = RGB(248, 249, 252);
inline constexpr COLORREF kPrimaryText = RGB(28, 31, 40);
inline constexpr COLORREF kSecondaryText = RGB(104, 111, 128);
inline constexpr COLORREF kCard = RGB(255, 255, 255);
inline constexpr COLORREF kCardBorder = RGB(223, 226, 234);
inline constexpr COLORREF kBarTrack = RGB(228, 231, 238);
inline constexpr COLORREF kAccent = RGB(227, 32, 45);
inline constexpr COLORREF kDoneBar = RGB(34, 153, 107);
inline constexpr COLORREF kDoneStatus = RGB(31, 126, 88);
inline constexpr COLORREF kErrorStatus = RGB(187, 33, 49);
inline constexpr COLORREF kWarningStatus = RGB(153, 93, 15);
inline constexpr COLORREF kWhite = RGB(255, 255, 255);

} // namespace vesko::palette
