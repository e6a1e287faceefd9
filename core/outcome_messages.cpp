#include "core/outcome_messages.h"

#include <algorithm>
#include <array>

#include "core/text_encoding.h"
#include "setup_version.h"

namespace zelkora::core {
namespace {

constexpr std::size_t kMaxShownUnits = 4096;

constexpr std::u16string_view kHostFailurePrefix = u"Host installation failed: ";
constexpr std::u16string_view kRestorationMarker = u" Existing-service restoration: ";

constexpr std::array<std::u16string_view, 6> kHostStepLabels = {
    u"설치 파일·기존 Host 확인", u"프로그램 파일 배치",    u"기존 서버 등록 보존",
    u"가상 화면 상태 확인",      u"서비스 시작·실행 확인", u"바로가기·설정 앱 준비",
};

constexpr std::array<std::u16string_view, 6> kClientStepLabels = {
    u"설치 파일·대상 경로 확인", u"프로그램 파일 배치",    u"설치 정보 확인",
    u"바로가기 생성",            u"설치 파일 무결성 확인", u"클라이언트 준비",
};

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

bool is_hangul_syllable(char16_t unit) { return unit >= 0xAC00 && unit <= 0xD7A3; }

bool contains(std::u16string_view text, std::u16string_view part) {
    return text.find(part) != std::u16string_view::npos;
}

std::u16string decimal(int value) { return ascii_to_utf16(std::to_string(value)); }

std::u16string trim(std::u16string_view text) {
    const auto is_edge = [](char16_t unit) { return unit == u' ' || unit == u'\r' || unit == u'\n'; };
    while (!text.empty() && is_edge(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_edge(text.back())) text.remove_suffix(1);
    return std::u16string(text);
}

void erase_first(std::u16string& text, std::u16string_view part) {
    const auto at = text.find(part);
    if (at != std::u16string::npos) text.erase(at, part.size());
}

std::vector<std::u16string_view> split_at_crlf(std::u16string_view text) {
    std::vector<std::u16string_view> lines;
    for (;;) {
        const auto end = text.find(u"\r\n");
        lines.push_back(text.substr(0, end));
        if (end == std::u16string_view::npos) return lines;
        text.remove_prefix(end + 2);
    }
}

// "Host installation failed: <reason> Existing-service restoration: ..." is
// the script's structured report of a failed Host install with rollback.
std::vector<Note> structured_failure_notes(const std::u16string& status, std::size_t marker_at,
                                           bool update_run) {
    const std::u16string_view text = status;
    // The marker may start inside the prefix's final space; the reason is then empty.
    const std::u16string_view reason =
        marker_at > kHostFailurePrefix.size()
            ? text.substr(kHostFailurePrefix.size(), marker_at - kHostFailurePrefix.size())
            : std::u16string_view{};

    std::vector<Note> notes;
    if (std::any_of(reason.begin(), reason.end(), is_hangul_syllable)) {
        notes.push_back(split_into_note(reason, kLevelError));
    } else {
        notes.push_back({kLevelError, update_run ? u"업데이트 중 오류가 났어요" : u"설치 중 오류가 났어요",
                         clean_note_text(reason)});
    }

    if (text.substr(marker_at + kRestorationMarker.size()).starts_with(u"True")) {
        notes.push_back({kLevelFine, u"기존 Host로 되돌렸어요", u"서비스와 서버 등록은 설치 전 그대로예요."});
    } else {
        notes.push_back({kLevelError, u"기존 Host 복구를 확인하지 못했어요",
                         u"Host 설정에서 서비스 상태를 확인한 뒤 다시 시도하세요."});
    }
    const std::u16string_view after_marker = text.substr(marker_at);
    if (contains(after_marker, u"Native-display restoration: False")) {
        notes.push_back({kLevelCaution, u"가상 화면 선택 복구를 확인하지 못했어요",
                         u"다시 시도하기 전에 Host 설정에서 가상 화면 장치를 확인하세요."});
    }
    if (contains(after_marker, u"Windows 재시작 필요")) {
        notes.push_back({kLevelCaution, u"Windows 재시작 필요",
                         u"작업을 저장한 뒤 직접 재시작하고 가상 화면 상태를 확인하세요. 자동으로 재시작하지 않아요."});
    }
    return notes;
}

std::vector<Note> failed_run_notes(const RunReport& report) {
    const std::u16string status = sanitize_text(report.status_text);
    const auto marker_at = status.find(kRestorationMarker);
    if (status.starts_with(kHostFailurePrefix) && marker_at != std::u16string::npos) {
        return structured_failure_notes(status, marker_at, report.update_run);
    }
    return {split_into_note(status, kLevelError)};
}

std::vector<Note> completed_run_notes(const RunReport& report) {
    std::vector<Note> notes;
    if (!report.follow_up_text.empty()) {
        const auto lines = split_at_crlf(report.follow_up_text);
        notes.push_back({report.restart_in_progress ? kLevelFine : kLevelCaution,
                         std::u16string(lines[0]),
                         std::u16string(lines.size() > 1 ? lines[1] : std::u16string_view{})});
        for (std::size_t i = 2; i < lines.size(); ++i) {
            notes.push_back(split_into_note(lines[i], kLevelCaution));
        }
    }
    if (report.attention_seen && !report.attention_text.empty()) {
        std::u16string attention = clean_note_text(report.attention_text);
        erase_first(attention, u" Host 서비스와 설정 앱 설치는 계속해요.");
        erase_first(attention, u" 호스트 서비스와 설정 앱 설치는 계속해요.");
        notes.push_back(split_into_note(attention, kLevelCaution));
    }
    if (report.product_reopen_failed) {
        notes.push_back({kLevelCaution, u"새 버전을 자동으로 열지 못했어요", u"업데이트한 파일은 설치를 마쳤어요."});
    }
    return notes;
}

std::u16string_view attention_subtitle(std::u16string_view attention_text) {
    for (const std::u16string_view display_word : {u"가상 화면", u"가상 모니터", u"드라이버"}) {
        if (contains(attention_text, display_word)) return u"Host 설정에서 가상 화면 상태를 확인하세요.";
    }
    return u"아래 안내를 확인하세요.";
}

}  // namespace

RunReport report_from_progress(const RunProgress& progress, RunState state, bool update_run) {
    RunReport report;
    report.state = state;
    report.update_run = update_run;
    report.highest_step = progress.highest_step;
    report.attention_seen = progress.attention_seen;
    report.status_text = progress.status_text;
    report.attention_text = progress.attention_text;
    return report;
}

bool run_completed(const RunProgress& progress, bool exit_code_known,
                   std::uint32_t installer_exit_code) {
    return exit_code_known && installer_exit_code == 0 && !progress.failure_seen &&
           progress.highest_step == kHighestStep;
}

std::u16string sanitize_text(std::u16string_view raw) {
    const bool too_long = raw.size() > kMaxShownUnits;
    if (too_long) {
        raw = raw.substr(0, kMaxShownUnits);
        if (is_high_surrogate(raw.back())) raw.remove_suffix(1);
    }
    std::u16string text(raw);
    for (char16_t& unit : text) {
        if (unit < 0x20 && unit != u'\t' && unit != u'\n' && unit != u'\r') unit = u' ';
    }
    if (too_long) text += u'…';
    return text;
}

std::u16string clean_note_text(std::u16string_view raw) {
    const std::u16string text = sanitize_text(raw);
    std::u16string out;
    out.reserve(text.size());
    std::size_t depth = 0;
    for (const char16_t unit : text) {
        if (unit == u'{') {
            ++depth;
        } else if (unit == u'}' && depth > 0) {
            --depth;
        } else if (depth > 0 || unit == u'\r') {
            continue;
        } else if (unit == u'\t' || unit == u'\n' || unit == u' ') {
            // A brace group between two runs still leaves a single space.
            if (out.empty() || out.back() != u' ') out.push_back(u' ');
        } else {
            out.push_back(unit);
        }
    }
    return trim(out);
}

Note split_into_note(std::u16string_view raw, NoteLevel level) {
    const std::u16string text = clean_note_text(raw);
    constexpr std::u16string_view kTitleSeparator = u" · ";
    const auto period = text.find(u". ");
    const auto separator = text.find(kTitleSeparator);
    if (text.size() > 2 && separator != std::u16string::npos && separator < 25 &&
        (period == std::u16string::npos || separator < period)) {
        return {level, text.substr(0, separator), trim(text.substr(separator + kTitleSeparator.size()))};
    }
    if (period != std::u16string::npos) {
        return {level, text.substr(0, period), trim(text.substr(period + 1))};
    }
    std::u16string title = text;
    if (title.ends_with(u'.')) title.pop_back();
    return {level, std::move(title), {}};
}

std::vector<Note> result_notes(const RunReport& report) {
    switch (report.state) {
        case kRunCompleted:
            return completed_run_notes(report);
        case kRunFailed:
            return failed_run_notes(report);
        default:
            return {};
    }
}

ResultHeader result_header(const RunReport& report, const std::vector<Note>& notes) {
    if (report.state != kRunCompleted) {
        return {kLevelError, report.update_run ? u"업데이트하지 못했어요" : u"설치하지 못했어요",
                u"아래 내용을 확인한 뒤 다시 시도하세요."};
    }
    const std::u16string title = report.update_run ? u"업데이트를 마쳤어요" : u"설치를 마쳤어요";
    if (report.restart_in_progress) {
        return {kLevelFine, title, u"Windows가 재시작을 진행해요. 이 창은 닫아도 돼요."};
    }
    if (!report.follow_up_text.empty()) {
        return {kLevelCaution, title, u"다시 시도하거나 Windows에서 직접 재시작하세요."};
    }
    if (report.attention_seen) {
        return {kLevelCaution, title, std::u16string(attention_subtitle(report.attention_text))};
    }
    if (report.product_reopen_failed) {
        return {kLevelCaution, title, u"바탕 화면의 Zelkora를 직접 실행하세요."};
    }
    if (notes.empty()) return {kLevelFine, title, u"Zelkora를 열고 내 데스크톱에 로그인하세요."};
    return {kLevelCaution, title, u"아래 안내를 확인하세요."};
}

std::u16string_view step_label(Flavour flavour, int step) {
    if (step < 1 || step > kHighestStep) return {};
    const auto& labels = flavour == Flavour::client ? kClientStepLabels : kHostStepLabels;
    return labels[static_cast<std::size_t>(step - 1)];
}

std::u16string interrupted_installer_message(Flavour flavour, int highest_step) {
    const int stopped_at = std::clamp(highest_step, 0, kHighestStep - 1) + 1;
    std::u16string text = u"설치 프로그램이 결과를 남기지 않고 끝나서 설치를 마치지 못했어요.\r\n멈춘 단계: ";
    text += decimal(stopped_at);
    text += u"/6 · ";
    text += step_label(flavour, stopped_at);
    text += u"\r\n보안 프로그램이 설치 과정을 중단했을 수 있어요. 보안 프로그램의 차단 기록을 확인해 보세요.";
    if (flavour == Flavour::client) {
        text += u"\r\n이전 버전 폴더는 그대로 남아 있어요. 설치 EXE로 다시 시도하세요.";
    }
    return text;
}

std::u16string details_text(const RunReport& report) {
    if (report.state != kRunCompleted) return sanitize_text(report.status_text);
    std::u16string text;
    if (!report.follow_up_text.empty()) text += report.follow_up_text + u"\r\n\r\n";
    if (report.attention_seen) text += u"추가 확인:\r\n" + report.attention_text + u"\r\n\r\n";
    if (!text.empty() && !report.status_text.empty()) text += u"설치 결과:\r\n";
    text += report.status_text;
    if (text.empty()) text = u"바탕 화면의 Zelkora를 실행하세요. 기존 서버 주소와 로그인 기억 설정은 그대로예요.";
    return sanitize_text(text);
}

std::u16string diagnostics_text(const RunReport& report) {
    std::u16string text = u"Zelkora Client ";
    text += kSetupVersionText;
    text += u"\r\n완료 단계: ";
    text += decimal(std::clamp(report.highest_step, 0, kHighestStep));
    text += u" / 6\r\n설치 결과: ";
    // Anything short of a completed run reads as a failure, never as "완료".
    if (report.state != kRunCompleted) {
        text += u"실패";
    } else if (report.attention_seen) {
        text += u"Host 설치 완료 · 추가 확인 필요";
    } else {
        text += u"완료";
    }
    if (!report.status_text.empty()) text += u"\r\n\r\n" + sanitize_text(report.status_text);
    if (report.attention_seen && !report.attention_text.empty() &&
        report.attention_text != report.status_text) {
        text += u"\r\n\r\n추가 확인:\r\n" + sanitize_text(report.attention_text);
    }
    return text;
}

std::u16string version_with_particle(std::u16string_view version) {
    const std::u16string_view last_part = version.substr(version.rfind(u'.') + 1);
    const auto is_digit = [](char16_t unit) { return unit >= u'0' && unit <= u'9'; };
    std::u16string text(version);
    // The particle follows the number as it is read aloud; without a number it
    // cannot be chosen, so both forms are shown.
    if (last_part.empty() || !std::all_of(last_part.begin(), last_part.end(), is_digit)) {
        return text + u"(으)로";
    }
    // 영, 삼, 육 end in a final consonant other than ㄹ; every other digit takes 로.
    const char16_t last_digit = last_part.back();
    const bool final_consonant = last_digit == u'0' || last_digit == u'3' || last_digit == u'6';
    return text + (final_consonant ? u"으로" : u"로");
}

LaunchFailure launch_failure(LaunchProblem problem) {
    switch (problem) {
        case LaunchProblem::installer_missing:
            return {u"설치 파일이 없어요. 설치 EXE를 다시 내려받아 실행하세요.", "installer_missing"};
        case LaunchProblem::channel_name_failed:
            return {u"설치 진행 채널을 준비하지 못했어요. 다시 시도하세요.", "progress_channel_failed"};
        case LaunchProblem::channel_failed:
            return {u"설치 진행 채널을 만들지 못했어요. 다시 실행하세요.", "progress_channel_failed"};
        case LaunchProblem::update_not_newer:
            return {u"설치된 Zelkora보다 낮은 버전이라 자동 업데이트하지 않았어요.\r\n"
                    u"이전 버전이 필요하면 설치 EXE를 직접 실행하세요. 설치된 앱은 그대로예요.",
                    "update_not_newer"};
        case LaunchProblem::start_failed:
            break;
    }
    return {u"실행 또는 관리자 승인이 취소됐어요. 다시 시도할 수 있어요.", "installer_start_failed"};
}

std::optional<LaunchFailure> refuse_older_update(bool installed_version_newer) {
    if (!installed_version_newer) return std::nullopt;
    return launch_failure(LaunchProblem::update_not_newer);
}

std::u16string reopen_failed_status_text(std::u16string_view installed_version) {
    return u"Zelkora " + version_with_particle(installed_version) +
           u" 업데이트했어요.\r\n새 버전을 자동으로 열지 못했어요. 바탕 화면의 Zelkora를 실행하세요.";
}

}  // namespace zelkora::core
