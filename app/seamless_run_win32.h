#pragma once
// The seamless update as the application run starts and ends it: the flow
// with its services, the splash in place of the window, and the isolated
// hand-off of self-tests 7 and 8.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "core/owners_win32.h"
#include "ui/window_state_win32.h"

namespace zelkora::app {

// A real update: answers go to the Client's key and event, and the Client is
// reopened as the desktop user.
void begin_seamless_update(ui::WindowState& state);

// The splash where the Client's window was; false, with the splash fallback
// marked, when it cannot be made (the update still runs, in the ordinary
// window, which the caller shows).
bool show_seamless_splash(ui::WindowState& state, HINSTANCE instance);

// Self-tests 6 to 10: a record and event of their own, launches only noted.
class SplashSelfTest {
public:
    // Writes the record, creates the event, reads the record back and begins
    // the seamless update with it; false when any of that fails.
    bool stage(ui::WindowState& state);
    // At the end of the run, however it ends: prints the result line, removes
    // the isolated key and returns the exit code. Only the first call does.
    int finish(const ui::WindowState& state);

private:
    std::u16string base_path_;
    UniqueHandle event_;
    std::vector<std::string> launches_;
    std::optional<int> exit_code_;
};

}  // namespace zelkora::app
