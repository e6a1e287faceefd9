#include "app/application_win32.h"

#include <commctrl.h>
#include <gdiplus.h>

#include "app/seamless_run_win32.h"
#include "app/start_failures_win32.h"
#include "backends/pnp/setup_api_win32.h"
#include "backends/winfsp/machine_win32.h"
#include "core/wide.h"
#include "payload/pipe_session_win32.h"
#include "ui/dialog_keys_win32.h"
#include "ui/installer_run_win32.h"
#include "ui/text_engine_win32.h"
#include "ui/preview_fixtures_win32.h"
#include "ui/setup_window_win32.h"
#include "ui/window_state_win32.h"

namespace zelkora::app {
namespace {

// GDI+ stays up from start-up until after the message loop.
class GdiplusSession {
public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        started_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession() {
        if (started_) Gdiplus::GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool started() const { return started_; }

private:
    ULONG_PTR token_ = 0;
    bool started_ = false;
};

void prepare_state(ui::WindowState& state, RunRequest& request) {
    const WindowKind kind = window_kind(request);
    state.selftest_case = request.selftest_case;
    state.preview_case = request.preview_case;
    ui::apply_preview_fixture(state);
    // The update self-test drives the automatic-update path with its script.
    const core::SelfTestRow* selftest = core::find_selftest(request.selftest_case);
    state.automatic_update = kind == WindowKind::AutomaticUpdate || kind == WindowKind::SeamlessUpdate ||
                             (selftest && selftest->update_path);
    state.seamless_update = kind == WindowKind::SeamlessUpdate;
    state.handoff = std::move(request.handoff);
    state.payload_factory = [] { return payload::make_pipe_session({&pnp::setup_api(), &winfsp::machine()}); };
}

bool show_splash(ui::WindowState& state, HINSTANCE instance, const ui::SplashOptions& options, int stage) {
    state.splash = std::make_unique<ui::Splash>();
    if (!state.splash->create(instance, options)) {
        state.splash.reset();
        return false;
    }
    state.splash->set_stage(stage);
    return true;
}

// A seamless update and previews 9 and 10 show the splash; every other run,
// and one whose splash cannot be made, shows the window with the focus on
// its first control.
void show_first_window(ui::WindowState& state, HINSTANCE instance) {
    if (state.seamless) {
        if (show_seamless_splash(state, instance)) return;
    } else if (const auto preview = ui::preview_splash(state.preview_case)) {
        if (show_splash(state, instance, preview->options, preview->stage)) return;
    }
    ::ShowWindow(state.window, SW_SHOW);
    ::SetFocus(state.window);
}

void run_message_loop(HWND window) {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (ui::translate_dialog_key(window, message)) continue;
        if (::IsDialogMessageW(window, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// The reader thread is joined before anything it may touch goes away, and
// the window's GDI objects go before GDI+ shuts down.
void release_window_resources(ui::WindowState& state) {
    state.channel.stop();
    state.splash.reset();
    state.update_event.reset();
    state.ui_font.reset();
    for (auto& brush : state.tint_brushes) brush.reset();
}

// Whichever way the run ends, early or after the message loop, it settles
// what it owes: the Client waiting on a seamless update gets its final answer
// and the event, and a seamless self-test prints its line and removes its
// isolated key.
class RunSettlement {
public:
    RunSettlement(ui::WindowState& state, SplashSelfTest& selftest) : state_(state), selftest_(selftest) {}
    ~RunSettlement() { settle(); }
    RunSettlement(const RunSettlement&) = delete;
    RunSettlement& operator=(const RunSettlement&) = delete;

    // Settles once and gives the run's exit code.
    int settle() {
        ui::settle_owed_handoff(state_);
        return core::is_splash_selftest(state_.selftest_case) ? selftest_.finish(state_) : state_.run.exit_code;
    }

private:
    ui::WindowState& state_;
    SplashSelfTest& selftest_;
};

}  // namespace

int run_application(RunRequest request, HINSTANCE instance) {
    const WindowKind kind = window_kind(request);
    ui::WindowState state;
    prepare_state(state, request);
    SplashSelfTest splash_selftest;
    RunSettlement settlement(state, splash_selftest);
    if (core::is_splash_selftest(state.selftest_case)) {
        if (!splash_selftest.stage(state)) return kExitFailed;
    } else if (state.seamless_update) {
        begin_seamless_update(state);
    }

    // Wine answers ERROR_INVALID_PARAMETER although the process is already
    // per-monitor aware through its manifest; neither outcome is fatal.
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    state.scale = ::GetDpiForSystem() / 96.0;

    const GdiplusSession gdiplus;
    if (!gdiplus.started() || start_step_fails(StartStep::gdiplus)) return kExitFailed;

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);

    // The text engine registers the embedded faces with GDI too, for the
    // diagnostics field and the dialogs' measurements.
    state.embedded_fonts_in_gdi = ui::text_engine().gdi_fonts_registered();

    // Without the class no window can be made: the start fails as a failed window would.
    const bool registered = ui::register_setup_window_class(instance);
    const HWND window = start_step_fails(StartStep::window) || !registered
                            ? nullptr
                            : ui::create_setup_window(state, instance, to_wide(window_title(kind)));
    if (!window) return kExitFailed;

    show_first_window(state, instance);
    // A self-test starts its script from its own timer, exactly once.
    if (state.automatic_update && !state.is_self_test()) ::PostMessageW(window, ui::kMessageStartInstaller, 0, 0);

    run_message_loop(window);
    const int exit_code = settlement.settle();
    release_window_resources(state);
    return exit_code;
}

}  // namespace zelkora::app
