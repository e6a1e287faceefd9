#include "ui/window_painting.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/outcome_messages.h"
#include "setup_version.h"
#include "ui/button_painting_win32.h"
#include "ui/diagnostics_copy.h"
#include "ui/gdi_scopes.h"
#include "ui/installer_run.h"
#include "ui/paint_surface_win32.h"
#include "ui/shapes_win32.h"
#include "ui/theme.h"
#include "ui/window_geometry.h"
#include "ui/window_geometry_dips.h"

namespace zelkora::ui {
namespace {

using namespace theme;
using namespace text_style;

constexpr unsigned kOneLine = kSingleLine | kMiddle;

// What every view needs to place itself.
struct Frame {
    PaintSurface& surface;
    const WindowState& state;
    int width;  // W
    int footer;  // F
    bool compact;

    double title_top() const { return compact ? 82 : 92; }
    double subtitle_top() const { return compact ? 112 : 128; }
    double title_size() const { return compact ? 20 : 23; }

    void text(std::u16string text, double x, double y, double w, double h, double size, COLORREF colour,
              unsigned style, double line_height = 0) const {
        surface.queue_text({std::move(text), x, y, w, h, size, line_height, colour, style});
    }
    void card(double x, double y, double w, double h) const {
        rounded_rectangle(surface, x, y, w, h, 14, kCard, Border{kLine, 1});
    }
};

void paint_header(const Frame& frame) {
    PaintSurface& surface = frame.surface;
    rounded_rectangle(surface, 28, 20, 40, 40, 11, kCard, Border{kLine, 1});
    rounded_rectangle(surface, 37, 29, 22, 15, 0, std::nullopt, Border{kAccent, 2, true});
    line(surface, 48, 44, 48, 50, kAccent, 2, true);
    line(surface, 42, 50.5, 54, 50.5, kAccent, 2, true);
    frame.text(u"Zelkora", 80, 19, 220, 24, 17, kText, kBold | kOneLine);
    std::u16string product = u"Client  ";
    product += kSetupVersionText;
    product += frame.state.automatic_update ? u" · 업데이트" : u" · 설치";
    frame.text(std::move(product), 80, 43, 260, 18, 12, kMuted, kOneLine);
    if (frame.state.is_preview()) {
        const double left = frame.width - 128;
        rounded_rectangle(surface, left, 28, 100, 24, 12, kAmberTint, Border{kAmberBorder, 1});
        frame.text(u"화면 미리보기", left, 28, 100, 24, 11.5, kCautionText, kSemibold | kCentred | kOneLine);
    }
    line(surface, 0, 72, frame.width, 72, kLine, 1);
}

void paint_ready(const Frame& frame) {
    static constexpr const char16_t* kTitles[] = {u"클라이언트 파일", u"서버·로그인 설정", u"바탕 화면 바로가기"};
    static constexpr const char16_t* kDetails[] = {u"필요한 구성 요소를 함께 설치", u"기존 설정을 그대로 유지",
                                                   u"설치 후 바로 실행"};
    const int w = frame.width;
    const double card_top = frame.compact ? 146 : 174;
    const double card_height = frame.compact ? 118 : 156;
    const double pitch = frame.compact ? 35 : 46;
    frame.text(u"클라우드 데스크톱 시작하기", 28, frame.title_top(), w - 56, 32, frame.title_size(), kText,
               kBold | kOneLine);
    frame.text(u"현재 Windows 사용자에게 클라이언트를 설치해요.", 28, frame.subtitle_top(), w - 56, 22, 13, kMuted,
               kOneLine);
    frame.card(28, card_top, w - 56, card_height);
    for (int i = 0; i < 3; ++i) {
        const double top = card_top + 8 + (frame.compact ? 0 : 5) + i * pitch;
        rounded_rectangle(frame.surface, 46, top + 2, 30, 30, 9, kAmberTint, Border{kAmberBorder, 1});
        frame.text(std::u16string(1, static_cast<char16_t>(u'1' + i)), 46, top + 2, 30, 30, 12.5, kAccent,
                   kBold | kCentred | kOneLine);
        frame.text(kTitles[i], 90, top, w - 136, 19, 13.5, kText, kSemibold | kOneLine);
        frame.text(kDetails[i], 90, top + 19, w - 136, 17, 12, kMuted, kOneLine);
    }
    frame.text(u"설치할 때 열려 있는 Zelkora는 닫혀요. 서버 주소와 로그인 설정은 그대로예요.", 30,
               card_top + card_height + 12, w - 56, 36, 12, kMuted, 0, 18);
    frame.text(u"이 PC에 설치돼요", 28, frame.footer + 9, w - 270, 20, 11.5, kFaint, kOneLine);
}

void paint_steps(const Frame& frame, const ProgressCard& card) {
    const int highest = frame.state.run.progress.highest_step;
    const double card_top = card.top;
    const double pitch = card.pitch;
    const double half = 0.5 * pitch;
    const double radius = card.radius;
    for (int k = 0; k < 6; ++k) {
        const double y = card_top + 7 + k * pitch + half;
        if (k < 5) {
            line(frame.surface, 52, y + radius + 2, 52, y + pitch - radius - 2, k < highest ? kGreenBorder : kLine,
                 1.5);
        }
        step_marker(frame.surface, 52, y, radius, k, highest, frame.state.spinner_phase);
        const bool done = k < highest;
        const bool current = k == highest;
        frame.text(std::u16string(core::step_label(core::Flavour::client, k + 1)), radius + 66, y - half,
                   frame.width - 96 - radius, pitch, frame.compact ? 12 : 13, done ? kMuted : current ? kText : kFaint,
                   (current ? kSemibold : 0u) | kOneLine);
    }
}

void paint_progress(const Frame& frame) {
    const WindowState& state = frame.state;
    const core::RunProgress& progress = state.run.progress;
    const int w = frame.width;
    const ProgressCard card = progress_card(frame.footer, frame.compact);
    const double bar_top = card.bar_top;
    const double status_bottom = card.status_bottom;

    const bool update = state.automatic_update;
    frame.text(update ? u"업데이트하고 있어요" : u"설치하고 있어요", 28, frame.title_top(), w - 56, 32,
               frame.title_size(), kText, kBold | kOneLine);
    frame.text(update ? u"끝나면 새 버전이 자동으로 열려요." : u"끝날 때까지 이 창을 열어 두세요.", 28,
               frame.subtitle_top(), w - 56, 22, 13, kMuted, kOneLine);

    frame.card(28, card.top, w - 56, card.height);
    paint_steps(frame, card);

    const std::u16string status = progress.status_text.empty() ? std::u16string(u"설치를 준비하고 있어요")
                                                               : core::clean_note_text(progress.status_text);
    const int lines =
        std::clamp(text_engine().line_count(status, w - 120, 12.5, 0, state.scale), 1, card.status_lines_max);
    const bool attention = progress.attention_seen && progress.status_text == progress.attention_text;
    const double status_top = status_bottom - lines * 18;
    frame.text(status, 28, status_top, w - 120, lines * 18, 12.5, attention ? kCautionText : kMuted,
               frame.compact ? kOneLine : 0u, 18);
    frame.text(std::u16string(1, static_cast<char16_t>(u'0' + std::clamp(progress.highest_step, 0, 9))) + u" / 6",
               w - 84, status_top, 56, 18, 12, kFaint, kRight | kOneLine);

    rounded_rectangle(frame.surface, 28, bar_top, w - 56, 6, 3, kLine);
    const double filled = (w - 56) * std::clamp(state.run.shown_progress, 0.0, 1.0);
    if (filled > 0.5) rounded_rectangle(frame.surface, 28, bar_top, std::max(filled, 6.0), 6, 3, kAccent);
}

IconKind icon_of(core::NoteLevel level) { return static_cast<IconKind>(std::clamp(static_cast<int>(level), 0, 2)); }

void paint_centred_result(const Frame& frame, const core::ResultHeader& header) {
    const int w = frame.width;
    const double top = std::max((frame.footer - 8 - 80 - 138) * 0.5, 0.0) + 80;
    status_icon(frame.surface, w / 2.0 - 28, top, 56, icon_of(header.level));
    frame.text(header.title, 28, top + 76, w - 56, 32, frame.compact ? 21 : 24, kText, kBold | kCentred | kOneLine);
    frame.text(header.subtitle, 28, top + 116, w - 56, 22, 13.5, kMuted, kCentred | kOneLine);
}

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
    const double x = frame.width - 41;
    rounded_rectangle(frame.surface, x, top, 3, height, 1.5, kLine);
    const double thumb = std::max(fitting * height / line_count, 18.0);
    const int first = static_cast<int>(::SendMessageW(field, EM_GETFIRSTVISIBLELINE, 0, 0));
    const double position = std::clamp(static_cast<double>(first) / (line_count - fitting), 0.0, 1.0);
    rounded_rectangle(frame.surface, x, top + (height - thumb) * position, 3, thumb, 1.5, kMuted);
}

void paint_notes(const Frame& frame, const std::vector<core::Note>& notes, const ResultPanel& panel, bool more) {
    const int w = frame.width;
    double y = panel.top + 16;
    const double limit = panel.top + panel.height - (more ? 46 : 8) + 1;
    const std::size_t count = std::min(notes.size(), panel.notes.size());
    for (std::size_t i = 0; i < count; ++i) {
        const NoteLines lines = panel.notes[i];
        if (y + lines.title * 21 > limit) break;
        status_icon(frame.surface, 46, y + 2, 17, icon_of(notes[i].level));
        frame.text(notes[i].title, 74, y, w - 120, lines.title * 21, 13.5, kText, kSemibold, 21);
        y += lines.title * 21;
        if (lines.body > 0) {
            y += 2;
            frame.text(notes[i].body, 74, y, w - 120, lines.body * 19, 12.5, kMuted, 0, 19);
            y += lines.body * 19;
        }
        y += panel.gap;
    }
}

void paint_result(const Frame& frame) {
    const WindowState& state = frame.state;
    const auto report = run_report(state);
    const auto notes = core::result_notes(report);
    const auto header = core::result_header(report, notes);
    if (notes.empty()) {
        paint_centred_result(frame, header);
        return;
    }
    const int w = frame.width;
    status_icon(frame.surface, 28, frame.title_top() + 2, 28, icon_of(header.level));
    frame.text(header.title, 66, frame.title_top(), w - 94, 32, frame.title_size(), kText, kBold | kOneLine);
    frame.text(header.subtitle, 28, frame.subtitle_top() + 4, w - 56, 22, 13,
               header.level == core::kLevelCaution ? kCautionText : kMuted, kOneLine);
    const ResultPanel panel = current_result_panel(state);
    const int tint = panel_tint(notes);
    rounded_rectangle(frame.surface, 28, panel.top, w - 56, panel.height, 14, kPanelTints[tint],
                      Border{kPanelBorders[tint], 1});
    const bool more = more_details_available(report);
    if (state.run.details_expanded && more) {
        paint_field_scroll(frame);
    } else {
        paint_notes(frame, notes, panel, more);
    }
}

}  // namespace

void paint_view(WindowState& state, HDC dc, const RECT* region) {
    RECT client{};
    ::GetClientRect(state.window, &client);
    RECT part = client;
    if (region && !::IntersectRect(&part, &client, region)) return;
    if (part.right <= part.left || part.bottom <= part.top) return;
    PaintSurface surface(text_engine(), part, state.scale, kBackground);
    if (!surface.ready()) return;
    const Frame frame{surface, state, client_dips(state).width, footer_top(state), compact_layout(state)};
    paint_header(frame);
    switch (state.view) {
        case core::kRunInstalling: paint_progress(frame); break;
        case core::kRunCompleted:
        case core::kRunFailed: paint_result(frame); break;
        default: paint_ready(frame); break;
    }
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
    const COLORREF background =
        item->CtlID == kDetailsButton ? kPanelTints[panel_tint(current_notes(state))] : kBackground;
    ui::draw_button(text_engine(), *item, state.scale, kStyles[item->CtlID - 1], background);
    return true;
}

LRESULT field_colours(const WindowState& state, HDC dc) {
    const int tint = panel_tint(current_notes(state));
    ::SetBkColor(dc, kPanelTints[tint]);
    ::SetTextColor(dc, kBody);
    return reinterpret_cast<LRESULT>(state.tint_brushes[static_cast<std::size_t>(tint)].get());
}

}  // namespace zelkora::ui
