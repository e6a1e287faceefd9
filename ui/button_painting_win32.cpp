#include "ui/button_painting_win32.h"

#include <string>

#include "ui/paint_surface_win32.h"
#include "ui/shapes_win32.h"
#include "ui/theme_win32.h"

namespace zelkora::ui {
namespace {

using namespace theme;
using namespace text_style;

struct Face {
    COLORREF fill;
    COLORREF border;
};

// High contrast: the system's button and selection colours, always outlined.
Face high_contrast_face(ButtonStyle style, ButtonState state) {
    const COLORREF text = ::GetSysColor(COLOR_BTNTEXT);
    if (style == ButtonStyle::primary && !state.disabled) return {::GetSysColor(COLOR_HIGHLIGHT), text};
    return {::GetSysColor(COLOR_BTNFACE), text};
}

COLORREF high_contrast_label(ButtonStyle style, ButtonState state) {
    if (state.disabled) return ::GetSysColor(COLOR_GRAYTEXT);
    switch (style) {
        case ButtonStyle::primary: return ::GetSysColor(COLOR_HIGHLIGHTTEXT);
        case ButtonStyle::secondary: return ::GetSysColor(COLOR_BTNTEXT);
        default: return ::GetSysColor(COLOR_HOTLIGHT);
    }
}

Face face_of(ButtonStyle style, ButtonState state) {
    if (high_contrast_on()) return high_contrast_face(style, state);
    if (style == ButtonStyle::primary) {
        if (state.disabled) return {kLine, kLine};
        const COLORREF fill = state.pressed ? kAccentPressed : kAccent;
        return {fill, fill};
    }
    return {state.pressed && !state.disabled ? kPressedSecondary : kCard, kLine};
}

COLORREF label_colour(ButtonStyle style, ButtonState state) {
    if (high_contrast_on()) return high_contrast_label(style, state);
    if (state.disabled) return kFaint;
    switch (style) {
        case ButtonStyle::primary: return kPrimaryText;
        case ButtonStyle::secondary: return kText;
        case ButtonStyle::right_text: return state.pressed ? kAccentPressed : kAccent;
        case ButtonStyle::left_text: return state.pressed ? kText : kMuted;
    }
    return kText;
}

std::u16string label_of(HWND button) {
    wchar_t text[100] = {};
    const int length = ::GetWindowTextW(button, text, 100);
    return std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<std::size_t>(std::max(length, 0)));
}

void queue_label(PaintSurface& surface, std::u16string label, ButtonStyle style, ButtonState state, double width,
                 double height) {
    const COLORREF colour = label_colour(style, state);
    switch (style) {
        case ButtonStyle::primary:
        case ButtonStyle::secondary:
            surface.queue_text({std::move(label), 0, 0, width, height, 13, 0, colour,
                                kSemibold | kCentred | kMiddle | kSingleLine});
            break;
        case ButtonStyle::right_text:
            surface.queue_text({std::move(label), 0, 0, width - 6, height, 12, 0, colour,
                                kSemibold | kRight | kMiddle | kSingleLine});
            break;
        case ButtonStyle::left_text:
            surface.queue_text({std::move(label), 4, 0, width - 4, height, 12, 0, colour,
                                kSemibold | kMiddle | kSingleLine});
            break;
    }
}

}  // namespace

ButtonState button_state(UINT item_state) {
    return {(item_state & ODS_SELECTED) != 0, (item_state & ODS_DISABLED) != 0,
            (item_state & ODS_FOCUS) != 0 && (item_state & ODS_NOFOCUSRECT) == 0};
}

void draw_button(TextEngine& engine, const DRAWITEMSTRUCT& item, double scale, ButtonStyle style,
                 COLORREF background) {
    const int width_px = item.rcItem.right - item.rcItem.left;
    const int height_px = item.rcItem.bottom - item.rcItem.top;
    if (width_px <= 0 || height_px <= 0) return;
    PaintSurface surface(engine, width_px, height_px, scale, background);
    if (!surface.ready()) return;
    const double width = width_px / scale;
    const double height = height_px / scale;
    const ButtonState state = button_state(item.itemState);
    const bool boxed = style == ButtonStyle::primary || style == ButtonStyle::secondary;
    if (boxed) {
        const Face face = face_of(style, state);
        rounded_rectangle(surface, 0.5, 0.5, width - 1, height - 1, 10, face.fill, Border{face.border, 1});
    }
    queue_label(surface, label_of(item.hwndItem), style, state, width, height);
    if (state.focused) {
        const double inset = boxed ? 2.5 : 1.5;
        rounded_rectangle(surface, inset, inset, width - 2 * inset, height - 2 * inset, boxed ? 8 : 6, std::nullopt,
                          Border{high_contrast_on()                   ? ::GetSysColor(COLOR_BTNTEXT)
                                 : style == ButtonStyle::primary ? kCautionText
                                                                 : kMuted,
                                 1.5});
    }
    surface.present(item.hDC, item.rcItem.left, item.rcItem.top);
}

}  // namespace zelkora::ui
