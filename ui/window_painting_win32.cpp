#include "ui/window_painting_win32.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/outcome_messages.h"
#include "ui/button_painting_win32.h"
#include "ui/diagnostics_copy.h"
#include "ui/display_painting_win32.h"
#include "ui/gdi_scopes_win32.h"
#include "ui/installer_run_win32.h"
#include "ui/paint_surface_win32.h"
#include "ui/shapes_win32.h"
#include "ui/theme_win32.h"
#include "ui/window_geometry_win32.h"
#include "ui/window_geometry_dips.h"
#include "ui/window_model_win32.h"

namespace zelkora::ui {
namespace {

using namespace theme;

// What every view needs to place its shapes (in DIPs); the texts come from
// the model.
struct Frame {
    PaintSurface& surface;
    const WindowState& state;
    const DisplayModel& model;
    const Palette& colours;
    int client_width;
    int footer_top;
    bool compact;

    double title_top() const { return compact ? 82 : 92; }
    void card(double x, double y, double width, double height) const {
        rounded_rectangle(surface, x, y, width, height, 14, colours.card, Border{colours.line, 1});
    }
};

void paint_header(const Frame& frame) {
    PaintSurface& surface = frame.surface;
    const Palette& colours = frame.colours;
    rounded_rectangle(surface, 28, 20, 40, 40, 11, colours.card, Border{colours.line, 1});
    rounded_rectangle(surface, 37, 29, 22, 15, 0, std::nullopt, Border{colours.accent, 2, true});
    line(surface, 48, 44, 48, 50, colours.accent, 2, true);
    line(surface, 42, 50.5, 54, 50.5, colours.accent, 2, true);
    if (const DisplayElement* badge = frame.model.find(element_id::kBadge)) {
        const DisplayBox& box = badge->box;
        rounded_rectangle(surface, box.x, box.y, box.width, box.height, 12, colours.amber_tint,
                          Border{colours.amber_border, 1});
    }
    line(surface, 0, 72, frame.client_width, 72, colours.line, 1);
}

void paint_ready(const Frame& frame) {
    const DisplayElement* list = frame.model.find(element_id::kReadyList);
    if (!list) return;
    frame.card(list->box.x, list->box.y, list->box.width, list->box.height);
    for (int i = 0; i < 3; ++i) {
        if (const DisplayElement* number = frame.model.find(element_id::kReadyNumber + i)) {
            const DisplayBox& box = number->box;
            rounded_rectangle(frame.surface, box.x, box.y, box.width, box.height, 9, frame.colours.amber_tint,
                              Border{frame.colours.amber_border, 1});
        }
    }
}

void paint_steps(const Frame& frame, const ProgressCard& card) {
    const int highest = frame.state.run.progress.highest_step;
    const double half = 0.5 * card.pitch;
    const double radius = card.radius;
    for (int k = 0; k < 6; ++k) {
        const double y = card.top + 7 + k * card.pitch + half;
        if (k < 5) {
            line(frame.surface, 52, y + radius + 2, 52, y + card.pitch - radius - 2,
                 k < highest ? frame.colours.done : frame.colours.line, 1.5);
        }
        step_marker(frame.surface, 52, y, radius, k, highest, frame.state.spinner_phase);
    }
}

void paint_progress(const Frame& frame) {
    const ProgressCard card = progress_card(frame.footer_top, frame.compact);
    const int width = frame.client_width;
    frame.card(28, card.top, width - 56, card.height);
    paint_steps(frame, card);
    const Palette& colours = frame.colours;
    rounded_rectangle(frame.surface, 28, card.bar_top, width - 56, 6, 3, colours.track,
                      colours.high_contrast ? std::optional(Border{colours.track_border, 1}) : std::nullopt);
    const double filled = (width - 56) * std::clamp(frame.state.run.shown_progress, 0.0, 1.0);
    if (filled > 0.5) {
        rounded_rectangle(frame.surface, 28, card.bar_top, std::max(filled, 6.0), 6, 3, colours.accent);
    }
}

IconKind icon_of(core::NoteLevel level) { return static_cast<IconKind>(std::clamp(static_cast<int>(level), 0, 2)); }

// A painted scroll bar for the diagnostics field, which has none of its own.
void paint_field_scroll(const Frame& frame) {
    const WindowState& state = frame.state;
    const HWND field = state.details_field;
    if (!field || !::IsWindowVisible(field)) return;
    RECT box{};
    ::GetWindowRect(field, &box);
    ::MapWindowPoints(nullptr, state.window, reinterpret_cast<POINT*>(&box), 2);
    const int line_count = static_cast<int>(::SendMessageW(field, EM_GETLINECOUNT, 0, 0));
    TEXTMETRICW metrics{};
    {
        const WindowDc dc(field);
        const GdiSelection selected(dc.get(), state.ui_font.get());
        ::GetTextMetricsW(dc.get(), &metrics);
    }
    const int field_height_px = box.bottom - box.top;
    const int fitting = std::max(1, metrics.tmHeight > 0 ? field_height_px / static_cast<int>(metrics.tmHeight) : 1);
    if (line_count <= fitting) return;
    const double top = box.top / state.scale;
    const double height = field_height_px / state.scale;
    const double x = frame.client_width - 41;
    rounded_rectangle(frame.surface, x, top, 3, height, 1.5, frame.colours.line);
    const double thumb = std::max(fitting * height / line_count, 18.0);
    const int first = static_cast<int>(::SendMessageW(field, EM_GETFIRSTVISIBLELINE, 0, 0));
    const double position = std::clamp(static_cast<double>(first) / (line_count - fitting), 0.0, 1.0);
    rounded_rectangle(frame.surface, x, top + (height - thumb) * position, 3, thumb, 1.5, frame.colours.inks[2]);
}

void paint_result(const Frame& frame) {
    const WindowState& state = frame.state;
    const auto report = run_report(state);
    const auto notes = core::result_notes(report);
    const auto header = core::result_header(report, notes);
    const int width = frame.client_width;
    if (notes.empty()) {
        const double top = std::max((frame.footer_top - 8 - 80 - 138) * 0.5, 0.0) + 80;
        status_icon(frame.surface, width / 2.0 - 28, top, 56, icon_of(header.level));
        return;
    }
    status_icon(frame.surface, 28, frame.title_top() + 2, 28, icon_of(header.level));
    const ResultPanel panel = current_result_panel(state);
    const int tint = panel_tint(notes);
    rounded_rectangle(frame.surface, 28, panel.top, width - 56, panel.height, 14, frame.colours.panel_tints[tint],
                      Border{frame.colours.panel_borders[tint], 1});
    if (state.run.details_expanded && more_details_available(report)) {
        paint_field_scroll(frame);
        return;
    }
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const DisplayElement* title = frame.model.find(element_id::kNoteTitle + 2 * static_cast<int>(i));
        if (!title) break;
        status_icon(frame.surface, 46, title->box.y + 2, 17, icon_of(notes[i].level));
    }
}

}  // namespace

void paint_view(WindowState& state, HDC dc, const RECT* region) {
    RECT client{};
    ::GetClientRect(state.window, &client);
    RECT part = client;
    if (region && !::IntersectRect(&part, &client, region)) return;
    if (part.right <= part.left || part.bottom <= part.top) return;
    const Palette colours = current_palette();
    PaintSurface surface(text_engine(), part, state.scale, colours.background);
    if (!surface.ready()) return;
    const DisplayModel model = current_window_model(state);
    const Frame frame{surface, state, model, colours, client_dips(state).width, footer_top(state),
                      compact_layout(state)};
    paint_header(frame);
    switch (state.view) {
        case core::kRunInstalling: paint_progress(frame); break;
        case core::kRunCompleted:
        case core::kRunFailed: paint_result(frame); break;
        default: paint_ready(frame); break;
    }
    queue_model_texts(surface, model, colours.inks);
    surface.present(dc);
}

void paint_window(WindowState& state) {
    const std::vector<RECT> parts = update_rectangles(state.window);
    const PaintCycle cycle(state.window);
    if (!cycle.dc()) return;
    for (const RECT& part : parts) paint_view(state, cycle.dc(), &part);
}

bool draw_button(const WindowState& state, const DRAWITEMSTRUCT* item) {
    if (item->CtlID < 1 || item->CtlID > 4) return false;
    static constexpr ButtonStyle kStyles[] = {ButtonStyle::primary, ButtonStyle::secondary, ButtonStyle::left_text,
                                              ButtonStyle::right_text};
    const Palette colours = current_palette();
    const COLORREF background = item->CtlID == kDetailsButton ? colours.panel_tints[panel_tint(current_notes(state))]
                                                              : colours.background;
    ui::draw_button(text_engine(), *item, state.scale, kStyles[item->CtlID - 1], background);
    return true;
}

LRESULT field_colours(const WindowState& state, HDC dc) {
    const int tint = panel_tint(current_notes(state));
    const Palette colours = current_palette();
    ::SetBkColor(dc, colours.panel_tints[static_cast<std::size_t>(tint)]);
    ::SetTextColor(dc, colours.field_text);
    if (colours.high_contrast) return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(state.tint_brushes[static_cast<std::size_t>(tint)].get());
}

}  // namespace zelkora::ui
