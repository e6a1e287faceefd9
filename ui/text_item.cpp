#include "ui/text_item.h"

#include <algorithm>

namespace zelkora::ui {
namespace {

double line_height_dips(const TextItem& item) {
    if (item.line_height > 0) return item.line_height;
    if (!(item.style & text_style::kSingleLine)) return 1.5 * item.size;
    if (item.style & text_style::kMiddle) return item.height;
    return 1.45 * item.size;
}

}  // namespace

int text_weight(unsigned style) {
    if (style & text_style::kBold) return 700;
    if (style & text_style::kSemibold) return 600;
    return 400;
}

TextPlacement place_text(const TextItem& item, double scale, double cap_height_ratio,
                         const TextMeasurer& measure) {
    TextPlacement placement;
    placement.line_height = line_height_dips(item) * scale;
    const double box_height = item.height * scale;
    if (item.style & text_style::kSingleLine) {
        placement.lines.push_back(item.text);
    } else {
        placement.lines = wrap_text(item.text, item.width * scale, measure);
        const double fitting = placement.line_height > 0 ? (box_height + 0.5) / placement.line_height : 1;
        const auto max_lines = static_cast<std::size_t>(std::max(1.0, fitting));
        if (placement.lines.size() > max_lines) {
            placement.lines.resize(max_lines);
            placement.lines.back() += u'\u2026';
        }
    }
    placement.first_top = item.y * scale;
    if (item.style & text_style::kMiddle) {
        placement.first_top +=
            0.5 * (box_height - placement.line_height * static_cast<double>(placement.lines.size()));
    }
    placement.baseline = 0.5 * placement.line_height + 0.5 * item.size * scale * cap_height_ratio;
    return placement;
}

}  // namespace zelkora::ui
