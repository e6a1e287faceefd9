#include <gtest/gtest.h>

#include <vector>

#include "core/line_summary.h"
#include "core/outcome_codes.h"
#include "core/progress_line.h"

namespace {

using zelkora::core::LineSummary;
using zelkora::core::render_result_record;

// Runs raw lines through the parser first, as the pipe reader does.
LineSummary summary_of(const std::vector<std::string>& raw_lines) {
    LineSummary summary;
    for (const auto& raw : raw_lines) {
        if (const auto parsed = zelkora::core::parse_progress_line(raw)) {
            zelkora::core::add_to_summary(summary, *parsed);
        }
    }
    return summary;
}

std::string record(bool completed, int step, bool reboot, bool attention, const std::string& code) {
    return std::string(R"({"schema":1,"product":"host","version":"0.2.155","outcome":")") +
           (completed ? "completed" : "failed") + R"(","completed":)" + std::to_string(step) +
           R"(,"rebootRequired":)" + (reboot ? "true" : "false") + R"(,"attention":)" +
           (attention ? "true" : "false") + R"(,"code":")" + code + "\"}";
}

TEST(ResultRecord, EmptyFailedSummaryIsExact) {
    EXPECT_EQ(render_result_record(LineSummary{}, false, false),
              R"({"schema":1,"product":"host","version":"0.2.155","outcome":"failed","completed":0,)"
              R"("rebootRequired":false,"attention":false,"code":"install_failed"})");
}

struct SequenceCase {
    const char* name;
    std::vector<std::string> lines;
    bool completed;
    std::string expected;
};

class LineSequences : public testing::TestWithParam<SequenceCase> {};

TEST_P(LineSequences, RenderTheirRecord) {
    EXPECT_EQ(render_result_record(summary_of(GetParam().lines), GetParam().completed, false),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineSequences,
    testing::Values(
        SequenceCase{"completed_run", {"0|a", "3|b", "5|c", "6|d"}, true, record(true, 6, false, false, "")},
        SequenceCase{"failed_with_script_code",
                     {"0|a", "-4|driver_install_required", "-1|x"}, false,
                     record(false, 0, false, false, "driver_install_required")},
        SequenceCase{"path_as_code_is_dropped",
                     {"0|a", "-4|C:\\Users\\kim\\AppData\\secret.txt", "-1|x"}, false,
                     record(false, 0, false, false, "install_failed")},
        SequenceCase{"restart_exact_text", {"0|a", "-3|reboot-required-v1", "6|d"}, true,
                     record(true, 6, true, false, "")},
        SequenceCase{"restart_text_with_extra", {"0|a", "-3|reboot-required-v1 extra", "6|d"}, true,
                     record(true, 6, false, false, "")},
        SequenceCase{"attention_in_completed_run", {"0|a", "-2|가상 화면 확인 필요", "6|d"}, true,
                     record(true, 6, false, true, "display_attention")},
        SequenceCase{"code_ignored_when_completed", {"-4|certificate_trust_required", "6|d"}, true,
                     record(true, 6, false, false, "")},
        SequenceCase{"highest_step_not_last", {"0|a", "3|b", "1|c"}, false,
                     record(false, 3, false, false, "install_failed")},
        SequenceCase{"rejected_lines_skipped", {"7|x", "-6|x", "3x|x", "2|\xff\xfe", "2|ok"}, false,
                     record(false, 2, false, false, "install_failed")},
        SequenceCase{"preflight_changes_nothing", {"-5|preflight-complete-v1"}, false,
                     record(false, 0, false, false, "install_failed")}),
    [](const auto& info) { return std::string(info.param.name); });

struct CodeMappingCase {
    std::string summary_code;
    std::string update_mode;
};

TEST(ResultRecord, UpdateModeMapsLaunchCodesAndNormalModeDoesNot) {
    const CodeMappingCase cases[] = {
        {"update_not_newer", "not_newer"},        {"not_newer", "not_newer"},
        {"installer_missing", "stage_failed"},     {"stage_failed", "stage_failed"},
        {"progress_channel_failed", "launch_failed"}, {"installer_start_failed", "launch_failed"},
        {"launch_failed", "launch_failed"},        {"rollback_failed", "install_failed"},
        {"driver_install_required", "driver_install_required"},
    };
    for (const auto& c : cases) {
        LineSummary summary;
        summary.code = c.summary_code;
        EXPECT_EQ(render_result_record(summary, false, true), record(false, 0, false, false, c.update_mode))
            << c.summary_code;
        const std::string normal = zelkora::core::is_trusted_code(c.summary_code) ? c.summary_code : "install_failed";
        EXPECT_EQ(render_result_record(summary, false, false), record(false, 0, false, false, normal))
            << c.summary_code;
        EXPECT_EQ(render_result_record(summary, true, true), record(true, 0, false, false, ""))
            << c.summary_code;
    }
}

TEST(ResultRecord, StepIsClamped) {
    LineSummary summary;
    summary.step = 9;
    EXPECT_EQ(render_result_record(summary, true, false), record(true, 6, false, false, ""));
    summary.step = -2;
    EXPECT_EQ(render_result_record(summary, true, false), record(true, 0, false, false, ""));
}

struct DiagnosticCase {
    const char* name;
    std::vector<std::string> lines;
    zelkora::core::DiagnosticRecord expected;
};

class DiagnosticTexts : public testing::TestWithParam<DiagnosticCase> {};

TEST_P(DiagnosticTexts, FoldIntoTheDiagnosticRecord) {
    EXPECT_EQ(summary_of(GetParam().lines).diagnostic, GetParam().expected);
}

using Diag = zelkora::core::DiagnosticRecord;
const std::string kPhase = "-5|diagnostic-v1|phase|";
const std::string kError = "-5|diagnostic-v1|error|";

INSTANTIATE_TEST_SUITE_P(
    Cases, DiagnosticTexts,
    testing::Values(
        DiagnosticCase{"later_phase_replaces", {kPhase + "installer_gate", kPhase + "payload_copy"},
                       Diag{false, "payload_copy", 0, 0}},
        DiagnosticCase{"first_error_wins_and_freezes_phase",
                       {kPhase + "journal_write", kError + "-2147483648|4294967295", kError + "5|6",
                        kPhase + "finalize"},
                       Diag{true, "journal_write", INT32_MIN, 4294967295u}},
        DiagnosticCase{"unknown_phase", {kPhase + "Finalize", kPhase + "finalize "}, Diag{}},
        DiagnosticCase{"code_overflow", {kError + "2147483648|1"}, Diag{}},
        DiagnosticCase{"detail_overflow", {kError + "1|4294967296"}, Diag{}},
        DiagnosticCase{"negative_detail", {kError + "1|-1"}, Diag{}},
        DiagnosticCase{"plus_sign", {kError + "+1|1"}, Diag{}},
        DiagnosticCase{"missing_digits", {kError + "-|1", kError + "1|", kError + "|1"}, Diag{}},
        DiagnosticCase{"trailing_character", {kError + "1|2|", kError + "1|2x"}, Diag{}},
        DiagnosticCase{"longest_allowed", {kError + std::string(105, '0') + "1|1"}, Diag{true, "", 1, 1}},
        DiagnosticCase{"one_character_too_long", {kError + std::string(106, '0') + "1|1"}, Diag{}},
        DiagnosticCase{"not_from_a_minus_five_line", {"3|diagnostic-v1|phase|finalize"}, Diag{}},
        DiagnosticCase{"non_ascii", {"-5|diagnostic-v1|phase|finalize\xc3\xa9"}, Diag{}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
