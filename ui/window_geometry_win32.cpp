#include "ui/window_geometry_win32.h"

#include <algorithm>

#include "ui/installer_run_win32.h"
#include "ui/diagnostics_copy.h"
#include "ui/text_engine_win32.h"

namespace zelkora::ui {

namespace {

WindowDips dips_of(const WindowState& state) {
    RECT client{};
    ::GetClientRect(state.window, &client);
    return window_dips(client.right, client.bottom, state.scale);
}

}  // namespace

ClientDips client_dips(const WindowState& state) {
    const WindowDips dips = dips_of(state);
    return {dips.width, dips.height};
}

int footer_top(const WindowState& state) { return dips_of(state).footer_top; }
bool compact_layout(const WindowState& state) { return dips_of(state).compact; }

std::vector<core::Note> current_notes(const WindowState& state) { return core::result_notes(run_report(state)); }

bool more_details(const WindowState& state) { return more_details_available(run_report(state)); }

ResultPanel current_result_panel(const WindowState& state) {
    const int width = client_dips(state).width;
    const TextEngine& engine = text_engine();
    std::vector<NoteLines> lines;
    if (state.showing_result()) {
        for (const auto& note : current_notes(state)) {
            lines.push_back({engine.line_count(note.title, width - 120, 13.5, text_style::kSemibold, state.scale),
                             engine.line_count(note.body, width - 120, 12.5, 0, state.scale)});
        }
    }
    return result_panel(footer_top(state), compact_layout(state), state.showing_result() && more_details(state),
                        state.run.details_expanded, std::move(lines));
}

ChildBoxes current_child_boxes(const WindowState& state) {
    const ResultPanel panel = current_result_panel(state);
    return child_boxes(dips_of(state), panel.top, panel.height);
}

int panel_tint(const std::vector<core::Note>& notes) {
    int tint = 2;
    for (const auto& note : notes) {
        if (note.level == core::kLevelError) return 0;
        if (note.level == core::kLevelCaution) tint = 1;
    }
    return tint;
}

}  // namespace zelkora::ui
