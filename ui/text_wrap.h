#pragma once
// Word wrapping for every multi-line text of the user interface: the
// diagnostics field, the dialogs and the update splash. The width of a text
// comes from a measurer supplied by the caller (DirectWrite, GDI or the
// estimate below). Portable: no <windows.h>.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zelkora::ui {

// Width of a text in pixels.
using TextMeasurer = std::function<double(std::u16string_view)>;

// Number of UTF-16 units times the font size.
TextMeasurer estimate_measurer(double font_size_px);

// Paragraphs break at line feeds (their trailing CRs dropped), lines at single
// spaces; a word wider than the maximum is cut into the longest prefixes that
// fit, never inside a surrogate pair. Every paragraph yields at least one line.
std::vector<std::u16string> wrap_text(std::u16string_view text, double max_width_px,
                                      const TextMeasurer& measure);

// Lines of a text wrapped at width × scale. The layout measurer is empty when
// the text format could not be made; the estimate at size × scale then serves.
int wrapped_line_count(std::u16string_view text, double width_dips, double size_dips,
                       double scale, const TextMeasurer& layout_measurer);

}  // namespace zelkora::ui
