// Feeds arbitrary pipe bytes along the path a script text takes to the
// screen: the progress line, sanitising, note cleaning, wrapping and the
// placement of the lines in their box, and checks what must always hold.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/outcome_messages.h"
#include "core/progress_line.h"
#include "ui/text_item.h"
#include "ui/text_wrap.h"

namespace {

using namespace zelkora;

void check(bool condition) {
    if (!condition) std::abort();
}

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Glyph-like widths: narrow ASCII, wide everything else.
double measure(std::u16string_view text) {
    double width = 0;
    for (const char16_t unit : text) width += unit < 0x80 ? 6 : 13;
    return width;
}

void check_wrapped(std::u16string_view text, double max_width) {
    const auto lines = ui::wrap_text(text, max_width, measure);
    check(!lines.empty());
    std::size_t units = 0;
    for (const auto& line : lines) {
        check(line.find(u'\n') == std::u16string::npos);
        // A line wider than the box holds one character: nothing narrower exists.
        const bool one_character = line.size() == 1 || (line.size() == 2 && is_high_surrogate(line[0]));
        check(measure(line) <= max_width || one_character);
        check(line.empty() || !is_low_surrogate(line.front()));
        units += line.size();
    }
    check(units <= text.size());
    check(ui::wrapped_line_count(text, max_width, 10, 1.0, measure) == static_cast<int>(lines.size()) ||
          text.empty());
}

void check_placed(const std::u16string& text, double width, double height, unsigned style) {
    ui::TextItem item{text, 0, 0, width, height, 12, 0, 0, style};
    const auto placement = ui::place_text(item, 1.5, 0.7, measure);
    check(!placement.lines.empty());
    if (style & ui::text_style::kSingleLine) {
        check(placement.lines.size() == 1);
        return;
    }
    const auto fitting = static_cast<std::size_t>((height * 1.5 + 0.5) / placement.line_height);
    check(placement.lines.size() <= std::max<std::size_t>(fitting, 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const double width = 1 + data[0];
    const double height = data[1] % 80;
    const std::string_view line(reinterpret_cast<const char*>(data + 2), size - 2);
    const auto parsed = core::parse_progress_line(line);
    if (!parsed) return 0;
    const std::u16string sanitized = core::sanitize_text(parsed->text);
    const std::u16string cleaned = core::clean_note_text(parsed->text);
    check(cleaned.find(u'\n') == std::u16string::npos);
    check(cleaned.find(u'{') == std::u16string::npos);
    check(sanitized.size() <= 4097);
    check_wrapped(sanitized, width);
    check_wrapped(cleaned, width);
    const auto note = core::split_into_note(parsed->text, core::kLevelCaution);
    check_wrapped(note.title, width);
    check_wrapped(note.body, width);
    check_placed(sanitized, width, height, 0);
    check_placed(cleaned, width, height, ui::text_style::kSingleLine | ui::text_style::kMiddle);
    return 0;
}
