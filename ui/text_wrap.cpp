#include "ui/text_wrap.h"

namespace zelkora::ui {
namespace {

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool splits_pair(std::u16string_view text, std::size_t cut) {
    return cut > 0 && cut < text.size() && is_high_surrogate(text[cut - 1]) &&
           is_low_surrogate(text[cut]);
}

std::size_t first_character_units(std::u16string_view text) { return splits_pair(text, 1) ? 2 : 1; }

class ParagraphWrapper {
public:
    ParagraphWrapper(double max_width, const TextMeasurer& measure, std::vector<std::u16string>& lines)
        : max_width_(max_width), measure_(measure), lines_(lines) {}

    void wrap(std::u16string_view paragraph) {
        for (;;) {
            const auto space = paragraph.find(u' ');
            add_word(paragraph.substr(0, space));
            if (space == std::u16string_view::npos) break;
            paragraph.remove_prefix(space + 1);
        }
        lines_.push_back(std::move(line_));
        line_.clear();
    }

private:
    bool fits(std::u16string_view text) const { return measure_(text) <= max_width_; }

    void add_word(std::u16string_view word) {
        if (!line_.empty()) {
            std::u16string candidate = line_ + u' ' + std::u16string(word);
            if (fits(candidate)) {
                line_ = std::move(candidate);
                return;
            }
            lines_.push_back(std::move(line_));
        }
        line_ = word;
        break_overwide_line();
    }

    // Cuts the longest fitting prefixes off a line wider than the maximum;
    // one character per line when not even one fits.
    void break_overwide_line() {
        while (line_.size() > first_character_units(line_) && !fits(line_)) {
            const std::size_t cut = longest_fitting_prefix();
            lines_.push_back(line_.substr(0, cut));
            line_.erase(0, cut);
        }
    }

    // Binary search over 1 .. size - 1, so long words cost a logarithmic
    // number of measurements.
    std::size_t longest_fitting_prefix() const {
        const std::u16string_view line = line_;
        std::size_t low = 1;
        std::size_t high = line.size() - 1;
        while (low < high) {
            const std::size_t middle = low + (high - low + 1) / 2;
            if (fits(line.substr(0, middle))) {
                low = middle;
            } else {
                high = middle - 1;
            }
        }
        if (splits_pair(line, low)) low = low > 1 ? low - 1 : 2;
        return low;
    }

    double max_width_;
    const TextMeasurer& measure_;
    std::vector<std::u16string>& lines_;
    std::u16string line_;
};

}  // namespace

TextMeasurer estimate_measurer(double font_size_px) {
    return [font_size_px](std::u16string_view text) {
        return static_cast<double>(text.size()) * font_size_px;
    };
}

std::vector<std::u16string> wrap_text(std::u16string_view text, double max_width_px,
                                      const TextMeasurer& measure) {
    std::vector<std::u16string> lines;
    ParagraphWrapper wrapper(max_width_px, measure, lines);
    for (;;) {
        const auto feed = text.find(u'\n');
        std::u16string_view paragraph = text.substr(0, feed);
        while (paragraph.ends_with(u'\r')) paragraph.remove_suffix(1);
        wrapper.wrap(paragraph);
        if (feed == std::u16string_view::npos) break;
        text.remove_prefix(feed + 1);
    }
    return lines;
}

int wrapped_line_count(std::u16string_view text, double width_dips, double size_dips,
                       double scale, const TextMeasurer& layout_measurer) {
    if (text.empty()) return 0;
    const TextMeasurer measure = layout_measurer ? layout_measurer : estimate_measurer(size_dips * scale);
    return static_cast<int>(wrap_text(text, width_dips * scale, measure).size());
}

}  // namespace zelkora::ui
