#include "ui/theme_win32.h"

namespace zelkora::ui::theme {
namespace {

std::optional<bool> decided_high_contrast;

Palette high_contrast_palette() {
    const COLORREF window = ::GetSysColor(COLOR_WINDOW);
    const COLORREF text = ::GetSysColor(COLOR_WINDOWTEXT);
    const COLORREF highlight = ::GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF gray = ::GetSysColor(COLOR_GRAYTEXT);
    Palette palette;
    palette.high_contrast = true;
    palette.background = window;
    palette.card = window;
    palette.line = text;
    palette.details_box = window;
    palette.track = window;
    palette.track_border = text;
    palette.accent = highlight;
    palette.done = highlight;
    palette.amber_tint = window;
    palette.amber_border = text;
    palette.panel_tints = {window, window, window};
    palette.panel_borders = {text, text, text};
    // Caution texts stay in the window text: the hot-track colour is for links
    // (the text buttons), and some schemes make it pale.
    palette.inks = {text, text, text, gray, highlight, text};
    palette.field_text = text;
    return palette;
}

}  // namespace

bool high_contrast_on() {
    if (decided_high_contrast) return *decided_high_contrast;
    HIGHCONTRASTW settings{};
    settings.cbSize = sizeof(settings);
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(settings), &settings, 0) &&
           (settings.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

void decide_high_contrast_for_tests(std::optional<bool> on) { decided_high_contrast = on; }

Palette current_palette() { return high_contrast_on() ? high_contrast_palette() : Palette{}; }

}  // namespace zelkora::ui::theme
