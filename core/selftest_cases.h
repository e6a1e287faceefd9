#pragma once
// The setup's self-test cases in one table: the switch that selects each,
// the fixed -Command script its PowerShell runs, and what the run must end
// with. Portable: no <windows.h>.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/outcome_messages.h"

namespace zelkora::core {

enum class SelfTestCase : unsigned {
    none = 0,
    completed = 1,
    failure = 2,
    attention = 3,
    restart = 4,
    update = 5,
    update_blocked = 6,
    update_splash = 7,
    update_splash_failure = 8,
    update_splash_blocked = 9,
    update_splash_restart = 10,
    interrupted = 11,
};

struct SelfTestExpectation {
    RunState view = kRunCompleted;
    int highest_step = 6;
    bool failure_seen = false;
    bool attention_seen = false;
    bool restart_required = false;
    bool closed_automatically = false;
    std::uint32_t installer_exit_code = 0;
    std::u16string_view status_text;     // empty: the interrupted-installer message
    std::u16string_view attention_text;
};

// What the waiting Client must have been told at the end of a seamless
// self-test (cases 6 to 10), which runs against a hand-off record of its own.
struct SeamlessExpectation {
    bool ready = false;             // "ready" came before the final answer
    std::string_view outcome;       // the final answer
    std::string_view code;          // empty: none
    bool restart_required = false;
    bool client_stays = false;      // the Client plays still running: nothing may be reopened
    std::string_view launch;        // "new" or "previous"; empty: no launch at all
    bool checks_splash = true;      // the splash stood in place, without the window
};

struct SelfTestRow {
    SelfTestCase id;
    std::u16string_view switch_text;
    // WriteLine statements after the preflight line (before it, for a script
    // that is blocked before preflight).
    std::u16string_view script_lines;
    std::u16string_view exit_statement;
    bool update_path = false;       // runs as an automatic update
    bool checks_dpi_layout = false; // re-lays out the result at several DPIs
    SelfTestExpectation expect;
    SeamlessExpectation seamless;   // cases 6 to 10
    bool preflight_first = true;
};

std::span<const SelfTestRow> selftest_rows();
const SelfTestRow* find_selftest(SelfTestCase id);
const SelfTestRow* find_selftest_switch(std::u16string_view argument);

// The -Command argument text of a case; empty when the case has no script.
std::u16string selftest_arguments(SelfTestCase id, std::u16string_view pipe_name);

// The status text a scripted case must end with.
std::u16string expected_selftest_status(const SelfTestRow& row);

// Cases 6 to 10 run a whole seamless update against a hand-off record of
// their own and report what the Client would have seen.
bool is_splash_selftest(SelfTestCase id);

inline constexpr std::string_view kSplashSelfTestFromVersion = "0.0.1";

struct SplashSelfTestReport {
    SelfTestCase selftest_case = SelfTestCase::none;
    bool splash_geometry = false;
    bool splash_fallback = false;
    bool ready_signalled = false;
    int ready_stage = 0;
    bool event_signalled = false;
    std::string outcome;  // the final answer; empty when none was given
    std::string code;
    unsigned long stage = 0;
    bool restart_required = false;
    std::vector<std::string> launches;  // "new:1.0.0", "previous:0.0.1"
    bool full_window_shown = false;
    int install_confirmations = 0;
    bool record_removed = false;
};

// The answer, the event and the launches the case's expectation names, with
// no install confirmation and no window; the splash in place where the case
// checks it.
bool splash_selftest_passed(const SplashSelfTestReport& report, std::string_view own_version);

// One line, ending in a line feed.
std::string splash_selftest_line(const SplashSelfTestReport& report, bool passed);

}  // namespace zelkora::core
