#include "core/progress_line.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "core/outcome_codes.h"
#include "core/text_encoding.h"

namespace zelkora::core {
namespace {

// The number is read with strtol as a whole, so leading white space and one
// sign are accepted exactly as the C library accepts them.
std::optional<std::int32_t> parse_line_kind(std::string_view digits) {
    const std::string terminated(digits);
    const char* begin = terminated.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE) return std::nullopt;
    if (end != begin + terminated.size()) return std::nullopt;  // also catches embedded NULs
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    if (value < kLowestLineKind || value > kHighestStep) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

}  // namespace

bool is_payload_request(std::string_view line) { return line.starts_with("-6|"); }

std::optional<ProgressLine> parse_progress_line(std::string_view line) {
    if (line.empty()) return std::nullopt;
    const auto bar = line.find('|');
    if (bar == std::string_view::npos) return std::nullopt;
    const auto kind = parse_line_kind(line.substr(0, bar));
    if (!kind) return std::nullopt;
    std::string_view text = line.substr(bar + 1);
    if (text.ends_with('\r')) text.remove_suffix(1);
    auto wide = utf8_to_utf16_strict(text);
    if (!wide || wide->empty()) return std::nullopt;
    return ProgressLine{*kind, std::move(*wide)};
}

LineEffects apply_progress_line(RunProgress& progress, const ProgressLine& line,
                                bool seamless_update) {
    LineEffects effects;
    ++progress.line_count;
    switch (line.code) {
        case kPreflightLine:
            if (line.text == kPreflightComplete && seamless_update && !progress.preflight_signalled) {
                progress.preflight_signalled = true;
                progress.step_at_preflight = progress.highest_step;
                effects.preflight_now = true;
            }
            break;
        case kReportedCodeLine:
            if (is_trusted_code(line.text)) progress.reported_code = line.text;
            break;
        case kRestartLine:
            break;
        case kAttentionLine:
            progress.status_text = line.text;
            progress.attention_text = line.text;
            progress.attention_seen = true;
            break;
        case kFailureLine:
            progress.status_text = line.text;
            progress.failure_seen = true;
            effects.run_failed = true;
            break;
        default:
            if (line.code >= 0 && line.code <= kHighestStep) {
                progress.status_text = line.text;
                if (line.code > progress.highest_step) progress.highest_step = line.code;
            }
            break;
    }
    return effects;
}

}  // namespace zelkora::core
