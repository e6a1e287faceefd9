#pragma once

#include <windows.h>

namespace zelkora::app {

inline constexpr int kExitElevationRequired = 740;

// The whole process: switches, administrator check, hand-off pick-up and the
// application run. Returns the process exit code.
int run_entry(HINSTANCE instance);

}  // namespace zelkora::app
