#include "ui/installer_run_win32.h"

#include <memory>
#include <string>

#include "core/outcome_codes.h"
#include "core/outcome_messages.h"
#include "core/text_encoding.h"
#include "setup_version.h"
#include "state/install_locations_win32.h"
#include "ui/selftest_harness_win32.h"
#include "ui/setup_window_win32.h"

namespace zelkora::ui {
namespace {

constexpr ULONGLONG kLateLinesGraceMs = 2000;
constexpr DWORD kStillActive = 259;

void reset_run(WindowState& state) {
    state.channel.stop();
    state.run = CurrentRun{};
}

bool seamless_run_open(const WindowState& state) { return state.seamless && state.seamless->owes_result(); }

std::string run_failure_code(const WindowState& state) {
    const core::RunProgress& progress = state.run.progress;
    return core::failure_code(progress.reported_code, progress.setup_code, progress.status_text);
}

// Measured while the splash still stands, for the self-test's report.
void note_splash_geometry(WindowState& state) {
    if (state.splash_geometry_held || !state.splash || !state.splash->window()) return;
    RECT rect{};
    ::GetWindowRect(state.splash->window(), &rect);
    state.splash_geometry_held = ::IsWindowVisible(state.splash->window()) &&
                                 splash_box_holds({rect.left, rect.top, rect.right, rect.bottom},
                                                  state.splash->work_area(), state.splash->scale());
}

// The end of a seamless run goes to the waiting Client instead of the
// ordinary result; the window appears only when the user must act.
void finish_seamless_update(WindowState& state) {
    note_splash_geometry(state);
    const bool completed = state.view == core::kRunCompleted;
    const std::string code = completed ? std::string() : run_failure_code(state);
    switch (state.seamless->finish(completed, code, state.run.progress.highest_step, state.run.summary.restart)) {
        case zelkora::state::SeamlessEnd::close_window:
            ::DestroyWindow(state.window);
            break;
        case zelkora::state::SeamlessEnd::show_completed:
            state.run.product_reopen_failed = true;
            state.run.progress.status_text = core::reopen_failed_status_text(kSetupVersionText);
            show_full_window(state, core::kRunCompleted);
            break;
        case zelkora::state::SeamlessEnd::show_failed:
            show_full_window(state, core::kRunFailed);
            break;
    }
}

void show_failed_start(WindowState& state, const core::LaunchFailure& failure) {
    state.run.progress.status_text = failure.status_text;
    state.run.progress.setup_code = failure.setup_code;
    state.run.exit_code = 1;
    state.view = core::kRunFailed;
    if (seamless_run_open(state)) {
        state.run.progress.failure_seen = true;
        finish_seamless_update(state);
        return;
    }
    refresh_controls(state);
}

core::LaunchSettings launch_settings(const WindowState& state) {
    core::LaunchSettings settings;
    settings.selftest_case = state.selftest_case;
    settings.seamless_update = state.seamless_update;
    settings.window = state.window;
    settings.payload_factory = state.payload_factory;
    // A self-test never stops for the machine's installed Client; it only
    // plays the update path.
    if (state.automatic_update && !state.is_self_test()) {
        settings.installed_version_newer = state::installed_client_newer_than_setup;
    }
    return settings;
}

std::uint32_t installer_exit_code(HANDLE process) {
    DWORD code = 0;
    if (::GetExitCodeProcess(process, &code) && code != kStillActive) return code;
    return 1;
}

// The installer has ended and its reader has delivered the last lines, or
// the grace period for late lines has passed.
bool installer_end_settled(WindowState& state, HANDLE process) {
    if (::WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return false;
    const ULONGLONG now = ::GetTickCount64();
    if (state.run.end_seen_at == 0) state.run.end_seen_at = now;
    return state.channel.reader_finished() || now - state.run.end_seen_at >= kLateLinesGraceMs;
}

// A script that ended short of success without a failure line of its own
// was cut off; the status says so.
void note_interruption(WindowState& state) {
    state.run.interrupted_message =
        core::interrupted_installer_message(core::Flavour::client, state.run.progress.highest_step);
    state.run.progress.status_text = state.run.interrupted_message;
}

void decide_outcome(WindowState& state) {
    if (core::run_completed(state.run.progress, true, *state.run.installer_exit_code)) {
        state.run.exit_code = 0;
        state.view = core::kRunCompleted;
        return;
    }
    state.run.exit_code = 1;
    state.view = core::kRunFailed;
    if (!state.run.progress.failure_seen) note_interruption(state);
}

// A completed automatic update closes the window; a self-test keeps it to
// check it. True when the window is gone.
bool close_completed_automatic_update(WindowState& state) {
    if (!state.automatic_update || state.run.exit_code != 0) return false;
    if (state.is_self_test()) {
        state.closed_automatically = true;
        return false;
    }
    ::DestroyWindow(state.window);
    return true;
}

// The decided outcome goes to the waiting Client of a seamless update, closes
// a completed automatic update, or is checked by a self-test.
void hand_over_outcome(WindowState& state) {
    if (seamless_run_open(state)) {
        finish_seamless_update(state);
        return;
    }
    if (close_completed_automatic_update(state)) return;
    if (state.is_self_test()) check_self_test_after_outcome(state);
}

}  // namespace

core::RunReport run_report(const WindowState& state) {
    auto report = core::report_from_progress(state.run.progress, state.view, state.automatic_update);
    report.product_reopen_failed = state.run.product_reopen_failed;
    report.details_expanded = state.run.details_expanded;
    report.restart_accepted = state.run.restart_accepted;
    return report;
}

void start_installer(WindowState& state) {
    if (state.view == core::kRunInstalling) return;
    if (state.is_preview()) {
        ::DestroyWindow(state.window);
        return;
    }
    if (!state.is_self_test() && !state.automatic_update && !confirm_install(state)) return;
    reset_run(state);
    if (const auto failure = state.channel.start(launch_settings(state))) {
        show_failed_start(state, *failure);
        if (state.is_self_test()) report_failed_self_test_start(state, failure->setup_code);
        return;
    }
    state.view = core::kRunInstalling;
    refresh_controls(state);
    ::SetTimer(state.window, kTimerInstallerPoll, 100, nullptr);
}

void poll_installer_end(WindowState& state) {
    const HANDLE process = state.channel.installer_process();
    if (!process) {
        ::KillTimer(state.window, kTimerInstallerPoll);
        return;
    }
    if (!installer_end_settled(state, process)) return;
    state.run.installer_exit_code = installer_exit_code(process);
    ::KillTimer(state.window, kTimerInstallerPoll);
    decide_outcome(state);
    refresh_controls(state);
    hand_over_outcome(state);
}

void apply_posted_line(WindowState& state, core::PostedLine* record) {
    const std::unique_ptr<core::PostedLine> owned(record);
    // Once the outcome is decided, a process that still holds the pipe (a
    // grandchild of the script, say) cannot change it with late lines, nor
    // the next run with lines its reader posted before it was joined.
    if (!owned || state.view != core::kRunInstalling || owned->run != state.channel.current_run()) return;
    const auto effects = core::apply_progress_line(state.run.progress, owned->line, state.seamless_update);
    core::add_to_summary(state.run.summary, owned->line);
    if (effects.run_failed) state.run.exit_code = 1;
    if (effects.preflight_now && state.seamless) state.seamless->send_ready(state.run.progress.step_at_preflight);
    if (owned->line.code == core::kPreflightLine) return;
    if (state.seamless_update && state.splash) state.splash->set_stage(state.run.progress.highest_step);
    refresh_controls(state);
}

void settle_owed_handoff(WindowState& state) {
    if (!seamless_run_open(state)) return;
    state.seamless->settle_owed_result(run_failure_code(state), state.run.progress.highest_step);
}

}  // namespace zelkora::ui
