#pragma once
// Where things are in the setup window, computed once for the layout of its
// children and for its painting, so the two never disagree.

#include <windows.h>

#include <vector>

#include "core/outcome_messages.h"
#include "ui/result_panel.h"
#include "ui/window_geometry_dips.h"
#include "ui/window_state_win32.h"

namespace zelkora::ui {

struct ClientDips {
    int width;
    int height;
};

ClientDips client_dips(const WindowState& state);
int footer_top(const WindowState& state);
bool compact_layout(const WindowState& state);

std::vector<core::Note> current_notes(const WindowState& state);
bool more_details(const WindowState& state);

// Notes measured with the text engine as they will be drawn.
ResultPanel current_result_panel(const WindowState& state);

// The children's boxes for the current client size and result panel.
ChildBoxes current_child_boxes(const WindowState& state);

// 0 red for any error note, 1 amber for any caution, 2 green otherwise.
int panel_tint(const std::vector<core::Note>& notes);

}  // namespace zelkora::ui
