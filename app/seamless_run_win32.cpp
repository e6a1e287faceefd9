#include "app/seamless_run_win32.h"

#include <objbase.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

#include "app/start_failures_win32.h"
#include "core/selftest_cases.h"
#include "core/wide.h"
#include "payload/desktop_user_start_win32.h"
#include "payload/pipe_session_win32.h"
#include "payload/trust_checks_win32.h"
#include "setup_version.h"
#include "state/handoff_registry_win32.h"
#include "state/install_locations_win32.h"
#include "state/seamless_update_win32.h"
#include "ui/selftest_harness_win32.h"

namespace zelkora::app {
namespace {

std::optional<RECT> record_bounds(const state::HandoffRecord& record) {
    if (!record.has_bounds) return std::nullopt;
    RECT bounds{};
    static_assert(sizeof(bounds) == sizeof(record.bounds));
    std::memcpy(&bounds, record.bounds.data(), sizeof(bounds));
    return bounds;
}

bool client_still_running(std::uint32_t process_id) {
    return payload::is_running_product_process(process_id, payload::ProductApplication::client);
}

// The shell starts the Client with the desktop user's own rights, not as a
// child of this elevated process.
bool reopen_client(state::ProductVersion, std::string_view version) {
    const auto target = state::resolve_launch_target(state::Product::client, version, payload::executable_trust());
    if (!target || target->host_settings) return false;
    return payload::start_as_desktop_user(target->program, target->arguments, target->working_folder);
}

void start_flow(ui::WindowState& state, std::u16string base_path, std::function<bool(std::uint32_t)> product_running,
                std::function<bool(state::ProductVersion, std::string_view)> launch) {
    state.update_event = state::open_update_event(state.handoff->token);
    state.seamless.emplace(*state.handoff, std::string(kSetupVersion),
                           state::handoff_services(std::move(base_path), state.update_event.get(),
                                                   std::move(product_running), std::move(launch)));
}

std::uint64_t filetime_now() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::optional<std::u16string> random_token() {
    GUID guid{};
    if (FAILED(::CoCreateGuid(&guid))) return std::nullopt;
    unsigned char bytes[sizeof(guid)];
    std::memcpy(bytes, &guid, sizeof(guid));
    std::u16string token;
    for (const unsigned char byte : bytes) {
        token += u"0123456789abcdef"[byte >> 4];
        token += u"0123456789abcdef"[byte & 0xF];
    }
    return token;
}

// 800 × 600 pixels in the middle of the primary monitor.
std::array<std::uint8_t, 16> centred_bounds() {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    ::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    const LONG centre_x = (info.rcMonitor.left + info.rcMonitor.right) / 2;
    const LONG centre_y = (info.rcMonitor.top + info.rcMonitor.bottom) / 2;
    const RECT bounds{centre_x - 400, centre_y - 300, centre_x + 400, centre_y + 300};
    std::array<std::uint8_t, 16> bytes{};
    std::memcpy(bytes.data(), &bounds, sizeof(bounds));
    return bytes;
}

}  // namespace

void begin_seamless_update(ui::WindowState& state) {
    start_flow(state, state::kHandoffBasePath, client_still_running, reopen_client);
}

bool show_seamless_splash(ui::WindowState& state, HINSTANCE instance) {
    const state::HandoffRecord& record = state.seamless->record();
    ui::SplashOptions options;
    options.bounds = record_bounds(record);
    options.dark = record.dark;
    options.caption = ui::splash_caption(record.from_version, record.to_version);
    auto splash = std::make_unique<ui::Splash>();
    if (!start_step_fails(StartStep::splash) && splash->create(instance, options)) {
        state.splash = std::move(splash);
        return true;
    }
    state.splash_fallback = true;
    return false;
}

bool SplashSelfTest::stage(ui::WindowState& state) {
    base_path_ = state::isolated_handoff_base_path(::GetCurrentProcessId());
    const auto token = random_token();
    if (!token) return false;
    event_.reset(::CreateEventW(nullptr, TRUE, FALSE, to_wide(state::update_event_name(*token)).c_str()));
    if (!event_) return false;

    state::HandoffRecord record;
    record.from_version = core::kSplashSelfTestFromVersion;
    record.to_version = kSetupVersion;
    record.token = *token;
    record.created = filetime_now();
    record.dark = state.selftest_case == core::SelfTestCase::update_splash ||
                  state.selftest_case == core::SelfTestCase::update_splash_blocked;
    record.process_id = ::GetCurrentProcessId();
    record.bounds = centred_bounds();
    record.has_bounds = true;
    const std::wstring base = to_wide(base_path_);
    if (!state::write_handoff_record(base, state::HandoffCaller::client, record)) return false;
    if (start_step_fails(StartStep::selftest_record)) return false;
    state.handoff = state::read_handoff_record(base, state::HandoffCaller::client);
    if (!state.handoff) return false;

    state.seamless_update = true;
    // The self-test plays the Client itself: where its case says the Client
    // stays, the process that wrote the record is still there.
    std::function<bool(std::uint32_t)> product_running = client_still_running;
    if (core::find_selftest(state.selftest_case)->seamless.client_stays) {
        product_running = [own = record.process_id](std::uint32_t id) { return id == own; };
    }
    start_flow(state, base_path_, std::move(product_running),
               [this](state::ProductVersion which, std::string_view version) {
                   launches_.push_back((which == state::ProductVersion::updated ? "new:" : "previous:") +
                                       std::string(version));
                   return true;
               });
    return true;
}

int SplashSelfTest::finish(const ui::WindowState& state) {
    if (exit_code_) return *exit_code_;
    core::SplashSelfTestReport report;
    report.selftest_case = state.selftest_case;
    report.splash_geometry = state.splash_geometry_held.value_or(false);
    report.splash_fallback = state.splash_fallback;
    if (state.seamless) {
        report.ready_signalled = state.seamless->ready_sent();
        report.ready_stage = state.seamless->stage_at_ready();
        if (const auto& answer = state.seamless->final_answer()) {
            report.outcome = answer->outcome;
            report.code = answer->code;
            report.stage = static_cast<unsigned long>(answer->stage);
            report.restart_required = answer->restart_required;
        }
    }
    report.event_signalled = event_ && ::WaitForSingleObject(event_.get(), 0) == WAIT_OBJECT_0;
    report.launches = launches_;
    report.full_window_shown = state.full_window_shown;
    report.install_confirmations = state.install_confirmations;
    report.record_removed = !base_path_.empty() && state::delete_record_key(to_wide(base_path_));
    const bool passed = core::splash_selftest_passed(report, kSetupVersion);
    ui::print_result_line(core::splash_selftest_line(report, passed));
    exit_code_ = passed ? 0 : 1;
    return *exit_code_;
}

}  // namespace zelkora::app
