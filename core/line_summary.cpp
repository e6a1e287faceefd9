#include "core/line_summary.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

#include "core/outcome_codes.h"
#include "core/text_encoding.h"

namespace zelkora::core {
namespace {

constexpr std::size_t kMaxDiagnosticLength = 128;
constexpr std::string_view kPhasePrefix = "diagnostic-v1|phase|";
constexpr std::string_view kErrorPrefix = "diagnostic-v1|error|";

constexpr std::array<std::string_view, 24> kPhaseNames = {
    "installer_gate",    "package_metadata",  "autologon_fence",   "recovery_check",
    "provider_check",    "driver_package",    "payload_files",     "display_verify",
    "destination_paths", "shortcut_check",    "service_ownership", "unattended_driver",
    "install_root_acl",  "service_state",     "payload_plan",      "process_plan",
    "journal_write",     "service_pause",     "service_stop",      "process_stop",
    "payload_copy",      "display_state",     "service_start",     "finalize",
};

bool is_digits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whole-text decimal conversion; from_chars rejects '+', spaces and overflow.
template <typename Number>
bool parse_whole(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

bool parse_error_numbers(std::string_view rest, std::int32_t& code, std::uint32_t& detail) {
    const auto bar = rest.find('|');
    if (bar == std::string_view::npos) return false;
    const std::string_view first = rest.substr(0, bar);
    const std::string_view second = rest.substr(bar + 1);
    const std::string_view first_digits = first.starts_with('-') ? first.substr(1) : first;
    if (!is_digits(first_digits) || !is_digits(second)) return false;
    return parse_whole(first, code) && parse_whole(second, detail);
}

std::string_view failed_run_code(const LineSummary& summary, bool update_mode) {
    if (is_trusted_code(std::string_view(summary.code))) return summary.code;
    if (update_mode) {
        const auto mapped = update_mode_code(summary.code);
        if (!mapped.empty()) return mapped;
    }
    return "install_failed";
}

std::string_view json_bool(bool value) { return value ? "true" : "false"; }

}  // namespace

bool read_diagnostic_text(DiagnosticRecord& record, std::u16string_view wide) {
    if (wide.size() > kMaxDiagnosticLength) return false;
    const auto text = printable_ascii_from_utf16(wide);
    if (!text) return false;
    const std::string_view view(*text);
    if (view.starts_with(kPhasePrefix)) {
        const auto name = view.substr(kPhasePrefix.size());
        if (std::find(kPhaseNames.begin(), kPhaseNames.end(), name) == kPhaseNames.end()) return false;
        if (!record.error_recorded) record.phase = std::string(name);
        return true;
    }
    if (view.starts_with(kErrorPrefix)) {
        std::int32_t code = 0;
        std::uint32_t detail = 0;
        if (!parse_error_numbers(view.substr(kErrorPrefix.size()), code, detail)) return false;
        if (!record.error_recorded) {
            record.error_recorded = true;
            record.error_code = code;
            record.error_detail = detail;
        }
        return true;
    }
    return false;
}

void add_to_summary(LineSummary& summary, const ProgressLine& line) {
    switch (line.code) {
        case kPreflightLine:
            read_diagnostic_text(summary.diagnostic, line.text);
            break;
        case kReportedCodeLine:
            if (is_trusted_code(line.text)) summary.code.assign(line.text.begin(), line.text.end());
            break;
        case kRestartLine:
            if (line.text == kRebootRequired) summary.restart = true;
            break;
        case kAttentionLine:
            summary.attention = true;
            break;
        case kFailureLine:
            summary.failure = true;
            break;
        default:
            if (line.code >= 0 && line.code <= kHighestStep) summary.step = std::max(summary.step, line.code);
            break;
    }
}

LineSummary summarize_lines(const std::vector<ProgressLine>& lines) {
    LineSummary summary;
    for (const auto& line : lines) add_to_summary(summary, line);
    return summary;
}

std::string render_result_record(const LineSummary& summary, bool completed, bool update_mode) {
    std::string_view code;
    if (completed) {
        code = summary.attention ? "display_attention" : "";
    } else {
        code = failed_run_code(summary, update_mode);
    }
    const int step = std::clamp(summary.step, 0, kHighestStep);
    std::string record = R"({"schema":1,"product":"host","version":"0.2.155","outcome":")";
    record += completed ? "completed" : "failed";
    record += R"(","completed":)";
    record += std::to_string(step);
    record += R"(,"rebootRequired":)";
    record += json_bool(summary.restart);
    record += R"(,"attention":)";
    record += json_bool(summary.attention);
    record += R"(,"code":")";
    record += code;  // always one of our own identifiers, so no escaping is needed
    record += "\"}";
    return record;
}

}  // namespace zelkora::core
