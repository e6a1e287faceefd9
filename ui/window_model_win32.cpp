#include "ui/window_model_win32.h"

#include <algorithm>

#include "core/wide.h"
#include "setup_version.h"
#include "ui/diagnostics_copy.h"
#include "ui/installer_run.h"
#include "ui/text_engine_win32.h"
#include "ui/window_geometry.h"
#include "ui/window_geometry_dips.h"

namespace zelkora::ui {
namespace {

std::u16string text_of(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), length + 1)));
    return std::u16string(text.begin(), text.end());
}

DisplayControl control_of(HWND parent, HWND child, double scale) {
    DisplayControl control;
    control.control_id = ::GetDlgCtrlID(child);
    control.text = text_of(child);
    control.box = child_box(parent, child, scale);
    control.enabled = ::IsWindowEnabled(child) != FALSE;
    control.focused = ::GetFocus() == child;
    return control;
}

}  // namespace

DisplayBox child_box(HWND parent, HWND child, double scale) {
    RECT box{};
    ::GetWindowRect(child, &box);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&box), 2);
    return {box.left / scale, box.top / scale, (box.right - box.left) / scale, (box.bottom - box.top) / scale};
}

std::vector<DisplayControl> visible_buttons(HWND parent, std::initializer_list<int> ids, double scale) {
    std::vector<DisplayControl> buttons;
    for (const int id : ids) {
        const HWND child = ::GetDlgItem(parent, id);
        if (child && ::IsWindowVisible(child)) buttons.push_back(control_of(parent, child, scale));
    }
    return buttons;
}

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
        if (state.details_field && ::IsWindowVisible(state.details_field)) {
            DisplayControl field = control_of(state.window, state.details_field, state.scale);
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
