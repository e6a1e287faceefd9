#pragma once
// The application state: one record created by the run, owned by the setup
// window for the whole run and destroyed after the message loop.

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/line_summary.h"
#include "core/owners_win32.h"
#include "core/progress_channel_win32.h"
#include "core/progress_line.h"
#include "core/selftest_cases.h"
#include "state/handoff_record.h"
#include "state/seamless_update.h"
#include "ui/accessible_win32.h"
#include "ui/control_ids.h"
#include "ui/splash_win32.h"

namespace zelkora::ui {

// Everything one installer run changes; a new run starts from a fresh value.
struct CurrentRun {
    core::RunProgress progress;
    core::LineSummary summary;  // the same lines, folded as for the result record
    int exit_code = 0;
    bool restart_required = false;
    bool restart_accepted = false;
    bool details_expanded = false;
    std::optional<std::uint32_t> installer_exit_code;  // once the installer has ended
    ULONGLONG end_seen_at = 0;
    std::u16string interrupted_message;
    double shown_progress = 0.0;
    bool product_reopen_failed = false;  // a seamless update whose new version did not open
};

// What the diagnostics field shows was wrapped from this text at this client
// width; the field is wrapped again only when either changes.
struct FieldWrap {
    std::u16string source;
    int width_px = -1;
};

struct WindowState {
    HWND window = nullptr;
    std::array<HWND, 4> buttons{};  // control ids 1..4
    HWND progress_bar = nullptr;
    HWND details_field = nullptr;

    core::RunState view = core::kRunReady;
    CurrentRun run;
    core::ProgressChannel channel;
    core::PayloadContextFactory payload_factory;  // serves "-6|" requests on the channel
    double scale = 1.0;

    core::SelfTestCase selftest_case = core::SelfTestCase::none;
    std::int8_t preview_case = -1;
    bool automatic_update = false;
    bool seamless_update = false;
    std::optional<state::HandoffRecord> handoff;
    std::optional<state::SeamlessUpdate> seamless;  // present in a seamless update
    UniqueHandle update_event;                       // the Client's event; may stay empty
    std::unique_ptr<Splash> splash;                  // shown instead of the window; null once gone
    bool splash_fallback = false;  // the splash could not be made: the window shows the update
    bool full_window_shown = false;
    std::optional<bool> splash_geometry_held;  // measured when the seamless run ends

    std::int32_t install_confirmations = 0;
    double spinner_phase = 0.0;
    bool closed_automatically = false;  // a self-test keeps its window to check it
    bool dpi_layout_holds = true;       // some self-tests check the layout at several DPIs

    bool embedded_fonts_in_gdi = false;
    UniqueFont ui_font;          // the children's font, made for ui_font_scale
    double ui_font_scale = 0.0;
    FieldWrap details_wrap;
    std::array<UniqueBrush, 3> tint_brushes;  // red, amber, green
    std::unique_ptr<AccessibleWindow> accessible;  // while the window exists

    bool is_preview() const { return preview_case >= 0; }
    bool is_self_test() const { return selftest_case != core::SelfTestCase::none; }
    bool installing() const { return view == core::kRunInstalling && !is_preview(); }
    bool showing_result() const { return view == core::kRunCompleted || view == core::kRunFailed; }
    HWND button(ControlId id) const { return buttons[static_cast<std::size_t>(id - 1)]; }
};

}  // namespace zelkora::ui
