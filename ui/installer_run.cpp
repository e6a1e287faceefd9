#include "ui/installer_run.h"

#include <cstdio>
#include <memory>
#include <string>

#include "core/outcome_messages.h"
#include "core/text_encoding.h"
#include "payload/pipe_session.h"
#include "ui/setup_window.h"

namespace zelkora::ui {
namespace {

constexpr ULONGLONG kLateLinesGraceMs = 2000;
constexpr DWORD kStillActive = 259;

void reset_run(WindowState& state) {
    state.channel.stop();
    state.progress = core::RunProgress{};
    state.summary = core::LineSummary{};
    state.details_expanded = false;
    state.restart_required = false;
    state.restart_accepted = false;
    state.interrupted_message.clear();
    state.exit_code = 0;
    state.end_seen_at = 0;
    state.exit_code_known = false;
    state.installer_exit_code = 0;
    state.shown_progress = 0.0;
}

void show_failed_start(WindowState& state, const core::LaunchFailure& failure) {
    state.progress.status_text = failure.status_text;
    state.progress.setup_code = failure.setup_code;
    state.exit_code = 1;
    state.view = kViewFailed;
    refresh_controls(state);
}

core::LaunchSettings launch_settings(const WindowState& state) {
    core::LaunchSettings settings;
    settings.selftest_case = state.selftest_case;
    settings.seamless_update = state.seamless_update;
    settings.window = state.window;
    settings.payload_factory = payload::make_pipe_session;
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

struct Expectation {
    View view;
    int highest_step;
    bool failure;
    bool attention;
    bool restart;
    bool closed_automatically;
    std::uint32_t installer_exit_code;
};

Expectation expected_outcome(unsigned selftest_case) {
    switch (selftest_case) {
        case 2: return {kViewFailed, 1, true, false, false, false, 1};
        case 3: return {kViewCompleted, 6, false, true, false, false, 0};
        case 4: return {kViewCompleted, 6, false, false, true, false, 0};
        case 5: return {kViewCompleted, 6, false, false, false, true, 0};
        case 11: return {kViewFailed, 3, false, false, false, false, 3};
        default: return {kViewCompleted, 6, false, false, false, false, 0};
    }
}

// The status text a scripted case must end with.
std::u16string expected_status(const WindowState& state) {
    switch (state.selftest_case) {
        case 2: return u"검사용 설치 실패: 프로그램 파일을 배치하지 못했어요.";
        case 11: return core::interrupted_installer_message(core::InstallFlavour::kClient, 3);
        case 5: return u"업데이트를 마쳤어요";
        default: return u"설치를 마쳤어요";
    }
}

std::u16string_view expected_attention(unsigned selftest_case) {
    return selftest_case == 3 ? u"검사용 확인 필요: 가상 화면 설정을 확인하세요." : u"";
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

}  // namespace

core::RunReport run_report(const WindowState& state) {
    auto report = core::report_from_progress(state.progress, static_cast<core::RunState>(state.view),
                                             state.automatic_update);
    report.details_expanded = state.details_expanded;
    report.restart_accepted = state.restart_accepted;
    return report;
}

void start_installer(WindowState& state) {
    if (state.view == kViewRunning && state.selftest_case == 0) return;
    if (state.is_preview()) {
        ::DestroyWindow(state.window);
        return;
    }
    if (state.selftest_case == 0 && !state.automatic_update && !confirm_install(state)) return;
    reset_run(state);
    if (const auto failure = state.channel.start(launch_settings(state))) {
        show_failed_start(state, *failure);
        return;
    }
    state.view = kViewRunning;
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
    if (state.end_seen_at == 0) state.end_seen_at = now;
    if (!state.channel.reader_finished() && now - state.end_seen_at < kLateLinesGraceMs) return;

    state.installer_exit_code = installer_exit_code(process);
    state.exit_code_known = true;
    ::KillTimer(state.window, kTimerInstallerPoll);

    if (core::run_completed(state.progress, true, state.installer_exit_code)) {
        state.exit_code = 0;
        state.view = kViewCompleted;
    } else {
        state.exit_code = 1;
        state.view = kViewFailed;
        if (!state.progress.failure_seen) {
            state.interrupted_message =
                core::interrupted_installer_message(core::InstallFlavour::kClient, state.progress.highest_step);
            state.progress.status_text = state.interrupted_message;
        }
    }
    refresh_controls(state);
    if (state.automatic_update && state.exit_code == 0) {
        if (state.selftest_case != 0) {
            state.closed_automatically = true;
        } else {
            ::DestroyWindow(state.window);
            return;
        }
    }
    if (state.selftest_case == 0) return;
    if ((state.selftest_case == 3 || state.selftest_case == 4) && state.view == kViewCompleted) {
        state.dpi_layout_holds = children_fit_at_every_dpi(state);
    }
    ::SetTimer(state.window, kTimerSelfTestCheck, 200, nullptr);
}

void apply_posted_line(WindowState& state, core::PostedLine* record) {
    const std::unique_ptr<core::PostedLine> owned(record);
    // Once the outcome is decided, a process that still holds the pipe (a
    // grandchild of the script, say) cannot change it with late lines.
    if (!owned || state.view != kViewRunning) return;
    const auto effects = core::apply_progress_line(state.progress, owned->line, state.seamless_update);
    core::add_to_summary(state.summary, owned->line);
    if (effects.run_failed) state.exit_code = 1;
    if (owned->line.code == core::kPreflightLine) return;
    refresh_controls(state);
}

void finish_self_test(WindowState& state) {
    const Expectation want = expected_outcome(state.selftest_case);
    const bool status_matches = state.progress.status_text == expected_status(state) &&
                                state.progress.attention_text == expected_attention(state.selftest_case);
    const bool passed = state.view == want.view && state.progress.highest_step == want.highest_step &&
                        state.progress.failure_seen == want.failure &&
                        state.progress.attention_seen == want.attention && state.summary.restart == want.restart &&
                        state.closed_automatically == want.closed_automatically && status_matches &&
                        state.exit_code_known && state.installer_exit_code == want.installer_exit_code &&
                        state.install_confirmations == 0 && state.dpi_layout_holds;
    char line[512];
    std::snprintf(line, sizeof(line),
                  "selftestCase=%u view=%d highestStep=%d lineCount=%d failureSeen=%d attentionSeen=%d "
                  "restartRequired=%d installerExitCode=%lu statusMatches=%d closedAutomatically=%d "
                  "installConfirmations=%d dpiLayout=%d passed=%d\n",
                  state.selftest_case, static_cast<int>(state.view), state.progress.highest_step,
                  state.progress.line_count, state.progress.failure_seen, state.progress.attention_seen,
                  state.summary.restart, static_cast<unsigned long>(state.installer_exit_code), status_matches,
                  state.closed_automatically, state.install_confirmations, state.dpi_layout_holds, passed);
    write_result_line(line);
    state.exit_code = passed ? 0 : 1;
    ::DestroyWindow(state.window);
}

}  // namespace zelkora::ui
