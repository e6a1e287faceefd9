#pragma once
// What a self-test adds to an installer run: the checks of the scripted run,
// the DPI layout check and the result line. The shipped run logic calls in
// here only when the run is a self-test.

#include <string>

#include "ui/window_state_win32.h"

namespace zelkora::ui {

// A self-test's result line on standard output (the parent's console when
// the setup has none).
void print_result_line(const std::string& line);

// Timer 2: starts the scripted run without a confirmation; a run that
// cannot start ends the setup with exit code 1.
void start_self_test(WindowState& state);

// A self-test whose installer never started ends without its check; its
// result line says why.
void report_failed_self_test_start(const WindowState& state, const std::string& setup_code);

// Once the outcome is decided: lays the result out at several DPIs when the
// case asks for it, then sets timer 3 for the check.
void check_self_test_after_outcome(WindowState& state);

// Timer 3: checks a scripted run, prints its result line, ends the run.
void finish_self_test(WindowState& state);

}  // namespace zelkora::ui
