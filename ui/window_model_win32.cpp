#include "ui/window_model_win32.h"

#include <algorithm>

#include "core/wide.h"
#include "setup_version.h"
#include "ui/accessible_win32.h"
#include "ui/diagnostics_copy.h"
#include "ui/installer_run_win32.h"
#include "ui/text_engine_win32.h"
#include "ui/window_geometry_win32.h"
#include "ui/window_geometry_dips.h"

namespace zelkora::ui {
DisplayModel current_window_model(const WindowState& state) {
    const core::RunReport report = run_report(state);
    const WindowDips dips = [&] {
        RECT client{};
        ::GetClientRect(state.window, &client);
        return window_dips(client.right, client.bottom, state.scale);
    }();
    WindowModelInput input;
    input.width = dips.width;
    input.footer = dips.footer_top;
    input.compact = dips.compact;
    input.view = state.view;
    input.preview = state.is_preview();
    input.automatic_update = state.automatic_update;
    input.version_text = kSetupVersionText;
    input.progress = state.run.progress;
    input.details_expanded = state.run.details_expanded;
    if (state.view == core::kRunInstalling) {
        input.status_lines = text_engine().line_count(status_line(state.run.progress), dips.width - 120, 12.5, 0,
                                                      state.scale);
    }
    if (state.showing_result()) {
        input.notes = core::result_notes(report);
        input.header = core::result_header(report, input.notes);
        input.more_details = more_details_available(report);
        input.panel = current_result_panel(state);
        if (state.details_field && shown_in_parent(state.details_field)) {
            DisplayControl field = child_control(state.window, state.details_field, state.scale);
            field.text = field_text(report);
            input.field = field;
        }
    }
    // As the eye meets them: the details button on the panel, then the footer
    // from left to right.
    input.buttons = visible_buttons(state.window, {kDetailsButton, kCopyButton, kCancelButton, kPrimaryButton},
                                    state.scale);
    return window_model(input);
}

}  // namespace zelkora::ui
