#pragma once
// Owner-drawn buttons in the setup's four styles, each drawn on a surface of
// its own and copied onto the button in one go.

#include <windows.h>

#include "ui/text_engine_win32.h"

namespace zelkora::ui {

enum class ButtonStyle { primary = 0, secondary = 1, right_text = 2, left_text = 3 };

struct ButtonState {
    bool pressed = false;
    bool disabled = false;
    bool focused = false;
};

ButtonState button_state(UINT item_state);

// Draws the button of a WM_DRAWITEM on the given background; the label is the
// control's window text.
void draw_button(TextEngine& engine, const DRAWITEMSTRUCT& item, double scale, ButtonStyle style,
                 COLORREF background);

}  // namespace zelkora::ui
