#include "ui/diagnostics_copy.h"

namespace zelkora::ui {
namespace {

constexpr std::u16string_view kIgnoredInComparison = u" \r\n\t.,:;·‘’'\"()-/";

bool is_result_view(const core::RunReport& report) {
    return report.state == core::kRunCompleted || report.state == core::kRunFailed;
}

}  // namespace

std::u16string strip_for_comparison(std::u16string_view text) {
    std::u16string stripped;
    stripped.reserve(text.size());
    for (const char16_t unit : text) {
        if (kIgnoredInComparison.find(unit) == std::u16string_view::npos) stripped.push_back(unit);
    }
    return stripped;
}

std::u16string notes_text(const std::vector<core::Note>& notes) {
    std::u16string text;
    for (const auto& note : notes) {
        if (!text.empty()) text += u"\r\n\r\n";
        text += note.title;
        if (!note.body.empty()) text += u"\r\n" + note.body;
    }
    return text;
}

bool more_details_available(const core::RunReport& report) {
    if (!is_result_view(report)) return false;
    const auto notes = core::result_notes(report);
    if (notes.empty()) return false;
    const std::u16string details = core::details_text(report);
    return !details.empty() && strip_for_comparison(notes_text(notes)) != strip_for_comparison(details);
}

std::u16string field_text(const core::RunReport& report) {
    if (report.details_expanded && more_details_available(report)) return core::details_text(report);
    return notes_text(core::result_notes(report));
}

std::u16string wrapped_field_text(const core::RunReport& report, int field_client_width_px,
                                  double scale, const TextMeasurer& measure) {
    return wrapped_field_text(field_text(report), field_client_width_px, scale, measure);
}

std::u16string wrapped_field_text(const std::u16string& text, int field_client_width_px, double scale,
                                  const TextMeasurer& measure) {
    const int available = field_client_width_px - static_cast<int>(2 * scale);
    if (available <= 0) return text;
    const auto lines = wrap_text(text, available, measure);
    std::u16string joined = lines.front();  // wrapping always yields a line
    for (std::size_t i = 1; i < lines.size(); ++i) joined += u"\r\n" + lines[i];
    return joined;
}

std::u16string clipboard_report(const core::RunReport& report) {
    return core::diagnostics_text(report) + u"\r\nWindows 재시작 요구: 없음\r\n재시작 요청 수락: " +
           (report.restart_accepted ? u"예" : u"아니요");
}

}  // namespace zelkora::ui
