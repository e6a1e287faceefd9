#pragma once
// The face of the setup window: the header and the view of its state drawn
// off-screen, and its owner-drawn buttons.

#include <windows.h>

#include "ui/window_state_win32.h"

namespace zelkora::ui {

void paint_window(WindowState& state);
// Also answers WM_PRINTCLIENT; draws nothing when the client area is empty.
// With a region (client pixels), only that part of the view is drawn, at its
// place in dc, with the pixels a whole paint gives it.
void paint_view(WindowState& state, HDC dc, const RECT* region = nullptr);
bool draw_button(const WindowState& state, const DRAWITEMSTRUCT* item);
// Colours of the diagnostics field; returns the brush for its background.
LRESULT field_colours(const WindowState& state, HDC dc);

}  // namespace zelkora::ui
