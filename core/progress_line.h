#pragma once
// Progress lines written by the installer script into the progress pipe, and
// the run progress state they drive. Portable: no <windows.h>.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelkora::core {

inline constexpr int kLowestLineKind = -5;
inline constexpr int kHighestStep = 6;

enum LineKind : std::int32_t {
    kPreflightLine = -5,
    kReportedCodeLine = -4,
    kRestartLine = -3,
    kAttentionLine = -2,
    kFailureLine = -1,
};

inline constexpr std::u16string_view kPreflightComplete = u"preflight-complete-v1";
inline constexpr std::u16string_view kRebootRequired = u"reboot-required-v1";

struct ProgressLine {
    std::int32_t code = 0;
    std::u16string text;
    bool operator==(const ProgressLine&) const = default;
};

// "-6|..." lines belong to the payload engine and are never progress lines.
bool is_payload_request(std::string_view line);

// Takes the bytes of one line without its line feed; nothing when rejected.
std::optional<ProgressLine> parse_progress_line(std::string_view line);

struct RunProgress {
    int highest_step = 0;
    int line_count = 0;
    bool failure_seen = false;
    bool attention_seen = false;
    std::u16string status_text;
    std::u16string attention_text;
    std::u16string reported_code;
    std::string setup_code;
    bool preflight_signalled = false;
    int step_at_preflight = 0;
};

// What the caller must do after a line was applied; the state itself is
// already updated.
struct LineEffects {
    bool run_failed = false;           // a failure line: the exit code becomes 1 now
    bool preflight_now = false;        // seamless update: publish "ready" with step_at_preflight
};

LineEffects apply_progress_line(RunProgress& progress, const ProgressLine& line,
                                bool seamless_update);

}  // namespace zelkora::core
