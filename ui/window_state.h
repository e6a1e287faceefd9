#pragma once
// The application state: one record created by the run, owned by the setup
// window for the whole run and destroyed after the message loop.

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>

#include "core/owners.h"
#include "core/progress_line.h"
#include "state/handoff_record.h"

namespace zelkora::ui {

enum View : std::int32_t { kViewReady = 0, kViewRunning = 1, kViewCompleted = 2, kViewFailed = 3 };

struct WindowState {
    HWND window = nullptr;
    core::RunProgress progress;
    int exit_code = 0;
    double scale = 1.0;
    View view = kViewReady;

    unsigned selftest_case = 0;
    std::int8_t preview_case = -1;
    bool automatic_update = false;
    bool seamless_update = false;
    std::optional<state::HandoffRecord> handoff;

    bool embedded_fonts_in_gdi = false;
    UniqueGdiObject ui_font;
    std::array<UniqueGdiObject, 3> tint_brushes;  // red, amber, green
};

}  // namespace zelkora::ui
