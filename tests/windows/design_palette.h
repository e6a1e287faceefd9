#pragma once
// The design's colours, written out here rather than taken from ui/theme_win32.h:
// a test that expected the painter's own constants would pass a mistyped one.

#include <windows.h>

namespace zelkora::test::design {

inline constexpr COLORREF kBackground = RGB(0x0E, 0x14, 0x18);
inline constexpr COLORREF kCard = RGB(0x14, 0x1C, 0x21);
inline constexpr COLORREF kLine = RGB(0x1F, 0x2B, 0x32);
inline constexpr COLORREF kDetailsBox = RGB(0x1A, 0x23, 0x29);
inline constexpr COLORREF kText = RGB(0xE9, 0xF1, 0xF3);
inline constexpr COLORREF kMuted = RGB(0x8F, 0xA1, 0xA9);
inline constexpr COLORREF kFaint = RGB(0x5E, 0x6A, 0x73);
inline constexpr COLORREF kAccent = RGB(0xF5, 0xA6, 0x23);
inline constexpr COLORREF kAccentPressed = RGB(0xDD, 0x8F, 0x19);
inline constexpr COLORREF kPrimaryText = RGB(0x1E, 0x15, 0x03);
inline constexpr COLORREF kCautionText = RGB(0xFF, 0xD2, 0x4A);
inline constexpr COLORREF kSuccess = RGB(0x62, 0xE3, 0xA9);
inline constexpr COLORREF kAmberTint = RGB(0x28, 0x21, 0x14);
inline constexpr COLORREF kAmberBorder = RGB(0x5C, 0x46, 0x1E);
inline constexpr COLORREF kGreenBorder = RGB(0x2E, 0x60, 0x4A);
inline constexpr COLORREF kRedTint = RGB(0x2A, 0x16, 0x18);
inline constexpr COLORREF kRedBorder = RGB(0x60, 0x2E, 0x2F);
inline constexpr COLORREF kPressedSecondary = RGB(0x1E, 0x2A, 0x31);

}  // namespace zelkora::test::design
