#include "ui/setup_window_win32.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "core/outcome_messages.h"
#include "core/wide.h"
#include "resources/resource_ids.h"
#include "ui/accessible_win32.h"
#include "ui/clipboard_win32.h"
#include "ui/confirmation_dialog_win32.h"
#include "ui/diagnostics_copy.h"
#include "ui/fonts_win32.h"
#include "ui/gdi_scopes_win32.h"
#include "ui/installer_run_win32.h"
#include "ui/paint_surface_win32.h"
#include "ui/preview_fixtures_win32.h"
#include "ui/result_panel.h"
#include "ui/selftest_harness_win32.h"
#include "ui/text_wrap.h"
#include "ui/text_engine_win32.h"
#include "ui/theme_win32.h"
#include "ui/title_bar_win32.h"
#include "ui/window_geometry_win32.h"
#include "ui/window_geometry_dips.h"
#include "ui/window_model_win32.h"
#include "ui/window_painting_win32.h"

namespace zelkora::ui {
namespace {

WindowState* state_of(HWND window) {
    return reinterpret_cast<WindowState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

int px(const WindowState& state, double dips) { return static_cast<int>(dips * state.scale); }

UniqueFont make_font(const WindowState& state, int height_px, int weight) {
    return ui::make_font(ui_face(state.embedded_fonts_in_gdi), height_px, weight);
}

// Measures with the field's own font, as the field will show the text.
std::u16string wrapped_text_for_field(const WindowState& state, const std::u16string& source, int width_px) {
    const WindowDc field_dc(state.details_field);
    const HDC dc = field_dc.get();
    const GdiSelection selected(dc, state.ui_font.get());
    const TextMeasurer measure = [dc](std::u16string_view text) {
        SIZE size{};
        ::GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()),
                                &size);
        return static_cast<double>(size.cx);
    };
    return wrapped_field_text(source, width_px, state.scale, measure);
}

void copy_diagnostics(WindowState& state) {
    const bool copied = copy_text_to_clipboard(state.window, to_wide(clipboard_report(run_report(state))));
    ::SetWindowTextW(state.button(kCopyButton), copied ? L"복사됨" : L"다시 복사");
    if (state.accessible) state.accessible->announce();
    ::SetTimer(state.window, kTimerCopyFeedback, 2500, nullptr);
}

// Only the spinner and a moving bar change from one step to the next, so only
// they are repainted; a settled bar costs nothing.
void animate(WindowState& state) {
    state.spinner_phase += 0.022;
    if (state.spinner_phase >= 1.0) state.spinner_phase -= 1.0;
    const double shown_before = state.run.shown_progress;
    const double target = state.run.progress.highest_step / 6.0;
    if (std::abs(target - state.run.shown_progress) > 0.001) {
        state.run.shown_progress += (target - state.run.shown_progress) * 0.18;
    } else {
        state.run.shown_progress = target;
    }
    const ProgressCard card = progress_card(footer_top(state), compact_layout(state));
    DipBox spinner;
    if (spinner_box(card, state.run.progress.highest_step, spinner)) invalidate_box(state.window, spinner, state.scale);
    if (state.run.shown_progress != shown_before) {
        invalidate_box(state.window, progress_track_box(card, client_dips(state).width), state.scale);
    }
}

void move_child(const WindowState& state, HWND child, const DipBox& box) {
    ::MoveWindow(child, px(state, box.x), px(state, box.y), px(state, box.width), px(state, box.height), FALSE);
}

// The children's font follows the DPI; text measured with the old one is
// wrapped again.
void keep_font_for_scale(WindowState& state) {
    if (state.ui_font && state.ui_font_scale == state.scale) return;
    state.ui_font = make_font(state, static_cast<int>(std::lround(12.5 * state.scale)), FW_NORMAL);
    state.ui_font_scale = state.scale;
    state.details_wrap = {};
    for (HWND child : {state.buttons[0], state.buttons[1], state.buttons[2], state.buttons[3], state.details_field}) {
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(state.ui_font.get()), FALSE);
    }
    ::SendMessageW(state.details_field, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
}

// A hidden field keeps its old text; it is wrapped when it shows.
void wrap_details_field(WindowState& state) {
    if (!::IsWindowVisible(state.details_field)) return;
    std::u16string source = field_text(run_report(state));
    RECT client{};
    ::GetClientRect(state.details_field, &client);
    if (source == state.details_wrap.source && client.right == state.details_wrap.width_px) return;
    const std::wstring text = to_wide(wrapped_text_for_field(state, source, client.right));
    ::SetWindowTextW(state.details_field, text.c_str());
    state.details_wrap = {std::move(source), static_cast<int>(client.right)};
}

void layout(WindowState& state) {
    if (!state.button(kPrimaryButton)) return;
    keep_font_for_scale(state);
    const ChildBoxes boxes = current_child_boxes(state);
    move_child(state, state.button(kPrimaryButton), boxes.primary_button);
    move_child(state, state.button(kCancelButton), boxes.cancel_button);
    move_child(state, state.button(kCopyButton), boxes.copy_button);
    move_child(state, state.progress_bar, boxes.progress_bar);
    move_child(state, state.button(kDetailsButton), boxes.details_button);
    move_child(state, state.details_field, boxes.details_field);
    wrap_details_field(state);
    ::InvalidateRect(state.window, nullptr, TRUE);
}

const wchar_t* primary_text(const WindowState& state, bool installing) {
    if (state.is_preview()) return L"미리보기 닫기";
    switch (state.view) {
        case core::kRunInstalling: return installing && state.automatic_update ? L"업데이트 중…" : L"설치 중…";
        case core::kRunFailed: return L"다시 시도";
        case core::kRunCompleted: return L"닫기";
        default: return L"설치 시작";
    }
}

void show(HWND child, bool visible) { ::ShowWindow(child, visible ? SW_SHOW : SW_HIDE); }

// Created without a place: layout puts every child where it belongs.
void create_children(WindowState& state, HINSTANCE instance) {
    struct InitialButton {
        ControlId id;
        const wchar_t* text;
    };
    const InitialButton initial_buttons[] = {{kPrimaryButton, L"설치 시작"},
                                             {kCancelButton, L"취소"},
                                             {kCopyButton, L"진단 복사"},
                                             {kDetailsButton, L"자세히 보기  +"}};
    for (const auto& button : initial_buttons) {
        state.buttons[button.id - 1] =
            ::CreateWindowExW(0, L"BUTTON", button.text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 0, 0,
                              0, state.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(button.id)), instance,
                              nullptr);
    }
    state.progress_bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | PBS_SMOOTH, 0, 0, 0, 0, state.window,
                                           nullptr, instance, nullptr);
    ::SetWindowTheme(state.progress_bar, L"", L"");
    ::SendMessageW(state.progress_bar, PBM_SETRANGE32, 0, 6);
    ::SendMessageW(state.progress_bar, PBM_SETBARCOLOR, 0, theme::kAccent);
    ::SendMessageW(state.progress_bar, PBM_SETBKCOLOR, 0, theme::kLine);
    state.details_field = ::CreateWindowExW(
        0, L"EDIT", L"", WS_CHILD | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, 0, 0, 0, 0,
        state.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kDetailsField)), instance, nullptr);
}

void on_create(WindowState& state, HINSTANCE instance) {
    style_title_bar(state.window);
    state.accessible = std::make_unique<AccessibleWindow>(
        state.window, AccessibleSource{[&state] { return current_window_model(state); }, [&state] { return state.scale; }});
    // New children need the font and the field's text, whatever a
    // previous window made.
    state.ui_font.reset();
    state.details_wrap = {};
    for (std::size_t i = 0; i < state.tint_brushes.size(); ++i) {
        state.tint_brushes[i].reset(::CreateSolidBrush(theme::kPanelTints[i]));
    }
    create_children(state, instance);
    layout(state);
    refresh_controls(state);
    if (state.is_self_test()) ::SetTimer(state.window, kTimerSelfTestStart, 150, nullptr);
    if (preview_opens_dialog(state)) ::SetTimer(state.window, kTimerPreviewDialog, 150, nullptr);
}

void on_command(WindowState& state, WORD id, WORD notification) {
    if (id == kDetailsField) {
        if (notification == EN_VSCROLL || notification == EN_UPDATE) ::InvalidateRect(state.window, nullptr, FALSE);
        return;
    }
    switch (id) {
        case kPrimaryButton:
            if (state.view == core::kRunCompleted || state.is_preview()) {
                ::DestroyWindow(state.window);
            } else {
                start_installer(state);
            }
            break;
        case kCancelButton:
            if (state.view != core::kRunInstalling) ::DestroyWindow(state.window);
            break;
        case kCopyButton:
            if (state.showing_result()) copy_diagnostics(state);
            break;
        case kDetailsButton:
            if (state.showing_result() && more_details(state)) {
                state.run.details_expanded = !state.run.details_expanded;
                refresh_controls(state);
                ::SetFocus(state.button(kDetailsButton));
            }
            break;
        default:
            break;
    }
}

void on_timer(WindowState& state, UINT_PTR id) {
    switch (id) {
        case kTimerSelfTestStart:
            ::KillTimer(state.window, id);
            start_self_test(state);
            break;
        case kTimerSelfTestCheck:
            ::KillTimer(state.window, id);
            finish_self_test(state);
            break;
        case kTimerPreviewDialog:
            ::KillTimer(state.window, id);
            open_preview_dialog(state);
            break;
        case kTimerCopyFeedback:
            ::KillTimer(state.window, id);
            ::SetWindowTextW(state.button(kCopyButton), L"진단 복사");
            if (state.accessible) state.accessible->announce();
            break;
        case kTimerAnimation:
            animate(state);
            break;
        default:
            poll_installer_end(state);
            break;
    }
}

void on_dpi_changed(WindowState& state, WPARAM wparam, LPARAM lparam) {
    const UINT dpi = HIWORD(wparam);
    const auto* suggested = reinterpret_cast<const RECT*>(lparam);
    if (!suggested || dpi < 48) return;
    state.scale = dpi / 96.0;
    ::SetWindowPos(state.window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    layout(state);
}

LRESULT on_mouse_wheel(WindowState& state, HWND window, WPARAM wparam, LPARAM lparam) {
    if (!state.details_field || !::IsWindowVisible(state.details_field)) {
        return ::DefWindowProcW(window, WM_MOUSEWHEEL, wparam, lparam);
    }
    const int lines = GET_WHEEL_DELTA_WPARAM(wparam) / -40;
    ::SendMessageW(state.details_field, EM_LINESCROLL, 0, lines);
    ::InvalidateRect(window, nullptr, FALSE);
    return 0;
}

// Button 1, or the first enabled tab stop when button 1 cannot take the
// keyboard; while installing nothing can, and the window keeps it.
void focus_first_control(const WindowState& state) {
    HWND target = state.button(kPrimaryButton);
    if (!target || !::IsWindowEnabled(target) || !::IsWindowVisible(target)) {
        target = ::GetNextDlgTabItem(state.window, nullptr, FALSE);
    }
    if (target && ::IsChild(state.window, target) && ::IsWindowEnabled(target) && ::IsWindowVisible(target)) {
        ::SetFocus(target);
    }
}

// Disabling or hiding the control that has the focus leaves the keyboard
// typing into nothing, so the active window gives it to its first control.
void keep_keyboard_focus(const WindowState& state) {
    if (::GetActiveWindow() != state.window) return;
    const HWND focus = ::GetFocus();
    const bool usable = focus && focus != state.window && ::IsChild(state.window, focus) &&
                        ::IsWindowEnabled(focus) && ::IsWindowVisible(focus);
    if (!usable) focus_first_control(state);
}

// A multi-line field takes Tab for itself and asks its parent for the next
// control instead; lParam says whether wParam is that control or a direction.
void on_next_control(const WindowState& state, WPARAM wparam, LPARAM lparam) {
    const HWND target = LOWORD(lparam) ? reinterpret_cast<HWND>(wparam)
                                       : ::GetNextDlgTabItem(state.window, ::GetFocus(), wparam != 0);
    if (target && ::IsChild(state.window, target)) ::SetFocus(target);
}

void on_close(WindowState& state) {
    if (state.installing()) {
        inform_installation_in_progress(state.window, state.embedded_fonts_in_gdi);
        return;
    }
    ::DestroyWindow(state.window);
}

LRESULT handle_message(WindowState& state, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE:
            on_create(state, reinterpret_cast<CREATESTRUCTW*>(lparam)->hInstance);
            return 0;
        case WM_SIZE:
            layout(state);
            return 0;
        case WM_SETFOCUS:
            focus_first_control(state);
            return 0;
        case WM_NEXTDLGCTL:
            on_next_control(state, wparam, lparam);
            return 0;
        case WM_PAINT:
            paint_window(state);
            warm_up_text_after_paint(window);
            return 0;
        case kMessageWarmUpText:
            warm_up_text(window);
            return 0;
        case WM_PRINTCLIENT:
            // A print asks for the finished picture, not a quick first frame.
            text_engine().warm_up_direct2d();
            paint_view(state, reinterpret_cast<HDC>(wparam));
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_DRAWITEM:
            return draw_button(state, reinterpret_cast<const DRAWITEMSTRUCT*>(lparam)) ? 1 : 0;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lparam) == state.details_field) {
                return field_colours(state, reinterpret_cast<HDC>(wparam));
            }
            return ::DefWindowProcW(window, message, wparam, lparam);
        case WM_MOUSEWHEEL:
            return on_mouse_wheel(state, window, wparam, lparam);
        case WM_DPICHANGED:
            on_dpi_changed(state, wparam, lparam);
            return 0;
        case WM_COMMAND:
            on_command(state, LOWORD(wparam), HIWORD(wparam));
            return 0;
        case WM_TIMER:
            on_timer(state, wparam);
            return 0;
        case core::kMessageProgressLine:
            apply_posted_line(state, reinterpret_cast<core::PostedLine*>(lparam));
            return 0;
        case kMessageUnusedLine:
            delete reinterpret_cast<core::PostedLine*>(lparam);
            return 0;
        case kMessageStartInstaller:
            if (state.automatic_update) start_installer(state);
            return 0;
        case WM_CLOSE:
            on_close(state);
            return 0;
        case WM_GETOBJECT:
            if (state.accessible) return state.accessible->answer(wparam, lparam);
            return ::DefWindowProcW(window, message, wparam, lparam);
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
            // High contrast may have come or gone; the next paint reads it.
            ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
            return 0;
        case WM_DESTROY:
            state.accessible.reset();
            settle_owed_handoff(state);
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wparam, lparam);
    }
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* state = static_cast<WindowState*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        state->window = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    WindowState* state = state_of(window);
    if (!state) return ::DefWindowProcW(window, message, wparam, lparam);
    return handle_message(*state, window, message, wparam, lparam);
}

}  // namespace

RECT setup_window_frame(UINT dpi) {
    RECT frame{0, 0, static_cast<LONG>(kClientWidth * dpi / 96), static_cast<LONG>(kClientHeight * dpi / 96)};
    ::AdjustWindowRectExForDpi(&frame, kSetupWindowStyle & ~WS_CLIPCHILDREN, FALSE, 0, dpi);
    ::OffsetRect(&frame, -frame.left, -frame.top);
    return frame;
}

void refresh_controls(WindowState& state) {
    if (!state.button(kPrimaryButton)) return;
    const bool installing = state.installing();
    const bool details_available = more_details(state);
    ::EnableWindow(state.button(kPrimaryButton), !installing);
    ::EnableWindow(state.button(kCancelButton), !installing);
    ::SetWindowTextW(state.button(kPrimaryButton), primary_text(state, installing));
    ::SetWindowTextW(state.button(kCancelButton), state.view == core::kRunReady ? L"취소" : L"닫기");
    show(state.button(kCancelButton), state.view != core::kRunCompleted && !state.is_preview());
    show(state.button(kCopyButton),
         state.view == core::kRunFailed || (state.view == core::kRunCompleted && !current_notes(state).empty()));
    ::EnableWindow(state.button(kCopyButton), !installing);
    show(state.button(kDetailsButton), state.showing_result() && details_available);
    ::SetWindowTextW(state.button(kDetailsButton), state.run.details_expanded ? L"접기  −" : L"자세히 보기  +");
    ::SendMessageW(state.progress_bar, PBM_SETPOS, static_cast<WPARAM>(state.run.progress.highest_step), 0);
    if (state.view == core::kRunInstalling) {
        ::SetTimer(state.window, kTimerAnimation, 33, nullptr);
    } else {
        ::KillTimer(state.window, kTimerAnimation);
    }
    show(state.details_field, details_available && state.run.details_expanded);
    layout(state);
    keep_keyboard_focus(state);
    if (state.accessible) state.accessible->announce();
}

// Centred over the splash's work area (or the primary screen), never above or
// left of its top-left corner.
void place_over_splash_area(const WindowState& state) {
    ScreenBox area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (state.splash && state.splash->window()) area = state.splash->work_area();
    RECT frame{};
    ::GetWindowRect(state.window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = std::max(area.left + (area.width() - width) / 2, area.left);
    const int top = std::max(area.top + (area.height() - height) / 2, area.top);
    ::SetWindowPos(state.window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void show_full_window(WindowState& state, core::RunState view) {
    state.seamless_update = false;
    state.full_window_shown = true;
    state.view = view;
    refresh_controls(state);
    place_over_splash_area(state);
    if (state.splash) state.splash->destroy();
    ::ShowWindow(state.window, SW_SHOW);
    ::SetForegroundWindow(state.window);
    const HWND primary = state.button(kPrimaryButton);
    if (primary && ::IsWindowEnabled(primary)) ::SetFocus(primary);
}

bool confirm_install(WindowState& state) {
    InstallConfirmationOptions options;
    options.preview = state.is_preview();
    options.embedded_fonts_in_gdi = state.embedded_fonts_in_gdi;
    return confirm_install(state.window, options, state.install_confirmations);
}

bool register_setup_window_class(HINSTANCE instance) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_ICON));
    window_class.lpszClassName = kSetupWindowClass;
    return ::RegisterClassW(&window_class) != 0;
}

HWND create_setup_window(WindowState& state, HINSTANCE instance, std::wstring_view title) {
    // The window is created at the system DPI; WM_DPICHANGED follows a move.
    const RECT frame = setup_window_frame(::GetDpiForSystem());
    const std::wstring title_text(title);
    return ::CreateWindowExW(0, kSetupWindowClass, title_text.c_str(), kSetupWindowStyle, CW_USEDEFAULT,
                             CW_USEDEFAULT, frame.right, frame.bottom, nullptr, nullptr, instance, &state);
}

}  // namespace zelkora::ui
