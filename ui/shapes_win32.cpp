#include "ui/shapes_win32.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "ui/theme_win32.h"

namespace zelkora::ui {
namespace {

using namespace theme;

Gdiplus::Color colour_of(COLORREF colour) {
    return Gdiplus::Color(255, GetRValue(colour), GetGValue(colour), GetBValue(colour));
}

Gdiplus::REAL px(const PaintSurface& surface, double dips) { return static_cast<Gdiplus::REAL>(dips * surface.scale()); }

void round_pen(Gdiplus::Pen& pen) {
    pen.SetStartCap(Gdiplus::LineCapRound);
    pen.SetEndCap(Gdiplus::LineCapRound);
    pen.SetLineJoin(Gdiplus::LineJoinRound);
}

void exclamation(PaintSurface& surface, double cx, double cy, double unit) {
    line(surface, cx, cy - 5 * unit, cx, cy + 1.2 * unit, kBackground, 2.4 * unit, true);
    Gdiplus::SolidBrush dot(colour_of(kBackground));
    const double radius = 1.5 * unit;
    surface.remember(surface.graphics().FillEllipse(&dot, px(surface, cx - radius), px(surface, cy + 4.6 * unit - radius),
                                                    px(surface, 2 * radius), px(surface, 2 * radius)));
}

void check_mark(PaintSurface& surface, double cx, double cy, double unit) {
    Gdiplus::Pen pen(colour_of(kBackground), px(surface, 2.4 * unit));
    round_pen(pen);
    const Gdiplus::PointF points[] = {{px(surface, cx - 5.2 * unit), px(surface, cy + 0.2 * unit)},
                                      {px(surface, cx - 1.6 * unit), px(surface, cy + 3.8 * unit)},
                                      {px(surface, cx + 5.4 * unit), px(surface, cy - 3.8 * unit)}};
    surface.remember(surface.graphics().DrawLines(&pen, points, 3));
}

void ring(PaintSurface& surface, double cx, double cy, double radius, COLORREF colour, double width) {
    Gdiplus::Pen pen(colour_of(colour), px(surface, width));
    const double inset = radius - 1;
    surface.remember(surface.graphics().DrawEllipse(&pen, px(surface, cx - inset), px(surface, cy - inset),
                                                    px(surface, 2 * inset), px(surface, 2 * inset)));
}

}  // namespace

void rounded_rectangle(PaintSurface& surface, double x, double y, double width, double height, double radius,
                       std::optional<COLORREF> fill, std::optional<Border> border) {
    if (!surface.reaches({x, y, width, height}, border ? border->width / 2 : 0)) return;
    const Gdiplus::REAL left = px(surface, x);
    const Gdiplus::REAL top = px(surface, y);
    const Gdiplus::REAL right = px(surface, x + width);
    const Gdiplus::REAL bottom = px(surface, y + height);
    const Gdiplus::REAL diameter = px(surface, std::min({width, height, 2 * radius}));
    Gdiplus::GraphicsPath path;
    if (diameter > 0) {
        path.AddArc(left, top, diameter, diameter, 180, 90);
        path.AddArc(right - diameter, top, diameter, diameter, 270, 90);
        path.AddArc(right - diameter, bottom - diameter, diameter, diameter, 0, 90);
        path.AddArc(left, bottom - diameter, diameter, diameter, 90, 90);
        path.CloseFigure();
    } else {
        path.AddRectangle(Gdiplus::RectF(left, top, right - left, bottom - top));
    }
    if (fill) {
        Gdiplus::SolidBrush brush(colour_of(*fill));
        surface.remember(surface.graphics().FillPath(&brush, &path));
    }
    if (border) {
        Gdiplus::Pen pen(colour_of(border->colour), px(surface, border->width));
        if (border->round_joins) round_pen(pen);
        surface.remember(surface.graphics().DrawPath(&pen, &path));
    }
}

void line(PaintSurface& surface, double x1, double y1, double x2, double y2, COLORREF colour, double width,
          bool round_caps) {
    const DipBox box{std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1), std::abs(y2 - y1)};
    if (!surface.reaches(box, width / 2)) return;
    Gdiplus::Pen pen(colour_of(colour), px(surface, width));
    if (round_caps) round_pen(pen);
    surface.remember(
        surface.graphics().DrawLine(&pen, px(surface, x1), px(surface, y1), px(surface, x2), px(surface, y2)));
}

void status_icon(PaintSurface& surface, double x, double y, double size, IconKind kind) {
    if (!surface.reaches({x, y, size, size})) return;
    static constexpr COLORREF kFills[] = {kSuccess, kAccent, kError, kAccent};
    Gdiplus::SolidBrush fill(colour_of(kFills[static_cast<int>(kind)]));
    surface.remember(
        surface.graphics().FillEllipse(&fill, px(surface, x), px(surface, y), px(surface, size), px(surface, size)));
    const double unit = size / 24;
    const double cx = x + size / 2;
    const double cy = y + size / 2;
    switch (kind) {
        case IconKind::success: check_mark(surface, cx, cy, unit); break;
        case IconKind::caution:
        case IconKind::error: exclamation(surface, cx, cy, unit); break;
        case IconKind::question:
            surface.queue_text({u"?", x, y, size, size, 0.6 * size, 0, kBackground,
                                text_style::kBold | text_style::kCentred | text_style::kMiddle |
                                    text_style::kSingleLine});
            break;
    }
}

void step_marker(PaintSurface& surface, double centre_x, double centre_y, double radius, int step, int highest_step,
                 double spinner_phase) {
    if (!surface.reaches({centre_x - radius, centre_y - radius, 2 * radius, 2 * radius})) return;
    if (step < highest_step) {
        status_icon(surface, centre_x - radius, centre_y - radius, 2 * radius, IconKind::success);
        return;
    }
    if (step == highest_step) {
        ring(surface, centre_x, centre_y, radius, kAmberBorder, 2);
        Gdiplus::Pen pen(colour_of(kAccent), px(surface, 2));
        round_pen(pen);
        const double inset = radius - 1;
        surface.remember(surface.graphics().DrawArc(&pen, px(surface, centre_x - inset), px(surface, centre_y - inset),
                                                    px(surface, 2 * inset), px(surface, 2 * inset),
                                                    static_cast<Gdiplus::REAL>(spinner_phase * 360), 110));
        return;
    }
    ring(surface, centre_x, centre_y, radius, kLine, 1.5);
    const std::u16string number(1, static_cast<char16_t>(u'1' + step));
    surface.queue_text({number, centre_x - radius, centre_y - radius, 2 * radius, 2 * radius, 1.05 * radius, 0,
                        kFaint,
                        text_style::kSemibold | text_style::kCentred | text_style::kMiddle | text_style::kSingleLine});
}

}  // namespace zelkora::ui
