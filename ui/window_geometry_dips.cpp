#include "ui/window_geometry_dips.h"

#include <algorithm>

namespace zelkora::ui {

WindowDips window_dips(int client_width_px, int client_height_px, double scale) {
    WindowDips dips;
    dips.width = static_cast<int>(client_width_px / scale);
    dips.height = static_cast<int>(client_height_px / scale);
    dips.footer_top = std::min(dips.height - 65, 405);
    dips.compact = dips.height < 430;
    return dips;
}

ProgressCard progress_card(int footer_top, bool compact) {
    ProgressCard card;
    card.top = compact ? 140 : 166;
    card.status_lines_max = compact ? 1 : 2;
    card.status_bottom = footer_top - 32;
    card.bar_top = footer_top - 22;
    card.height = card.status_bottom - card.status_lines_max * 18 - 10 - card.top;
    card.pitch = std::min((card.height - 14) / 6, 28.0);
    card.radius = std::min(0.5 * card.pitch - 2, 9.0);
    return card;
}

}  // namespace zelkora::ui
