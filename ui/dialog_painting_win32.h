#pragma once
// Measuring and painting of the confirmation dialog with the text engine and
// the paint surface: its text, boxes and status icon, and its two
// owner-drawn buttons. One measurement sizes the window and places the paint.

#include <windows.h>

#include <vector>

#include "ui/dialog_request_win32.h"
#include "ui/display_model.h"
#include "ui/text_engine_win32.h"

namespace zelkora::ui {

// The client width in DIPs at which a dialog is measured before it is created.
inline constexpr double kDialogMeasureWidth = 520;

// Vertical positions and line counts in DIPs.
struct DialogLayout {
    int heading_lines = 1;
    double heading_block = 34;
    double heading_top = 31;
    std::vector<int> paragraph_lines;  // one per paragraph of the body; 0 for an empty one
    double details_top = 0;
    double details_height = 0;
    std::vector<double> row_heights;
    int caution_lines = 0;
    double caution_top = 0;
    double height = 0;  // of the whole client area
};

// Line counts at scale 1, as the window is sized before it exists.
DialogLayout measure_dialog(const DialogRequest& request, const TextEngine& engine,
                            double width = kDialogMeasureWidth);

// The dialog's texts where the layout puts them, for a client width in DIPs,
// and its buttons as the window has them (none for the painting).
DisplayModel dialog_display_model(const DialogRequest& request, const DialogLayout& layout, int width,
                                  std::vector<DisplayControl> buttons = {});

// Paints the whole client area (width `client.right` pixels) at `scale`
// from the positions of the layout.
void paint_dialog(const DialogRequest& request, const DialogLayout& layout, HDC dc, const RECT& client,
                  double scale);

// Button 1 in the primary style, any other in the secondary style.
void draw_dialog_button(const DRAWITEMSTRUCT& item, double scale);

}  // namespace zelkora::ui
