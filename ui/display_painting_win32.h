#pragma once
// Draws the texts of a display model onto a paint surface.

#include <windows.h>

#include <array>

#include "ui/display_model.h"
#include "ui/paint_surface_win32.h"

namespace zelkora::ui {

// One colour per Ink, in the order of its values.
using InkColours = std::array<COLORREF, 6>;

// Queues every painted text of the model in its ink; shapes come first.
void queue_model_texts(PaintSurface& surface, const DisplayModel& model, const InkColours& inks);

}  // namespace zelkora::ui
