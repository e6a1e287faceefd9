#include "ui/selftest_harness_win32.h"

#include <cstdio>

#include "core/selftest_cases.h"
#include "ui/installer_run_win32.h"
#include "ui/setup_window_win32.h"

namespace zelkora::ui {
namespace {

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

bool status_as_expected(const core::RunProgress& progress, const core::SelfTestRow& row) {
    return progress.status_text == core::expected_selftest_status(row) &&
           progress.attention_text == row.expect.attention_text;
}

// Everything but the status texts; a self-test never asks for a confirmation.
bool run_as_expected(const WindowState& state, const core::SelfTestExpectation& want) {
    const core::RunProgress& progress = state.run.progress;
    return state.view == want.view && progress.highest_step == want.highest_step &&
           progress.failure_seen == want.failure_seen && progress.attention_seen == want.attention_seen &&
           state.run.summary.restart == want.restart_required &&
           state.closed_automatically == want.closed_automatically &&
           state.run.installer_exit_code == want.installer_exit_code && state.install_confirmations == 0 &&
           state.dpi_layout_holds;
}

std::string result_line(const WindowState& state, const core::SelfTestRow& row, bool status_matches, bool passed) {
    const core::RunProgress& progress = state.run.progress;
    char line[512];
    std::snprintf(line, sizeof(line),
                  "selftestCase=%u view=%d highestStep=%d lineCount=%d failureSeen=%d attentionSeen=%d "
                  "restartRequired=%d installerExitCode=%lu statusMatches=%d closedAutomatically=%d "
                  "installConfirmations=%d dpiLayout=%d passed=%d\n",
                  static_cast<unsigned>(row.id), static_cast<int>(state.view), progress.highest_step,
                  progress.line_count, progress.failure_seen, progress.attention_seen, state.run.summary.restart,
                  static_cast<unsigned long>(state.run.installer_exit_code.value_or(0)), status_matches,
                  state.closed_automatically, state.install_confirmations, state.dpi_layout_holds, passed);
    return line;
}

}  // namespace

void print_result_line(const std::string& line) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
        out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    }
    DWORD written = 0;
    ::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void start_self_test(WindowState& state) {
    start_installer(state);
    if (state.channel.installer_process()) return;
    state.run.exit_code = 1;
    ::DestroyWindow(state.window);
}

void report_failed_self_test_start(const WindowState& state, const std::string& setup_code) {
    char line[160];
    std::snprintf(line, sizeof(line), "selftestCase=%u passed=0 startFailed=%s\n",
                  static_cast<unsigned>(state.selftest_case), setup_code.c_str());
    print_result_line(line);
}

void check_self_test_after_outcome(WindowState& state) {
    if (core::find_selftest(state.selftest_case)->checks_dpi_layout && state.view == core::kRunCompleted) {
        state.dpi_layout_holds = children_fit_at_every_dpi(state);
    }
    ::SetTimer(state.window, kTimerSelfTestCheck, 200, nullptr);
}

void finish_self_test(WindowState& state) {
    const core::SelfTestRow& row = *core::find_selftest(state.selftest_case);
    const bool status_matches = status_as_expected(state.run.progress, row);
    const bool passed = status_matches && run_as_expected(state, row.expect);
    print_result_line(result_line(state, row, status_matches, passed));
    state.run.exit_code = passed ? 0 : 1;
    ::DestroyWindow(state.window);
}

}  // namespace zelkora::ui
