#pragma once
// The plain face of the setup window: GDI text of the current view and
// simple owner-drawn buttons.

#include <windows.h>

#include "ui/window_state.h"

namespace zelkora::ui {

void paint_window(WindowState& state);
void paint_view(WindowState& state, HDC dc);
bool draw_button(const WindowState& state, const DRAWITEMSTRUCT* item);
// Colours of the diagnostics field; returns the brush for its background.
LRESULT field_colours(const WindowState& state, HDC dc);

}  // namespace zelkora::ui
