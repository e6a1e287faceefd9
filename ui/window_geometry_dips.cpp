#include "ui/window_geometry_dips.h"

#include <algorithm>
#include <cmath>

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

bool PixelBox::intersects(const PixelBox& other) const {
    return !empty() && !other.empty() && left < other.right && other.left < right && top < other.bottom &&
           other.top < bottom;
}

PixelBox pixels_touched(const DipBox& box, double scale, double margin_dips) {
    return {static_cast<int>(std::floor((box.x - margin_dips) * scale)) - 1,
            static_cast<int>(std::floor((box.y - margin_dips) * scale)) - 1,
            static_cast<int>(std::ceil((box.x + box.width + margin_dips) * scale)) + 1,
            static_cast<int>(std::ceil((box.y + box.height + margin_dips) * scale)) + 1};
}

double text_ink_margin(double size_dips) { return 0.35 * size_dips + 1; }

bool spinner_box(const ProgressCard& card, int highest_step, DipBox& box) {
    if (highest_step < 0 || highest_step > 5) return false;
    const double centre_y = card.top + 7 + highest_step * card.pitch + 0.5 * card.pitch;
    // The ring's pen (2 DIPs) straddles a circle inset by 1, so it stays inside the radius.
    box = {52 - card.radius, centre_y - card.radius, 2 * card.radius, 2 * card.radius};
    return true;
}

DipBox progress_track_box(const ProgressCard& card, int width_dips) { return {28, card.bar_top, width_dips - 56.0, 6}; }

ChildBoxes child_boxes(const WindowDips& window, int panel_top, int panel_height) {
    const double width = window.width;
    const double footer = window.footer_top;
    ChildBoxes boxes;
    boxes.primary_button = {width - 176, footer, 148, 38};
    boxes.cancel_button = {width - 258, footer, 70, 38};
    boxes.copy_button = {24, footer + 7, 100, 24};
    boxes.progress_bar = {200, window.compact ? 289.0 : 390.0, width - 228, 5};
    boxes.details_button = {width - 160, panel_top + panel_height - 12.0 - 24, 118, 24};
    boxes.details_field = {46, panel_top + 14.0, width - 104, static_cast<double>(std::max(panel_height - 14 - 46, 24))};
    return boxes;
}

}  // namespace zelkora::ui
