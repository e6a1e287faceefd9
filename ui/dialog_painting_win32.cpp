#include "ui/dialog_painting_win32.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "ui/button_painting_win32.h"
#include "ui/control_ids.h"
#include "ui/display_painting_win32.h"
#include "ui/paint_surface_win32.h"
#include "ui/shapes_win32.h"
#include "ui/theme_win32.h"

namespace zelkora::ui {
namespace {

using namespace theme;
using namespace text_style;

struct TextStyle {
    double size;
    unsigned bits;
};

constexpr TextStyle kHeading{17, kBold};
constexpr TextStyle kBodyText{13.5, 0};
constexpr TextStyle kCaution{12.5, 0};

TextStyle value_style(const DetailRow& row) { return {12.5, row.monospace ? kMonospace : 0u}; }

std::u16string utf16(std::wstring_view text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

std::vector<std::wstring_view> paragraphs_of(std::wstring_view body) {
    std::vector<std::wstring_view> paragraphs;
    for (;;) {
        const size_t end = body.find(L'\n');
        paragraphs.push_back(body.substr(0, end));
        if (end == std::wstring_view::npos) return paragraphs;
        body.remove_prefix(end + 1);
    }
}

int lines_of(const TextEngine& engine, std::wstring_view text, double width, const TextStyle& style) {
    return engine.line_count(utf16(text), width, style.size, style.bits, 1.0);
}

}  // namespace

DialogLayout measure_dialog(const DialogRequest& request, const TextEngine& engine, double width) {
    DialogLayout m;
    m.heading_lines = std::max(1, lines_of(engine, request.heading, width - 102, kHeading));
    m.heading_block = std::max(m.heading_lines * 24.0, 34.0);
    m.heading_top = (m.heading_block - m.heading_lines * 24.0) / 2 + 26;
    double y = m.heading_block + 26 + 16;

    for (const std::wstring_view paragraph : paragraphs_of(request.body)) {
        const int lines = lines_of(engine, paragraph, width - 56, kBodyText);
        m.paragraph_lines.push_back(lines);
        y += lines * 21.0 + 6;
    }
    y -= 6;

    if (!request.detail_rows.empty()) {
        m.details_top = y + 14;
        double rows = 0;
        for (const DetailRow& row : request.detail_rows) {
            const double height = std::max(1, lines_of(engine, row.value, width - 168, value_style(row))) * 19.0;
            m.row_heights.push_back(height);
            rows += height + 6;
        }
        m.details_height = 24 + rows - 6;
        y = m.details_top + m.details_height;
    }

    if (!request.caution_text.empty()) {
        m.caution_lines = std::max(1, lines_of(engine, request.caution_text, width - 84, kCaution));
        m.caution_top = y + 16;
        y = m.caution_top + m.caution_lines * 19.0 + 22;
    }
    m.height = y + 24 + 38 + 24;
    return m;
}

DisplayModel dialog_display_model(const DialogRequest& request, const DialogLayout& layout, int width,
                                  std::vector<DisplayControl> buttons) {
    DialogModelInput input;
    input.buttons = std::move(buttons);
    input.width = width;
    input.heading = utf16(request.heading);
    input.heading_lines = layout.heading_lines;
    input.heading_top = layout.heading_top;
    input.heading_block = layout.heading_block;
    for (const std::wstring_view paragraph : paragraphs_of(request.body)) input.paragraphs.push_back(utf16(paragraph));
    input.paragraph_lines = layout.paragraph_lines;
    for (std::size_t i = 0; i < request.detail_rows.size() && i < layout.row_heights.size(); ++i) {
        const DetailRow& row = request.detail_rows[i];
        input.details.push_back({utf16(row.label), utf16(row.value), row.monospace, layout.row_heights[i]});
    }
    input.details_top = layout.details_top;
    input.caution = utf16(request.caution_text);
    input.caution_lines = layout.caution_lines;
    input.caution_top = layout.caution_top;
    return dialog_model(input);
}

void paint_dialog(const DialogRequest& request, const DialogLayout& layout, HDC dc, const RECT& client,
                  double scale) {
    if (client.right <= 0 || client.bottom <= 0) return;
    const Palette colours = current_palette();
    PaintSurface surface(text_engine(), client.right, client.bottom, scale, colours.background);
    if (!surface.ready()) return;
    const int width = static_cast<int>(client.right / scale);

    status_icon(surface, 28, 26, 34, request.information_only ? IconKind::caution : IconKind::question);
    if (!request.detail_rows.empty()) {
        rounded_rectangle(surface, 28, layout.details_top, width - 56, layout.details_height, 10, colours.details_box,
                          Border{colours.line, 1});
    }
    if (!request.caution_text.empty()) {
        rounded_rectangle(surface, 28, layout.caution_top, width - 56, layout.caution_lines * 19.0 + 22, 10,
                          colours.amber_tint, Border{colours.amber_border, 1});
    }
    queue_model_texts(surface, dialog_display_model(request, layout, width), colours.inks);
    surface.present(dc, 0, 0);
}

void draw_dialog_button(const DRAWITEMSTRUCT& item, double scale) {
    draw_button(text_engine(), item, scale,
                item.CtlID == kPrimaryButton ? ButtonStyle::primary : ButtonStyle::secondary,
                current_palette().background);
}

}  // namespace zelkora::ui
