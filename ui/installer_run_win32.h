#pragma once
// The installer run as the setup window drives it: start, the lines that
// arrive, and the end with its outcome.

#include <string>

#include "core/outcome_messages.h"
#include "ui/window_state_win32.h"

namespace zelkora::ui {

inline constexpr UINT_PTR kTimerInstallerPoll = 1;
inline constexpr UINT_PTR kTimerSelfTestStart = 2;
inline constexpr UINT_PTR kTimerSelfTestCheck = 3;
inline constexpr UINT_PTR kTimerPreviewDialog = 4;
inline constexpr UINT_PTR kTimerCopyFeedback = 5;
inline constexpr UINT_PTR kTimerAnimation = 7;

// Command 1 outside the completed view, the start message of an automatic
// update and the self-test start all come here.
void start_installer(WindowState& state);

// Timer 1: decides the outcome once the installer has ended and its lines
// have arrived (or the grace period has passed).
void poll_installer_end(WindowState& state);

// Applies one line from the reader thread; takes ownership of the record.
void apply_posted_line(WindowState& state, core::PostedLine* record);

// WM_DESTROY before a seamless run was finished: the Client still waits for
// its answer and gets the run's failure.
void settle_owed_handoff(WindowState& state);

core::RunReport run_report(const WindowState& state);

}  // namespace zelkora::ui
