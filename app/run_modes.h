#pragma once
// Command-line switches and the start-up decisions made from them.
// Portable: no <windows.h>.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/selftest_cases.h"
#include "setup_version.h"
#include "state/handoff_record.h"

namespace zelkora::app {

using core::SelfTestCase;

inline constexpr std::int8_t kNoPreview = -1;

// What the one examined argument selects.
struct Switches {
    bool update_requested = false;
    SelfTestCase selftest_case = SelfTestCase::none;
    std::int8_t preview_case = kNoPreview;
    bool no_argument = false;  // only the program path was given
};

// args holds the whole argument vector, argument 0 being the program path.
Switches read_switches(const std::vector<std::u16string>& args);

// Whether start-up asks the update-launcher check and may read a record.
bool handoff_pickup_runs(const Switches& switches);

// A record is taken over only when it is fresh and meant for this setup.
bool accept_handoff_record(const state::HandoffRecord& record, std::uint64_t now_filetime);

// What the application run is started with.
struct RunRequest {
    SelfTestCase selftest_case = SelfTestCase::none;
    std::int8_t preview_case = kNoPreview;
    bool update_flag = false;
    std::optional<state::HandoffRecord> handoff;
};

enum class WindowKind { Ordinary, AutomaticUpdate, SeamlessUpdate, Preview, SelfTest };

WindowKind window_kind(const RunRequest& request);
std::u16string_view window_title(WindowKind kind);

}  // namespace zelkora::app
