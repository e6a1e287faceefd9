#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/outcome_codes.h"
#include "core/outcome_messages.h"

namespace {

using namespace zelkora::core;

std::string name_of(const char* name) { return name; }

// Keeps embedded NULs, which the plain u16string constructor would stop at.
template <std::size_t N>
std::u16string units(const char16_t (&text)[N]) {
    return std::u16string(text, N - 1);
}

RunReport failed_with(std::u16string status, bool update_run = false) {
    RunReport report;
    report.state = kRunFailed;
    report.update_run = update_run;
    report.status_text = std::move(status);
    return report;
}

RunReport completed() {
    RunReport report;
    report.state = kRunCompleted;
    report.highest_step = 6;
    report.status_text = u"완료";
    return report;
}

// ---- sanitising and cleaning ----------------------------------------------

struct TextCase {
    const char* name;
    std::u16string raw;
    std::u16string expected;
};

class SanitizeText : public testing::TestWithParam<TextCase> {};

TEST_P(SanitizeText, MakesScriptTextSafeToShow) {
    EXPECT_EQ(sanitize_text(GetParam().raw), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SanitizeText,
    testing::Values(
        TextCase{"controls_become_spaces", units(u"a\0b\x01" u"c\x1b[31md\x1f" u"e"),
                 u"a b c [31md e"},
        TextCase{"tab_lf_cr_kept", u"a\tb\nc\rd", u"a\tb\nc\rd"},
        TextCase{"path_kept_verbatim", u"C:\\Program Files\\Zelkora\\Client\\1.0.0\\Zelkora.exe",
                 u"C:\\Program Files\\Zelkora\\Client\\1.0.0\\Zelkora.exe"},
        TextCase{"exactly_4096_units_unchanged", std::u16string(4096, u'가'), std::u16string(4096, u'가')},
        TextCase{"4097_units_cut", std::u16string(4097, u'a'), std::u16string(4096, u'a') + u"…"},
        TextCase{"5000_units_cut", std::u16string(5000, u'x'), std::u16string(4096, u'x') + u"…"},
        TextCase{"surrogate_pair_not_split",
                 std::u16string(4095, u'a') + u"\U0001F600" + u"tail",
                 std::u16string(4095, u'a') + u"…"},
        TextCase{"control_in_cut_text", u"\x07" + std::u16string(4200, u'b'),
                 u" " + std::u16string(4095, u'b') + u"…"}),
    [](const auto& info) { return name_of(info.param.name); });

class CleanNoteText : public testing::TestWithParam<TextCase> {};

TEST_P(CleanNoteText, RemovesGroupsAndCollapsesSpace) {
    EXPECT_EQ(clean_note_text(GetParam().raw), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CleanNoteText,
    testing::Values(
        TextCase{"group_in_middle", u"설치 실패 {0x80070005} 다시 시도", u"설치 실패 다시 시도"},
        TextCase{"nested_groups", u"a{b{c}d}e", u"ae"},
        TextCase{"closing_brace_at_depth_zero_stays", u"a}b {x}c", u"a}b c"},
        TextCase{"unclosed_group_swallows_rest", u"visible {hidden C:\\secret", u"visible"},
        TextCase{"line_breaks_and_tabs_collapse", u"  a\r\n\r\n\tb  \r\n", u"a b"},
        TextCase{"cr_inside_word_removed", u"ab\rc", u"abc"},
        TextCase{"controls_then_collapse", u"a\x01\x02" u"b", u"a b"},
        TextCase{"only_group", u"{everything}", u""}),
    [](const auto& info) { return name_of(info.param.name); });

// ---- splitting into a note --------------------------------------------------

struct SplitCase {
    const char* name;
    std::u16string raw;
    std::u16string title;
    std::u16string body;
};

class SplitIntoNote : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitIntoNote, FindsTitleAndBody) {
    const Note note = split_into_note(GetParam().raw, kLevelCaution);
    EXPECT_EQ(note, (Note{kLevelCaution, GetParam().title, GetParam().body}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitIntoNote,
    testing::Values(
        SplitCase{"separator_before_period", u"권한 확인 · 관리자 권한이 필요해요. 다시 실행하세요.",
                  u"권한 확인", u"관리자 권한이 필요해요. 다시 실행하세요."},
        SplitCase{"period_before_separator", u"파일을 찾지 못했어요. 경로 · 다시 확인",
                  u"파일을 찾지 못했어요", u"경로 · 다시 확인"},
        SplitCase{"separator_at_25_is_not_a_title", std::u16string(25, u'가') + u" · b. c",
                  std::u16string(25, u'가') + u" · b", u"c"},
        SplitCase{"separator_at_24_is_a_title", std::u16string(24, u'가') + u" · b. c",
                  std::u16string(24, u'가'), u"b. c"},
        SplitCase{"no_period_trailing_period_dropped", u"설치를 마치지 못했어요.", u"설치를 마치지 못했어요", u""},
        SplitCase{"only_one_trailing_period_dropped", u"잠시만요..", u"잠시만요.", u""},
        SplitCase{"separator_without_period", u"a · b", u"a", u"b"},
        SplitCase{"cleaned_before_split", u"제목{내부}.  \r\n 본문", u"제목", u"본문"},
        SplitCase{"empty", u"", u"", u""}),
    [](const auto& info) { return name_of(info.param.name); });

// ---- notes of a failed run -------------------------------------------------

struct NotesCase {
    const char* name;
    RunReport report;
    std::vector<Note> expected;
};

class ResultNotes : public testing::TestWithParam<NotesCase> {};

TEST_P(ResultNotes, FollowTheRun) { EXPECT_EQ(result_notes(GetParam().report), GetParam().expected); }

const Note kRestoredHost{kLevelFine, u"기존 Host로 되돌렸어요", u"서비스와 서버 등록은 설치 전 그대로예요."};
const Note kRestoreUnknown{kLevelError, u"기존 Host 복구를 확인하지 못했어요",
                           u"Host 설정에서 서비스 상태를 확인한 뒤 다시 시도하세요."};
const Note kDisplayUnknown{kLevelCaution, u"가상 화면 선택 복구를 확인하지 못했어요",
                           u"다시 시도하기 전에 Host 설정에서 가상 화면 장치를 확인하세요."};
const Note kRestartNeeded{kLevelCaution, u"Windows 재시작 필요",
                          u"작업을 저장한 뒤 직접 재시작하고 가상 화면 상태를 확인하세요. 자동으로 재시작하지 않아요."};

RunReport with_attention(RunReport report, std::u16string attention) {
    report.attention_seen = true;
    report.attention_text = std::move(attention);
    return report;
}

RunReport with_follow_up(RunReport report, std::u16string follow_up, bool restarting) {
    report.follow_up_text = std::move(follow_up);
    report.restart_in_progress = restarting;
    return report;
}

RunReport reopen_failed(RunReport report) {
    report.product_reopen_failed = true;
    return report;
}

RunReport in_state(RunState state) {
    RunReport report = failed_with(u"text");
    report.state = state;
    return report;
}

INSTANTIATE_TEST_SUITE_P(
    Failed, ResultNotes,
    testing::Values(
        NotesCase{"rollback_false",
                  failed_with(u"Host installation failed: x Existing-service restoration: False."),
                  {{kLevelError, u"설치 중 오류가 났어요", u"x"}, kRestoreUnknown}},
        NotesCase{"rollback_false_update",
                  failed_with(u"Host installation failed: x Existing-service restoration: False.", true),
                  {{kLevelError, u"업데이트 중 오류가 났어요", u"x"}, kRestoreUnknown}},
        NotesCase{"rollback_true",
                  failed_with(u"Host installation failed: x Existing-service restoration: True."),
                  {{kLevelError, u"설치 중 오류가 났어요", u"x"}, kRestoredHost}},
        NotesCase{"rollback_cut_short",
                  failed_with(u"Host installation failed: x Existing-service restoration: Tru"),
                  {{kLevelError, u"설치 중 오류가 났어요", u"x"}, kRestoreUnknown}},
        NotesCase{"hangul_reason_is_split",
                  failed_with(u"Host installation failed: 서비스 중지 · 시간이 초과됐어요 "
                              u"Existing-service restoration: True."),
                  {{kLevelError, u"서비스 중지", u"시간이 초과됐어요"}, kRestoredHost}},
        NotesCase{"display_and_restart_after_marker",
                  failed_with(u"Host installation failed: x Existing-service restoration: True. "
                              u"Native-display restoration: False. Windows 재시작 필요"),
                  {{kLevelError, u"설치 중 오류가 났어요", u"x"}, kRestoredHost, kDisplayUnknown,
                   kRestartNeeded}},
        NotesCase{"display_and_restart_before_marker_ignored",
                  failed_with(u"Host installation failed: Native-display restoration: False Windows 재시작 필요 "
                              u"Existing-service restoration: True."),
                  {{kLevelError, u"Native-display restoration: False Windows 재시작 필요"}, kRestoredHost}},
        NotesCase{"marker_overlapping_prefix_gives_empty_reason",
                  failed_with(u"Host installation failed: Existing-service restoration: True."),
                  {{kLevelError, u"설치 중 오류가 났어요", u""}, kRestoredHost}},
        NotesCase{"reason_with_controls_and_braces",
                  failed_with(u"Host installation failed: bad\x01state {C:\\x} here "
                              u"Existing-service restoration: False"),
                  {{kLevelError, u"설치 중 오류가 났어요", u"bad state here"}, kRestoreUnknown}},
        NotesCase{"without_prefix_one_note",
                  failed_with(u"설치 파일을 찾지 못했어요. Install-Client.ps1을 확인하세요."),
                  {{kLevelError, u"설치 파일을 찾지 못했어요", u"Install-Client.ps1을 확인하세요."}}},
        NotesCase{"marker_without_prefix_one_note",
                  failed_with(u"x Existing-service restoration: False"),
                  {{kLevelError, u"x Existing-service restoration: False"}}}),
    [](const auto& info) { return name_of(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Completed, ResultNotes,
    testing::Values(
        NotesCase{"plain", completed(), {}},
        NotesCase{"attention_without_continuation_sentence",
                  with_attention(completed(), u"가상 화면 확인 필요. 드라이버를 확인하세요. "
                                              u"Host 서비스와 설정 앱 설치는 계속해요."),
                  {{kLevelCaution, u"가상 화면 확인 필요", u"드라이버를 확인하세요."}}},
        NotesCase{"attention_with_korean_host_sentence",
                  with_attention(completed(), u"모니터 확인 필요 호스트 서비스와 설정 앱 설치는 계속해요."),
                  {{kLevelCaution, u"모니터 확인 필요"}}},
        NotesCase{"attention_seen_but_empty", with_attention(completed(), u""), {}},
        NotesCase{"reopen_failed",
                  reopen_failed(completed()),
                  {{kLevelCaution, u"새 버전을 자동으로 열지 못했어요", u"업데이트한 파일은 설치를 마쳤어요."}}},
        NotesCase{"follow_up_lines_restarting",
                  with_follow_up(completed(), u"재시작 중\r\n잠시 기다리세요\r\n셋째 · 설명", true),
                  {{kLevelFine, u"재시작 중", u"잠시 기다리세요"}, {kLevelCaution, u"셋째", u"설명"}}},
        NotesCase{"follow_up_single_line", with_follow_up(completed(), u"재시작하지 못했어요", false),
                  {{kLevelCaution, u"재시작하지 못했어요", u""}}},
        NotesCase{"everything_in_order",
                  reopen_failed(with_attention(with_follow_up(completed(), u"a", false), u"b")),
                  {{kLevelCaution, u"a"}, {kLevelCaution, u"b"},
                   {kLevelCaution, u"새 버전을 자동으로 열지 못했어요", u"업데이트한 파일은 설치를 마쳤어요."}}},
        NotesCase{"ready_view_has_none", in_state(kRunReady), {}},
        NotesCase{"installing_view_has_none", in_state(kRunInstalling), {}}),
    [](const auto& info) { return name_of(info.param.name); });

// ---- result header ---------------------------------------------------------

struct HeaderCase {
    const char* name;
    RunReport report;
    ResultHeader expected;
};

class ResultHeaderRows : public testing::TestWithParam<HeaderCase> {};

TEST_P(ResultHeaderRows, FirstMatchingRowWins) {
    const RunReport& report = GetParam().report;
    EXPECT_EQ(result_header(report, result_notes(report)), GetParam().expected);
}

RunReport as_update(RunReport report) {
    report.update_run = true;
    return report;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResultHeaderRows,
    testing::Values(
        HeaderCase{"failed", failed_with(u"x"),
                   {kLevelError, u"설치하지 못했어요", u"아래 내용을 확인한 뒤 다시 시도하세요."}},
        HeaderCase{"failed_update", failed_with(u"x", true),
                   {kLevelError, u"업데이트하지 못했어요", u"아래 내용을 확인한 뒤 다시 시도하세요."}},
        HeaderCase{"installing_is_never_a_success", in_state(kRunInstalling),
                   {kLevelError, u"설치하지 못했어요", u"아래 내용을 확인한 뒤 다시 시도하세요."}},
        HeaderCase{"restart_in_progress_before_attention",
                   with_attention(with_follow_up(completed(), u"a", true), u"가상 화면"),
                   {kLevelFine, u"설치를 마쳤어요", u"Windows가 재시작을 진행해요. 이 창은 닫아도 돼요."}},
        HeaderCase{"follow_up", with_follow_up(completed(), u"a", false),
                   {kLevelCaution, u"설치를 마쳤어요", u"다시 시도하거나 Windows에서 직접 재시작하세요."}},
        HeaderCase{"attention_display", with_attention(completed(), u"가상 모니터를 찾지 못했어요"),
                   {kLevelCaution, u"설치를 마쳤어요", u"Host 설정에서 가상 화면 상태를 확인하세요."}},
        HeaderCase{"attention_driver", with_attention(as_update(completed()), u"드라이버 확인"),
                   {kLevelCaution, u"업데이트를 마쳤어요", u"Host 설정에서 가상 화면 상태를 확인하세요."}},
        HeaderCase{"attention_other", with_attention(completed(), u"바로가기를 만들지 못했어요"),
                   {kLevelCaution, u"설치를 마쳤어요", u"아래 안내를 확인하세요."}},
        HeaderCase{"reopen_failed", reopen_failed(as_update(completed())),
                   {kLevelCaution, u"업데이트를 마쳤어요", u"바탕 화면의 Zelkora를 직접 실행하세요."}},
        HeaderCase{"no_notes", completed(),
                   {kLevelFine, u"설치를 마쳤어요", u"Zelkora를 열고 내 데스크톱에 로그인하세요."}}),
    [](const auto& info) { return name_of(info.param.name); });

TEST(ResultHeaderRows, SomeNotesWithoutAnyMark) {
    const std::vector<Note> notes = {{kLevelCaution, u"a"}};
    EXPECT_EQ(result_header(completed(), notes),
              (ResultHeader{kLevelCaution, u"설치를 마쳤어요", u"아래 안내를 확인하세요."}));
}

// ---- interrupted installer -------------------------------------------------

TEST(InterruptedInstaller, ClientMessageIsExact) {
    EXPECT_EQ(interrupted_installer_message(Flavour::client, 0),
              u"설치 프로그램이 결과를 남기지 않고 끝나서 설치를 마치지 못했어요.\r\n"
              u"멈춘 단계: 1/6 · 설치 파일·대상 경로 확인\r\n"
              u"보안 프로그램이 설치 과정을 중단했을 수 있어요. 보안 프로그램의 차단 기록을 확인해 보세요.\r\n"
              u"이전 버전 폴더는 그대로 남아 있어요. 설치 EXE로 다시 시도하세요.");
}

struct StoppedStepCase {
    int highest_step;
    Flavour flavour;
    std::u16string stopped_at;
};

class InterruptedInstallerSteps : public testing::TestWithParam<StoppedStepCase> {};

TEST_P(InterruptedInstallerSteps, NameTheStepAfterTheHighest) {
    const auto message = interrupted_installer_message(GetParam().flavour, GetParam().highest_step);
    EXPECT_NE(message.find(u"\r\n멈춘 단계: " + GetParam().stopped_at + u"\r\n"), std::u16string::npos);
    const bool client = GetParam().flavour == Flavour::client;
    EXPECT_EQ(message.ends_with(u"\r\n이전 버전 폴더는 그대로 남아 있어요. 설치 EXE로 다시 시도하세요."), client);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InterruptedInstallerSteps,
    testing::Values(
        StoppedStepCase{-3, Flavour::client, u"1/6 · 설치 파일·대상 경로 확인"},
        StoppedStepCase{1, Flavour::client, u"2/6 · 프로그램 파일 배치"},
        StoppedStepCase{2, Flavour::client, u"3/6 · 설치 정보 확인"},
        StoppedStepCase{3, Flavour::client, u"4/6 · 바로가기 생성"},
        StoppedStepCase{4, Flavour::client, u"5/6 · 설치 파일 무결성 확인"},
        StoppedStepCase{5, Flavour::client, u"6/6 · 클라이언트 준비"},
        StoppedStepCase{6, Flavour::client, u"6/6 · 클라이언트 준비"},
        StoppedStepCase{0, Flavour::host, u"1/6 · 설치 파일·기존 Host 확인"},
        StoppedStepCase{3, Flavour::host, u"4/6 · 가상 화면 상태 확인"},
        StoppedStepCase{99, Flavour::host, u"6/6 · 바로가기·설정 앱 준비"}));

TEST(StepLabel, OutsideOneToSixIsEmpty) {
    EXPECT_EQ(step_label(Flavour::client, 0), u"");
    EXPECT_EQ(step_label(Flavour::host, 7), u"");
    EXPECT_EQ(step_label(Flavour::host, 6), u"바로가기·설정 앱 준비");
}

// ---- run outcome -----------------------------------------------------------

TEST(RunCompleted, OnlyWithExitZeroNoFailureAndStepSix) {
    RunProgress progress;
    progress.highest_step = 6;
    EXPECT_TRUE(run_completed(progress, true, 0));
    EXPECT_FALSE(run_completed(progress, false, 0));
    EXPECT_FALSE(run_completed(progress, true, 1));
    EXPECT_FALSE(run_completed(progress, true, 0xC000013A));
    progress.highest_step = 5;
    EXPECT_FALSE(run_completed(progress, true, 0));
    progress.highest_step = 6;
    progress.failure_seen = true;
    EXPECT_FALSE(run_completed(progress, true, 0));
}

TEST(ReportFromProgress, CopiesTheProgressFields) {
    RunProgress progress;
    progress.highest_step = 4;
    progress.attention_seen = true;
    progress.status_text = u"s";
    progress.attention_text = u"a";
    const RunReport report = report_from_progress(progress, kRunFailed, true);
    EXPECT_EQ(report.state, kRunFailed);
    EXPECT_TRUE(report.update_run);
    EXPECT_EQ(report.highest_step, 4);
    EXPECT_TRUE(report.attention_seen);
    EXPECT_EQ(report.status_text, u"s");
    EXPECT_EQ(report.attention_text, u"a");
}

// ---- details text ----------------------------------------------------------

struct DetailsCase {
    const char* name;
    RunReport report;
    std::u16string expected;
};

class DetailsText : public testing::TestWithParam<DetailsCase> {};

TEST_P(DetailsText, IsBuiltAndSanitised) { EXPECT_EQ(details_text(GetParam().report), GetParam().expected); }

RunReport completed_with_status(std::u16string status) {
    RunReport report = completed();
    report.status_text = std::move(status);
    return report;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DetailsText,
    testing::Values(
        DetailsCase{"failed_is_status", failed_with(u"a\x01" u"b"), u"a b"},
        DetailsCase{"failed_long_status_cut", failed_with(std::u16string(5000, u'z')),
                    std::u16string(4096, u'z') + u"…"},
        DetailsCase{"completed_status_only", completed(), u"완료"},
        DetailsCase{"completed_empty_default", completed_with_status(u""),
                    u"바탕 화면의 Zelkora를 실행하세요. 기존 서버 주소와 로그인 기억 설정은 그대로예요."},
        DetailsCase{"attention_then_result", with_attention(completed(), u"가상 화면 확인"),
                    u"추가 확인:\r\n가상 화면 확인\r\n\r\n설치 결과:\r\n완료"},
        DetailsCase{"follow_up_attention_result",
                    with_attention(with_follow_up(completed(), u"f1\r\nf2", false), u"a"),
                    u"f1\r\nf2\r\n\r\n추가 확인:\r\na\r\n\r\n설치 결과:\r\n완료"},
        DetailsCase{"attention_without_status",
                    with_attention(completed_with_status(u""), u"a"), u"추가 확인:\r\na\r\n\r\n"},
        DetailsCase{"completed_controls_sanitised", with_attention(completed(), u"\x1b[2J"),
                    u"추가 확인:\r\n [2J\r\n\r\n설치 결과:\r\n완료"}),
    [](const auto& info) { return name_of(info.param.name); });

// ---- diagnostics text ------------------------------------------------------

struct DiagnosticsCase {
    const char* name;
    RunReport report;
    std::u16string expected;
};

class DiagnosticsText : public testing::TestWithParam<DiagnosticsCase> {};

TEST_P(DiagnosticsText, IsExact) { EXPECT_EQ(diagnostics_text(GetParam().report), GetParam().expected); }

RunReport at_step(RunReport report, int step) {
    report.highest_step = step;
    return report;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DiagnosticsText,
    testing::Values(
        DiagnosticsCase{"completed", completed(),
                        u"Zelkora Client 1.0.0\r\n완료 단계: 6 / 6\r\n설치 결과: 완료\r\n\r\n완료"},
        DiagnosticsCase{"completed_with_attention", with_attention(completed(), u"가상 화면 확인 필요"),
                        u"Zelkora Client 1.0.0\r\n완료 단계: 6 / 6\r\n설치 결과: Host 설치 완료 · 추가 확인 필요"
                        u"\r\n\r\n완료\r\n\r\n추가 확인:\r\n가상 화면 확인 필요"},
        DiagnosticsCase{"failed_with_attention_says_failed",
                        at_step(with_attention(failed_with(u"-1 text"), u"att"), 3),
                        u"Zelkora Client 1.0.0\r\n완료 단계: 3 / 6\r\n설치 결과: 실패\r\n\r\n-1 text"
                        u"\r\n\r\n추가 확인:\r\natt"},
        DiagnosticsCase{"attention_equal_to_status_left_out",
                        with_attention(failed_with(u"same"), u"same"),
                        u"Zelkora Client 1.0.0\r\n완료 단계: 0 / 6\r\n설치 결과: 실패\r\n\r\nsame"},
        DiagnosticsCase{"empty_status_no_section", failed_with(u""),
                        u"Zelkora Client 1.0.0\r\n완료 단계: 0 / 6\r\n설치 결과: 실패"},
        DiagnosticsCase{"step_clamped_high", at_step(failed_with(u""), 42),
                        u"Zelkora Client 1.0.0\r\n완료 단계: 6 / 6\r\n설치 결과: 실패"},
        DiagnosticsCase{"step_clamped_low", at_step(failed_with(u""), -7),
                        u"Zelkora Client 1.0.0\r\n완료 단계: 0 / 6\r\n설치 결과: 실패"},
        DiagnosticsCase{"unfinished_run_is_not_complete", in_state(kRunInstalling),
                        u"Zelkora Client 1.0.0\r\n완료 단계: 0 / 6\r\n설치 결과: 실패\r\n\r\ntext"},
        DiagnosticsCase{"hostile_texts_sanitised",
                        with_attention(failed_with(units(u"C:\\a\0b")), u"\x1b]0;x\x07"),
                        u"Zelkora Client 1.0.0\r\n완료 단계: 0 / 6\r\n설치 결과: 실패\r\n\r\nC:\\a b"
                        u"\r\n\r\n추가 확인:\r\n ]0;x "}),
    [](const auto& info) { return name_of(info.param.name); });

// ---- version with particle -------------------------------------------------

struct ParticleCase {
    std::u16string version;
    std::u16string expected;
};

class VersionWithParticle : public testing::TestWithParam<ParticleCase> {};

TEST_P(VersionWithParticle, FollowsTheLastDigit) {
    EXPECT_EQ(version_with_particle(GetParam().version), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionWithParticle,
    testing::Values(ParticleCase{u"0.4.62", u"0.4.62로"}, ParticleCase{u"0.2.60", u"0.2.60으로"},
                    ParticleCase{u"0.2.53", u"0.2.53으로"}, ParticleCase{u"1.0.1", u"1.0.1로"},
                    ParticleCase{u"1.0.0", u"1.0.0으로"}, ParticleCase{u"2.1.16", u"2.1.16으로"},
                    ParticleCase{u"2.1.17", u"2.1.17로"}, ParticleCase{u"2.1.18", u"2.1.18로"},
                    ParticleCase{u"7", u"7로"}, ParticleCase{u"1.0.0-beta", u"1.0.0-beta(으)로"},
                    ParticleCase{u"1.0.", u"1.0.(으)로"}, ParticleCase{u"", u"(으)로"},
                    ParticleCase{u"1.0.12345670", u"1.0.12345670으로"},
                    ParticleCase{u"1.0.1234567x", u"1.0.1234567x(으)로"}));

TEST(ReopenFailedStatus, NamesTheInstalledVersion) {
    EXPECT_EQ(reopen_failed_status_text(u"1.2.3"),
              u"Zelkora 1.2.3으로 업데이트했어요.\r\n새 버전을 자동으로 열지 못했어요. 바탕 화면의 Zelkora를 실행하세요.");
}

TEST(LaunchFailures, EachProblemHasItsTextAndAPublishableCode) {
    const struct {
        LaunchProblem problem;
        const char* code;
    } cases[] = {
        {LaunchProblem::installer_missing, "installer_missing"},
        {LaunchProblem::channel_name_failed, "progress_channel_failed"},
        {LaunchProblem::channel_failed, "progress_channel_failed"},
        {LaunchProblem::update_not_newer, "update_not_newer"},
        {LaunchProblem::start_failed, "installer_start_failed"},
    };
    for (const auto& c : cases) {
        const LaunchFailure failure = launch_failure(c.problem);
        EXPECT_EQ(failure.setup_code, c.code);
        EXPECT_TRUE(is_valid_code(failure.setup_code)) << c.code;
        EXPECT_FALSE(failure.status_text.empty()) << c.code;
    }
    EXPECT_NE(launch_failure(LaunchProblem::channel_name_failed).status_text,
              launch_failure(LaunchProblem::channel_failed).status_text);
}

TEST(LaunchFailures, AnUpdateIsRefusedOnlyOverANewerInstalledVersion) {
    EXPECT_FALSE(refuse_older_update(false).has_value());
    const auto refused = refuse_older_update(true);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->setup_code, "update_not_newer");
    EXPECT_EQ(refused->status_text,
              u"설치된 Zelkora보다 낮은 버전이라 자동 업데이트하지 않았어요.\r\n"
              u"이전 버전이 필요하면 설치 EXE를 직접 실행하세요. 설치된 앱은 그대로예요.");
}

}  // namespace
