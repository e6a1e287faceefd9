#include "ui/dialog_painting_win32.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

#include "core/owners.h"
#include "ui/fonts.h"
#include "ui/gdi_scopes.h"
#include "ui/theme.h"

namespace zelkora::ui {
namespace {

using namespace theme;

int pixels(double dips, double scale) { return static_cast<int>(dips * scale); }

struct TextStyle {
    double size = 13;
    int weight = FW_NORMAL;
    bool monospace = false;
};

UniqueFont font_for(const TextStyle& style, double scale, const wchar_t* face) {
    return make_font(style.monospace ? L"Consolas" : face, static_cast<int>(std::lround(style.size * scale)),
                     style.weight);
}

constexpr UINT kWrappedText = DT_LEFT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX;

// Wraps and measures with GDI at one scale. A provisional counter: the
// shared text engine will take its place.
class LineCounter {
public:
    LineCounter(HDC dc, double scale, const wchar_t* face) : dc_(dc), scale_(scale), face_(face) {}

    int lines(std::wstring_view text, double width_dips, const TextStyle& style) const {
        if (text.empty()) return 0;
        const UniqueFont font = font_for(style, scale_, face_);
        const GdiSelection selected(dc_, font.get());
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc_, &metrics);
        RECT box{0, 0, std::max(1, pixels(width_dips, scale_)), 0};
        ::DrawTextW(dc_, text.data(), static_cast<int>(text.size()), &box, kWrappedText | DT_CALCRECT);
        const int line_height = std::max<int>(1, metrics.tmHeight);
        return std::max(1, static_cast<int>((box.bottom - box.top + line_height - 1) / line_height));
    }

private:
    HDC dc_;
    double scale_;
    const wchar_t* face_;
};

std::vector<std::wstring_view> paragraphs_of(std::wstring_view body) {
    std::vector<std::wstring_view> paragraphs;
    for (;;) {
        const size_t end = body.find(L'\n');
        paragraphs.push_back(body.substr(0, end));
        if (end == std::wstring_view::npos) return paragraphs;
        body.remove_prefix(end + 1);
    }
}

// Vertical positions in DIPs for a client width of `width` DIPs.
struct DialogMetrics {
    int heading_lines = 1;
    double heading_block = 34;
    double heading_top = 31;
    std::vector<int> paragraph_lines;
    double details_top = 0;
    double details_height = 0;
    std::vector<double> row_heights;
    int caution_lines = 0;
    double caution_top = 0;
    double height = 0;
};

constexpr TextStyle kHeadingStyle{17, FW_BOLD, false};
constexpr TextStyle kBodyStyle{13.5, FW_NORMAL, false};
constexpr TextStyle kLabelStyle{12, FW_NORMAL, false};
constexpr TextStyle kCautionStyle{12.5, FW_NORMAL, false};

TextStyle value_style(const DetailRow& row) { return {12.5, FW_NORMAL, row.monospace}; }

DialogMetrics measure(const DialogRequest& request, double width, const LineCounter& counter) {
    DialogMetrics m;
    m.heading_lines = std::max(1, counter.lines(request.heading, width - 102, kHeadingStyle));
    m.heading_block = std::max(m.heading_lines * 24.0, 34.0);
    m.heading_top = (m.heading_block - m.heading_lines * 24.0) / 2 + 26;
    double y = m.heading_block + 26 + 16;

    for (const std::wstring_view paragraph : paragraphs_of(request.body)) {
        const int lines = counter.lines(paragraph, width - 56, kBodyStyle);
        m.paragraph_lines.push_back(lines);
        y += paragraph.empty() ? 6 : lines * 21.0 + 6;
    }
    y -= 6;

    if (!request.detail_rows.empty()) {
        m.details_top = y + 14;
        double rows = 0;
        for (const DetailRow& row : request.detail_rows) {
            const double height = std::max(1, counter.lines(row.value, width - 168, value_style(row))) * 19.0;
            m.row_heights.push_back(height);
            rows += height + 6;
        }
        m.details_height = 24 + rows - 6;
        y = m.details_top + m.details_height;
    }

    if (!request.caution_text.empty()) {
        m.caution_lines = std::max(1, counter.lines(request.caution_text, width - 84, kCautionStyle));
        m.caution_top = y + 16;
        y = m.caution_top + m.caution_lines * 19.0 + 22;
    }
    m.height = y + 24 + 38 + 24;
    return m;
}

class Painter {
public:
    Painter(HDC dc, double scale, const wchar_t* face) : dc_(dc), scale_(scale), face_(face) {}

    RECT box(double x, double y, double width, double height) const {
        return RECT{pixels(x, scale_), pixels(y, scale_), pixels(x + width, scale_), pixels(y + height, scale_)};
    }

    void text(std::wstring_view text, const RECT& where, const TextStyle& style, COLORREF colour,
              UINT format = kWrappedText) const {
        if (text.empty()) return;
        const UniqueFont font = font_for(style, scale_, face_);
        const GdiSelection selected(dc_, font.get());
        ::SetTextColor(dc_, colour);
        RECT target = where;
        ::DrawTextW(dc_, text.data(), static_cast<int>(text.size()), &target, format);
    }

    void rounded_box(const RECT& where, double radius, COLORREF fill, COLORREF border) const {
        const UniqueBrush brush(::CreateSolidBrush(fill));
        const UniquePen pen(::CreatePen(PS_SOLID, std::max(1, pixels(1, scale_)), border));
        const GdiSelection with_brush(dc_, brush.get());
        const GdiSelection with_pen(dc_, pen.get());
        const int corner = pixels(2 * radius, scale_);
        ::RoundRect(dc_, where.left, where.top, where.right, where.bottom, corner, corner);
    }

    void status_icon(double x, double y, double diameter, bool caution) const {
        const RECT where = box(x, y, diameter, diameter);
        const UniqueBrush brush(::CreateSolidBrush(kAccent));
        const UniquePen pen(::CreatePen(PS_SOLID, 1, kAccent));
        {
            const GdiSelection with_brush(dc_, brush.get());
            const GdiSelection with_pen(dc_, pen.get());
            ::Ellipse(dc_, where.left, where.top, where.right, where.bottom);
        }
        text(caution ? L"!" : L"?", where, {diameter * 0.6, FW_BOLD, false}, kBackground,
             DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }

private:
    HDC dc_;
    double scale_;
    const wchar_t* face_;
};

struct ButtonColours {
    COLORREF face;
    COLORREF border;
    COLORREF label;
    COLORREF focus;
};

ButtonColours button_colours(bool primary, UINT state) {
    const bool pressed = state & ODS_SELECTED;
    const bool disabled = state & ODS_DISABLED;
    if (primary) {
        if (disabled) return {kLine, kLine, kFaint, kCautionText};
        const COLORREF face = pressed ? kAccentPressed : kAccent;
        return {face, face, kPrimaryText, kCautionText};
    }
    return {pressed && !disabled ? kPressedSecondary : kCard, kLine, disabled ? kFaint : kText, kMuted};
}

}  // namespace

double measured_dialog_height(const DialogRequest& request, const wchar_t* face) {
    const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    if (!dc) return 0;
    return measure(request, kDialogMeasureWidth, LineCounter(dc.get(), 1.0, face)).height;
}

void paint_dialog(const DialogRequest& request, HDC dc, const RECT& client, double scale, const wchar_t* face) {
    const UniqueBrush background(::CreateSolidBrush(kBackground));
    ::FillRect(dc, &client, background.get());
    ::SetBkMode(dc, TRANSPARENT);

    const double width = static_cast<int>(client.right / scale);
    const DialogMetrics m = measure(request, width, LineCounter(dc, scale, face));
    const Painter painter(dc, scale, face);

    painter.status_icon(28, 26, 34, request.information_only);
    painter.text(request.heading, painter.box(74, m.heading_top, width - 102, m.heading_lines * 24.0),
                 kHeadingStyle, kText);

    double y = m.heading_block + 42;
    const auto paragraphs = paragraphs_of(request.body);
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (paragraphs[i].empty()) {
            y += 6;
            continue;
        }
        const double height = m.paragraph_lines[i] * 21.0;
        painter.text(paragraphs[i], painter.box(28, y, width - 56, height), kBodyStyle, kBody);
        y += height + 6;
    }

    if (!request.detail_rows.empty()) {
        painter.rounded_box(painter.box(28, m.details_top, width - 56, m.details_height), 10, kDetailsBox, kLine);
        double row_y = m.details_top + 12;
        for (size_t i = 0; i < request.detail_rows.size(); ++i) {
            const DetailRow& row = request.detail_rows[i];
            painter.text(row.label, painter.box(44, row_y, 80, 19), kLabelStyle, kMuted);
            painter.text(row.value, painter.box(128, row_y, width - 168, m.row_heights[i]), value_style(row), kText);
            row_y += m.row_heights[i] + 6;
        }
    }

    if (!request.caution_text.empty()) {
        const double height = m.caution_lines * 19.0;
        painter.rounded_box(painter.box(28, m.caution_top, width - 56, height + 22), 10, kAmberTint, kAmberBorder);
        painter.text(request.caution_text, painter.box(42, m.caution_top + 11, width - 84, height), kCautionStyle,
                     kCautionText);
    }
}

void draw_dialog_button(const DRAWITEMSTRUCT& item, double scale, const wchar_t* face, HGDIOBJ label_font) {
    const HDC dc = item.hDC;
    const RECT& area = item.rcItem;
    const UniqueBrush background(::CreateSolidBrush(kBackground));
    ::FillRect(dc, &area, background.get());

    const ButtonColours colours = button_colours(item.CtlID == kPrimaryButton, item.itemState);
    Painter(dc, scale, face).rounded_box(area, 10, colours.face, colours.border);
    const bool focused = (item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT);
    if (focused) {
        const int inset = pixels(2.5, scale);
        const UniquePen pen(::CreatePen(PS_SOLID, std::max(1, pixels(1.5, scale)), colours.focus));
        const GdiSelection with_brush(dc, ::GetStockObject(NULL_BRUSH));
        const GdiSelection with_pen(dc, pen.get());
        const int corner = pixels(16, scale);
        ::RoundRect(dc, area.left + inset, area.top + inset, area.right - inset, area.bottom - inset, corner, corner);
    }

    wchar_t label[100] = {};
    ::GetWindowTextW(item.hwndItem, label, 100);
    const GdiSelection with_font(dc, label_font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, colours.label);
    RECT text_box = area;
    ::DrawTextW(dc, label, -1, &text_box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

}  // namespace zelkora::ui
