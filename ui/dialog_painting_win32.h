#pragma once
// Measuring and painting of the confirmation dialog with GDI: its text, boxes
// and status icon, and its two owner-drawn buttons.

#include <windows.h>

#include "ui/dialog_request.h"

namespace zelkora::ui {

// The client width in DIPs at which a dialog is measured before it is created.
inline constexpr double kDialogMeasureWidth = 520;

// Client height in DIPs for the request at kDialogMeasureWidth; 0 when GDI
// gives no device context to measure with.
double measured_dialog_height(const DialogRequest& request, const wchar_t* face);

// Paints the whole client area (width `client.right` pixels) at `scale`.
void paint_dialog(const DialogRequest& request, HDC dc, const RECT& client, double scale, const wchar_t* face);

// Button 1 in the primary style, any other in the secondary style.
void draw_dialog_button(const DRAWITEMSTRUCT& item, double scale, const wchar_t* face, HGDIOBJ label_font);

}  // namespace zelkora::ui
