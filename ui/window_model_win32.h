#pragma once
// The setup window's display model from its live state: the painting draws
// it and the accessible object reads it.

#include <windows.h>

#include "ui/display_model.h"
#include "ui/window_state.h"

namespace zelkora::ui {

DisplayModel current_window_model(const WindowState& state);

// A child window's rectangle in the parent's client DIPs.
DisplayBox child_box(HWND parent, HWND child, double scale);

// The visible buttons among ids, in that order, with their texts and states.
std::vector<DisplayControl> visible_buttons(HWND parent, std::initializer_list<int> ids, double scale);

}  // namespace zelkora::ui
