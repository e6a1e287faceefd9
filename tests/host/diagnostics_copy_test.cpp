#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/outcome_messages.h"
#include "ui/diagnostics_copy.h"

namespace {

using namespace zelkora::core;
using zelkora::ui::more_details_available;

RunReport report_of(RunState state, std::u16string status) {
    RunReport report;
    report.state = state;
    report.highest_step = state == kRunCompleted ? 6 : 2;
    report.status_text = std::move(status);
    return report;
}

TEST(StripForComparison, DropsSpacingAndPunctuationOnly) {
    EXPECT_EQ(zelkora::ui::strip_for_comparison(u" \r\n\t.,:;·‘’'\"()-/"), u"");
    EXPECT_EQ(zelkora::ui::strip_for_comparison(u"설치 파일·대상 (경로): C:/a-b.txt!"), u"설치파일대상경로Cabtxt!");
    EXPECT_EQ(zelkora::ui::strip_for_comparison(u"…|\\{}"), u"…|\\{}");
}

TEST(NotesText, JoinsTitlesAndBodies) {
    EXPECT_EQ(zelkora::ui::notes_text({}), u"");
    EXPECT_EQ(zelkora::ui::notes_text({{kLevelError, u"제목", u""}}), u"제목");
    EXPECT_EQ(zelkora::ui::notes_text({{kLevelError, u"a", u"b"}, {kLevelFine, u"c", u""}, {kLevelCaution, u"d", u"e"}}),
              u"a\r\nb\r\n\r\nc\r\n\r\nd\r\ne");
}

struct MoreDetailsCase {
    const char* name;
    RunReport report;
    bool expected;
};

class MoreDetails : public testing::TestWithParam<MoreDetailsCase> {};

TEST_P(MoreDetails, OnlyWhenDetailsSayMore) {
    EXPECT_EQ(more_details_available(GetParam().report), GetParam().expected);
}

RunReport with_attention(RunReport report, std::u16string attention) {
    report.attention_seen = true;
    report.attention_text = std::move(attention);
    return report;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MoreDetails,
    testing::Values(
        // The note drops the period; the details keep it: same words, no button.
        MoreDetailsCase{"failed_same_words", report_of(kRunFailed, u"설치 파일을 찾지 못했어요."), false},
        MoreDetailsCase{"failed_split_differs_in_spacing_only",
                        report_of(kRunFailed, u"권한 확인 · 관리자 권한이\r\n  필요해요."), false},
        MoreDetailsCase{"failed_brace_group_hidden_from_note",
                        report_of(kRunFailed, u"설치 실패 {HRESULT 0x80070005}"), true},
        MoreDetailsCase{"failed_rollback_report",
                        report_of(kRunFailed, u"Host installation failed: x Existing-service restoration: True."),
                        true},
        MoreDetailsCase{"completed_without_notes", report_of(kRunCompleted, u"완료"), false},
        MoreDetailsCase{"completed_attention_adds_result",
                        with_attention(report_of(kRunCompleted, u"완료"), u"가상 화면 확인 필요"), true},
        MoreDetailsCase{"failed_empty_status", report_of(kRunFailed, u""), false},
        MoreDetailsCase{"not_a_result_view", report_of(kRunInstalling, u"설치 실패 {x}"), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FieldText, ShowsDetailsOnlyWhenExpandedAndMore) {
    RunReport report = report_of(kRunFailed, u"설치 실패 {HRESULT 0x80070005}");
    EXPECT_EQ(zelkora::ui::field_text(report), u"설치 실패");
    report.details_expanded = true;
    EXPECT_EQ(zelkora::ui::field_text(report), u"설치 실패 {HRESULT 0x80070005}");

    RunReport same = report_of(kRunFailed, u"설치 파일을 찾지 못했어요.");
    same.details_expanded = true;
    EXPECT_EQ(zelkora::ui::field_text(same), u"설치 파일을 찾지 못했어요");
}

TEST(WrappedFieldText, WrapsToTheFieldWidthLessTwoScaledPixels) {
    const auto monospace = zelkora::ui::estimate_measurer(10);
    RunReport report = report_of(kRunFailed, u"abcd efgh. ij");
    // Notes text is "abcd efgh\r\nij"; 92 - trunc(2 * 1.5) = 89 pixels: eight units.
    EXPECT_EQ(zelkora::ui::wrapped_field_text(report, 92, 1.5, monospace), u"abcd\r\nefgh\r\nij");
    EXPECT_EQ(zelkora::ui::wrapped_field_text(report, 500, 1.0, monospace), u"abcd efgh\r\nij");
}

TEST(WrappedFieldText, FieldWithoutWidthGetsTheTextUnwrapped) {
    const auto monospace = zelkora::ui::estimate_measurer(10);
    const RunReport report = report_of(kRunFailed, u"abcd efgh. ij");
    EXPECT_EQ(zelkora::ui::wrapped_field_text(report, 3, 1.5, monospace), u"abcd efgh\r\nij");
    EXPECT_EQ(zelkora::ui::wrapped_field_text(report, 0, 1.0, monospace), u"abcd efgh\r\nij");
}

TEST(ClipboardReport, AppendsTheRestartLines) {
    RunReport report = report_of(kRunCompleted, u"완료");
    EXPECT_EQ(zelkora::ui::clipboard_report(report),
              u"Zelkora Client 1.0.0\r\n완료 단계: 6 / 6\r\n설치 결과: 완료\r\n\r\n완료"
              u"\r\nWindows 재시작 요구: 없음\r\n재시작 요청 수락: 아니요");
    report.restart_accepted = true;
    EXPECT_TRUE(zelkora::ui::clipboard_report(report).ends_with(u"\r\n재시작 요청 수락: 예"));
}

}  // namespace
