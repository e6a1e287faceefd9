#pragma once
// The colours of the setup's dark theme, shared by the window, the dialogs
// and the splash.

#include <windows.h>

#include <array>
#include <optional>

namespace zelkora::ui::theme {

inline constexpr COLORREF kBackground = RGB(0x0E, 0x14, 0x18);
inline constexpr COLORREF kCard = RGB(0x14, 0x1C, 0x21);
inline constexpr COLORREF kLine = RGB(0x1F, 0x2B, 0x32);
inline constexpr COLORREF kDetailsBox = RGB(0x1A, 0x23, 0x29);
inline constexpr COLORREF kText = RGB(0xE9, 0xF1, 0xF3);
inline constexpr COLORREF kBody = RGB(0xBE, 0xCB, 0xD0);
inline constexpr COLORREF kMuted = RGB(0x8F, 0xA1, 0xA9);
inline constexpr COLORREF kFaint = RGB(0x5E, 0x6A, 0x73);
inline constexpr COLORREF kAccent = RGB(0xF5, 0xA6, 0x23);
inline constexpr COLORREF kAccentPressed = RGB(0xDD, 0x8F, 0x19);
inline constexpr COLORREF kPrimaryText = RGB(0x1E, 0x15, 0x03);
inline constexpr COLORREF kCautionText = RGB(0xFF, 0xD2, 0x4A);
inline constexpr COLORREF kPressedSecondary = RGB(0x1E, 0x2A, 0x31);
inline constexpr COLORREF kSuccess = RGB(0x62, 0xE3, 0xA9);
inline constexpr COLORREF kError = RGB(0xFF, 0x8A, 0x7A);

// Result panel tints: red for an error note, amber for a caution, green otherwise.
inline constexpr COLORREF kRedTint = RGB(0x2A, 0x16, 0x18);
inline constexpr COLORREF kAmberTint = RGB(0x28, 0x21, 0x14);
inline constexpr COLORREF kGreenTint = RGB(0x13, 0x26, 0x20);
inline constexpr COLORREF kAmberBorder = RGB(0x5C, 0x46, 0x1E);
inline constexpr COLORREF kGreenBorder = RGB(0x2E, 0x60, 0x4A);
inline constexpr COLORREF kRedBorder = RGB(0x60, 0x2E, 0x2F);
inline constexpr COLORREF kPanelTints[3] = {kRedTint, kAmberTint, kGreenTint};
inline constexpr COLORREF kPanelBorders[3] = {kRedBorder, kAmberBorder, kGreenBorder};

// The texts of the display model: text, body, muted, faint, accent, caution.
inline constexpr std::array<COLORREF, 6> kInks = {kText, kBody, kMuted, kFaint, kAccent, kCautionText};

// The colours of one paint: the dark palette above, or Windows' own colours
// while high contrast is on, where every shape also keeps a visible outline.
struct Palette {
    bool high_contrast = false;
    COLORREF background = kBackground;
    COLORREF card = kCard;
    COLORREF line = kLine;  // separators and borders
    COLORREF details_box = kDetailsBox;
    COLORREF track = kLine;  // of the progress bar
    COLORREF track_border = kLine;
    COLORREF accent = kAccent;
    COLORREF done = kGreenBorder;  // connectors of done steps
    COLORREF amber_tint = kAmberTint;
    COLORREF amber_border = kAmberBorder;
    std::array<COLORREF, 3> panel_tints = {kRedTint, kAmberTint, kGreenTint};
    std::array<COLORREF, 3> panel_borders = {kRedBorder, kAmberBorder, kGreenBorder};
    std::array<COLORREF, 6> inks = kInks;
    COLORREF field_text = kBody;
};

// Windows' high-contrast switch (SPI_GETHIGHCONTRAST), unless a test has
// decided it; read at every paint, so a change shows at the next one.
bool high_contrast_on();
void decide_high_contrast_for_tests(std::optional<bool> on);

Palette current_palette();

}  // namespace zelkora::ui::theme
