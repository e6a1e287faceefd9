#pragma once

#include <windows.h>

#include "app/run_modes.h"

namespace zelkora::app {

inline constexpr int kExitFailed = 1;

// Start-up of the user interface, the message loop and the clean-up after it.
// Returns the exit code held in the application state, or 1 when the user
// interface could not start.
int run_application(RunRequest request, HINSTANCE instance);

}  // namespace zelkora::app
