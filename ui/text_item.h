#pragma once
// A text queued by drawing code and drawn at the end of a paint, and where
// its lines go. Portable: no <windows.h>.

#include <cstdint>
#include <string>
#include <vector>

#include "ui/text_wrap.h"

namespace zelkora::ui {

namespace text_style {
inline constexpr unsigned kBold = 1;
inline constexpr unsigned kCentred = 2;
inline constexpr unsigned kMiddle = 4;  // centred vertically
inline constexpr unsigned kRight = 8;
inline constexpr unsigned kSingleLine = 16;
inline constexpr unsigned kSemibold = 32;
inline constexpr unsigned kMonospace = 64;
}  // namespace text_style

struct TextItem {
    std::u16string text;
    double x = 0, y = 0, width = 0, height = 0;  // DIPs
    double size = 0;                             // DIPs
    double line_height = 0;                      // DIPs; 0 chooses one from the size
    std::uint32_t colour = 0;                    // 0x00BBGGRR, as GDI stores it
    unsigned style = 0;
};

// 700 for bold (which wins over semibold), 600 for semibold, else 400.
int text_weight(unsigned style);

// Lines of an item in pixels, ready to be drawn one layout per line.
struct TextPlacement {
    std::vector<std::u16string> lines;
    double line_height = 0;
    double first_top = 0;
    double baseline = 0;  // from the top of each line
};

// Multi-line items are wrapped to the box width with the given measurer and
// cut to the lines that fit the box, the last kept line ending with "…".
// The baseline puts the middle of a capital letter in the middle of the line.
TextPlacement place_text(const TextItem& item, double scale, double cap_height_ratio,
                         const TextMeasurer& measure);

}  // namespace zelkora::ui
