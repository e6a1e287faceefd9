#pragma once
// The setup window's display model from its live state: the painting draws
// it and the accessible object reads it.

#include <windows.h>

#include "ui/display_model.h"
#include "ui/window_state_win32.h"

namespace zelkora::ui {

DisplayModel current_window_model(const WindowState& state);

}  // namespace zelkora::ui
