#include "ui/installer_run.h"

#include <cstdio>
#include <memory>
#include <string>

#include "core/outcome_codes.h"
#include "core/outcome_messages.h"
#include "core/text_encoding.h"
#include "setup_version.h"
#include "state/install_locations_win32.h"
#include "ui/setup_window.h"

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

void write_result_line(const std::string& line) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
        out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    }
    DWORD written = 0;
    ::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

bool children_inside_client(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        RECT box{};
        ::GetWindowRect(child, &box);
        ::MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&box), 2);
        if (box.left < client.left || box.top < client.top || box.right > client.right || box.bottom > client.bottom) {
            return false;
        }
    }
    return true;
}

// Sends the window what Windows sends when it moves to a monitor of another
// DPI, with the suggested rectangle for the same client size, and checks that
// the layout keeps every child inside; ends back at the system DPI.
bool children_fit_at_every_dpi(WindowState& state) {
    const UINT system_dpi = ::GetDpiForSystem();
    bool fits = true;
    for (const UINT dpi : {96u, 120u, 144u, 192u, system_dpi}) {
        RECT frame = setup_window_frame(dpi);
        RECT placed{};
        ::GetWindowRect(state.window, &placed);
        ::OffsetRect(&frame, placed.left, placed.top);
        ::SendMessageW(state.window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
        fits = children_inside_client(state.window) && fits;
    }
    return fits;
}

// A self-test whose installer never started ends without its check; this
// line says why.
void report_failed_self_test_start(const WindowState& state, const std::string& setup_code) {
    char line[160];
    std::snprintf(line, sizeof(line), "selftestCase=%u passed=0 startFailed=%s\n",
                  static_cast<unsigned>(state.selftest_case), setup_code.c_str());
    write_result_line(line);
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
    if (::WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return;
    const ULONGLONG now = ::GetTickCount64();
    if (state.run.end_seen_at == 0) state.run.end_seen_at = now;
    if (!state.channel.reader_finished() && now - state.run.end_seen_at < kLateLinesGraceMs) return;

    state.run.installer_exit_code = installer_exit_code(process);
    ::KillTimer(state.window, kTimerInstallerPoll);

    if (core::run_completed(state.run.progress, true, *state.run.installer_exit_code)) {
        state.run.exit_code = 0;
        state.view = core::kRunCompleted;
    } else {
        state.run.exit_code = 1;
        state.view = core::kRunFailed;
        if (!state.run.progress.failure_seen) {
            state.run.interrupted_message =
                core::interrupted_installer_message(core::Flavour::client, state.run.progress.highest_step);
            state.run.progress.status_text = state.run.interrupted_message;
        }
    }
    refresh_controls(state);
    if (seamless_run_open(state)) {
        finish_seamless_update(state);
        return;
    }
    if (state.automatic_update && state.run.exit_code == 0) {
        if (state.is_self_test()) {
            state.closed_automatically = true;
        } else {
            ::DestroyWindow(state.window);
            return;
        }
    }
    if (!state.is_self_test()) return;
    if (core::find_selftest(state.selftest_case)->checks_dpi_layout && state.view == core::kRunCompleted) {
        state.dpi_layout_holds = children_fit_at_every_dpi(state);
    }
    ::SetTimer(state.window, kTimerSelfTestCheck, 200, nullptr);
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

void finish_self_test(WindowState& state) {
    const core::SelfTestRow& row = *core::find_selftest(state.selftest_case);
    const core::SelfTestExpectation& want = row.expect;
    const core::RunProgress& progress = state.run.progress;
    const bool status_matches = progress.status_text == core::expected_selftest_status(row) &&
                                progress.attention_text == want.attention_text;
    const bool passed = state.view == want.view && progress.highest_step == want.highest_step &&
                        progress.failure_seen == want.failure_seen && progress.attention_seen == want.attention_seen &&
                        state.run.summary.restart == want.restart_required &&
                        state.closed_automatically == want.closed_automatically && status_matches &&
                        state.run.installer_exit_code == want.installer_exit_code &&
                        state.install_confirmations == 0 && state.dpi_layout_holds;
    char line[512];
    std::snprintf(line, sizeof(line),
                  "selftestCase=%u view=%d highestStep=%d lineCount=%d failureSeen=%d attentionSeen=%d "
                  "restartRequired=%d installerExitCode=%lu statusMatches=%d closedAutomatically=%d "
                  "installConfirmations=%d dpiLayout=%d passed=%d\n",
                  static_cast<unsigned>(row.id), static_cast<int>(state.view), progress.highest_step,
                  progress.line_count, progress.failure_seen, progress.attention_seen, state.run.summary.restart,
                  static_cast<unsigned long>(state.run.installer_exit_code.value_or(0)), status_matches,
                  state.closed_automatically, state.install_confirmations, state.dpi_layout_holds, passed);
    write_result_line(line);
    state.run.exit_code = passed ? 0 : 1;
    ::DestroyWindow(state.window);
}

void settle_owed_handoff(WindowState& state) {
    if (!seamless_run_open(state)) return;
    state.seamless->settle_owed_result(run_failure_code(state), state.run.progress.highest_step);
}

void print_result_line(const std::string& line) { write_result_line(line); }

}  // namespace zelkora::ui
