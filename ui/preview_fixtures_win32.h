#pragma once
// The fixed states the preview switches show, so every view and dialog can
// be looked at without installing anything.

#include <optional>

#include "ui/splash_win32.h"
#include "ui/window_state_win32.h"

namespace zelkora::ui {

// Sets the run of the preview case on the state; before the window exists.
void apply_preview_fixture(WindowState& state);

// Cases 4, 7 and 8 open a dialog shortly after the window appears.
bool preview_opens_dialog(const WindowState& state);

// Opens that dialog; every answer is ignored.
void open_preview_dialog(WindowState& state);

// Cases 9 and 10 show the update splash instead of the window.
struct PreviewSplash {
    SplashOptions options;
    int stage = 0;
};
std::optional<PreviewSplash> preview_splash(std::int8_t preview_case);

}  // namespace zelkora::ui
