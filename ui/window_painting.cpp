#include "ui/window_painting.h"

#include <string>
#include <vector>

#include "core/outcome_messages.h"
#include "core/wide.h"
#include "ui/fonts.h"
#include "ui/gdi_scopes.h"
#include "ui/installer_run.h"
#include "ui/theme.h"

namespace zelkora::ui {
namespace {

using namespace theme;
constexpr COLORREF kLevelColours[3] = {RGB(0x4C, 0xC3, 0x8A), RGB(0xFF, 0xD2, 0x4A), RGB(0xF2, 0x6D, 0x6D)};

class TextPainter {
public:
    TextPainter(const WindowState& state, HDC dc) : state_(state), dc_(dc) { ::SetBkMode(dc, TRANSPARENT); }

    // Draws text in a box given in DIPs; returns the height used, in DIPs.
    int draw(const std::wstring& text, double x, double y, double width, double size, int weight, COLORREF colour,
             UINT format = DT_WORDBREAK) {
        const UniqueFont font =
            make_font(ui_face(state_.embedded_fonts_in_gdi), static_cast<int>(size * state_.scale), weight);
        const GdiSelection selected(dc_, font.get());
        ::SetTextColor(dc_, colour);
        RECT box{px(x), px(y), px(x + width), px(y + 1000)};
        ::DrawTextW(dc_, text.c_str(), -1, &box, format | DT_NOPREFIX | DT_CALCRECT);
        ::DrawTextW(dc_, text.c_str(), -1, &box, format | DT_NOPREFIX);
        return static_cast<int>((box.bottom - box.top) / state_.scale);
    }

    int px(double dips) const { return static_cast<int>(dips * state_.scale); }

private:
    const WindowState& state_;
    HDC dc_;
};

void paint_ready(TextPainter& painter, int width) {
    painter.draw(L"클라우드 데스크톱 시작하기", 28, 92, width - 56, 23, FW_BOLD, kText);
    painter.draw(L"Zelkora 클라이언트를 이 PC에 설치해요.", 28, 128, width - 56, 13.5, FW_NORMAL, kMuted);
}

void paint_progress(TextPainter& painter, const WindowState& state, int width) {
    painter.draw(L"설치하고 있어요", 28, 92, width - 56, 23, FW_BOLD, kText);
    for (int step = 0; step < 6; ++step) {
        const bool done = step < state.run.progress.highest_step;
        const bool current = step == state.run.progress.highest_step;
        painter.draw(to_wide(core::step_label(core::Flavour::client, step + 1)), 66, 166 + step * 28, width - 96, 13, current ? FW_SEMIBOLD : FW_NORMAL,
                     done ? kMuted : current ? kText : kFaint);
    }
    const std::u16string status = state.run.progress.status_text.empty()
                                      ? std::u16string(u"설치를 준비하고 있어요")
                                      : core::clean_note_text(state.run.progress.status_text);
    painter.draw(to_wide(status), 28, 350, width - 120, 12.5, FW_NORMAL, kMuted);
}

void paint_result(TextPainter& painter, const WindowState& state, int width) {
    const auto report = run_report(state);
    const auto notes = core::result_notes(report);
    const auto header = core::result_header(report, notes);
    painter.draw(to_wide(header.title), 66, 92, width - 94, 23, FW_BOLD, kLevelColours[header.level]);
    painter.draw(to_wide(header.subtitle), 28, 132, width - 56, 13, FW_NORMAL, kMuted);
    if (state.run.details_expanded && ::IsWindowVisible(state.details_field)) return;
    int y = 184;
    for (const auto& note : notes) {
        y += painter.draw(to_wide(note.title), 74, y, width - 120, 13.5, FW_SEMIBOLD, kLevelColours[note.level]);
        if (!note.body.empty()) y += 2 + painter.draw(to_wide(note.body), 74, y + 2, width - 120, 12.5, FW_NORMAL, kMuted);
        y += 14;
    }
}

}  // namespace

void paint_view(WindowState& state, HDC dc) {
    RECT client{};
    ::GetClientRect(state.window, &client);
    const UniqueBrush background(::CreateSolidBrush(kBackground));
    ::FillRect(dc, &client, background.get());
    TextPainter painter(state, dc);
    const int width = static_cast<int>(client.right / state.scale);
    switch (state.view) {
        case core::kRunInstalling: paint_progress(painter, state, width); break;
        case core::kRunCompleted:
        case core::kRunFailed: paint_result(painter, state, width); break;
        default: paint_ready(painter, width); break;
    }
}

void paint_window(WindowState& state) {
    const PaintCycle cycle(state.window);
    if (cycle.dc()) paint_view(state, cycle.dc());
}

bool draw_button(const WindowState& state, const DRAWITEMSTRUCT* item) {
    if (item->CtlID < 1 || item->CtlID > 4) return false;
    const bool primary = item->CtlID == 1;
    const bool enabled = !(item->itemState & ODS_DISABLED);
    const UniqueBrush fill(::CreateSolidBrush(primary ? (enabled ? kAccent : kAmberBorder) : kBackground));
    ::FillRect(item->hDC, &item->rcItem, fill.get());
    if (item->CtlID == 2) {
        const UniqueBrush border(::CreateSolidBrush(kLine));
        ::FrameRect(item->hDC, &item->rcItem, border.get());
    }
    wchar_t text[64] = {};
    ::GetWindowTextW(item->hwndItem, text, 64);
    ::SetBkMode(item->hDC, TRANSPARENT);
    ::SetTextColor(item->hDC, primary ? kBackground : enabled ? kText : kMuted);
    {
        const GdiSelection selected(item->hDC, state.ui_font.get());
        RECT box = item->rcItem;
        const UINT align = item->CtlID == 3 ? DT_LEFT : item->CtlID == 4 ? DT_RIGHT : DT_CENTER;
        ::DrawTextW(item->hDC, text, -1, &box, align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (item->itemState & ODS_FOCUS) ::DrawFocusRect(item->hDC, &item->rcItem);
    return true;
}

LRESULT field_colours(const WindowState& state, HDC dc) {
    const auto notes = core::result_notes(run_report(state));
    int tint = 2;  // green unless a note says otherwise
    for (const auto& note : notes) {
        if (note.level == core::kLevelError) tint = 0;
        if (note.level == core::kLevelCaution && tint != 0) tint = 1;
    }
    ::SetBkColor(dc, kPanelTints[tint]);
    ::SetTextColor(dc, kBody);
    return reinterpret_cast<LRESULT>(state.tint_brushes[static_cast<std::size_t>(tint)].get());
}

}  // namespace zelkora::ui
