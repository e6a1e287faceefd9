#pragma once
// The antialiased shapes of the setup's screens, drawn with GDI+ onto a
// paint surface. Positions and sizes are in DIPs.

#include <windows.h>

#include <optional>

#include "ui/paint_surface_win32.h"

namespace zelkora::ui {

struct Border {
    COLORREF colour;
    double width = 1;
    bool round_joins = false;  // mitred corners otherwise
};

// Corners of diameter min(width, height, 2 × radius); no fill when fill is empty.
void rounded_rectangle(PaintSurface& surface, double x, double y, double width, double height, double radius,
                       std::optional<COLORREF> fill, std::optional<Border> border = std::nullopt);

void line(PaintSurface& surface, double x1, double y1, double x2, double y2, COLORREF colour, double width,
          bool round_caps = false);

enum class IconKind { success = 0, caution = 1, error = 2, question = 3 };

// A filled circle of diameter size at (x, y) with its glyph.
void status_icon(PaintSurface& surface, double x, double y, double size, IconKind kind);

// The marker of step index step: a check mark when done, a spinning ring when
// current, the step's number in a ring when still to come.
void step_marker(PaintSurface& surface, double centre_x, double centre_y, double radius, int step, int highest_step,
                 double spinner_phase);

}  // namespace zelkora::ui
