#include "ui/dialog_window_win32.h"

#include <cmath>

#include "core/owners_win32.h"
#include "resources/resource_ids.h"
#include "ui/accessible_win32.h"
#include "ui/title_bar_win32.h"
#include "ui/dialog_keys_win32.h"
#include "ui/dialog_painting_win32.h"
#include "ui/fonts_win32.h"
#include "ui/gdi_scopes_win32.h"
#include "ui/text_engine_win32.h"

namespace zelkora::ui {
namespace {

constexpr DWORD kDialogStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME;

struct DialogSession {
    DialogSession(const DialogRequest& request, bool embedded_fonts_in_gdi)
        : request(request), layout(measure_dialog(request, warm_text_engine())),
          embedded_fonts_in_gdi(embedded_fonts_in_gdi) {}

    const DialogRequest& request;
    DialogLayout layout;  // sizes the window and places every paint
    bool embedded_fonts_in_gdi = false;
    HWND window = nullptr;
    HWND primary = nullptr;
    HWND cancel = nullptr;
    UniqueFont button_font;
    double scale = 1.0;
    bool owner_was_enabled = false;
    bool running = true;
    bool accepted = false;
    std::unique_ptr<AccessibleWindow> accessible;

    int default_id() const {
        return request.cancel_is_default || request.information_only ? kCancelButton : kPrimaryButton;
    }
    const wchar_t* face() const { return ui_face(embedded_fonts_in_gdi); }
};

DialogSession* session_of(HWND window) {
    return reinterpret_cast<DialogSession*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

int pixels(double dips, double scale) { return static_cast<int>(dips * scale); }

void paint_into(const DialogSession& session, HDC dc) {
    RECT client{};
    ::GetClientRect(session.window, &client);
    paint_dialog(session.request, session.layout, dc, client, session.scale);
}

void paint_window(const DialogSession& session) {
    const PaintCycle cycle(session.window);
    if (cycle.dc()) paint_into(session, cycle.dc());
}

void place(HWND control, double x, double y, double width, double height, double scale) {
    ::SetWindowPos(control, nullptr, pixels(x, scale), pixels(y, scale), pixels(width, scale),
                   pixels(height, scale), SWP_NOZORDER | SWP_NOACTIVATE);
}

void lay_out(DialogSession& session) {
    if (!session.primary || !session.cancel) return;
    const double scale = session.scale;

    UniqueFont font = make_font(session.face(), static_cast<int>(13 * scale), 600);
    ::SendMessageW(session.primary, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    ::SendMessageW(session.cancel, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    session.button_font = std::move(font);

    RECT client{};
    ::GetClientRect(session.window, &client);
    const int width = static_cast<int>(client.right / scale);
    const int height = static_cast<int>(client.bottom / scale);
    const int row_y = height < 63 ? 0 : height - 62;
    const bool room = width - 28 > 170;
    const int cancel_x = room ? width - 294 : 0;
    const int primary_x = room ? width - 198 : 0;

    if (session.request.information_only) {
        ::ShowWindow(session.primary, SW_HIDE);
        ::SetWindowTextW(session.cancel, L"확인");
        place(session.cancel, primary_x, row_y, 170, 38, scale);
    } else {
        place(session.cancel, cancel_x, row_y, 84, 38, scale);
        place(session.primary, primary_x, row_y, 170, 38, scale);
    }
    ::InvalidateRect(session.window, nullptr, FALSE);
}

// The owner is enabled while the dialog is still the active window: Windows
// then hands the activation back to the owner when the dialog goes, instead
// of to whichever window of another program comes next.
void close_dialog(const DialogSession& session) {
    if (session.owner_was_enabled) ::EnableWindow(session.request.owner, TRUE);
    ::DestroyWindow(session.window);
}

HWND create_button(HWND parent, const wchar_t* text, int id) {
    return ::CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, 0, 0, 0,
                             parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             ::GetModuleHandleW(nullptr), nullptr);
}

// What the dialog shows now, with its buttons from left to right.
DisplayModel dialog_model_now(const DialogSession& session) {
    RECT client{};
    ::GetClientRect(session.window, &client);
    return dialog_display_model(session.request, session.layout, static_cast<int>(client.right / session.scale),
                                visible_buttons(session.window, {kCancelButton, kPrimaryButton}, session.scale));
}

// A dialog without both buttons could not be answered except by closing it,
// so creation fails instead.
LRESULT on_create(DialogSession& session) {
    session.cancel = create_button(session.window, L"취소", kCancelButton);
    session.primary = create_button(session.window, session.request.primary_label.c_str(), kPrimaryButton);
    if (!session.cancel || !session.primary) return -1;
    lay_out(session);
    session.accessible = std::make_unique<AccessibleWindow>(
        session.window, AccessibleSource{[&session] { return dialog_model_now(session); },
                                         [&session] { return session.scale; }});
    return 0;
}

LRESULT on_dpi_changed(DialogSession& session, WPARAM wparam, LPARAM lparam) {
    const UINT dpi = HIWORD(wparam);
    if (!lparam || dpi < 48) return 0;
    session.scale = dpi / 96.0;
    const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
    ::SetWindowPos(session.window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    lay_out(session);
    return 0;
}

LRESULT handle(DialogSession& session, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE:
            return on_create(session);
        case WM_SIZE:
            lay_out(session);
            return 0;
        case WM_PAINT:
            paint_window(session);
            return 0;
        case WM_PRINTCLIENT:
            paint_into(session, reinterpret_cast<HDC>(wparam));
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_DRAWITEM:
            draw_dialog_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam), session.scale);
            return 1;
        case WM_COMMAND:
            if (LOWORD(wparam) == kPrimaryButton || LOWORD(wparam) == kCancelButton) {
                session.accepted = LOWORD(wparam) == kPrimaryButton;
                close_dialog(session);
            }
            return 0;
        case WM_CLOSE:
            close_dialog(session);
            return 0;
        case WM_GETOBJECT:
            if (session.accessible) return session.accessible->answer(wparam, lparam);
            return ::DefWindowProcW(session.window, message, wparam, lparam);
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
            ::RedrawWindow(session.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
            return 0;
        case WM_DESTROY:
            session.accessible.reset();
            session.running = false;
            return 0;
        case DM_GETDEFID:
            return MAKELRESULT(session.default_id(), DC_HASDEFID);
        case WM_DPICHANGED:
            return on_dpi_changed(session, wparam, lparam);
        default:
            return ::DefWindowProcW(session.window, message, wparam, lparam);
    }
}

LRESULT CALLBACK dialog_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* session = static_cast<DialogSession*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        session->window = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(session));
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    DialogSession* session = session_of(window);
    if (message == WM_NCDESTROY) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (!session) return ::DefWindowProcW(window, message, wparam, lparam);
    return handle(*session, message, wparam, lparam);
}

void register_dialog_class() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = dialog_procedure;
    window_class.hInstance = instance;
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_ICON));
    window_class.lpszClassName = kConfirmationWindowClass;
    ::RegisterClassW(&window_class);  // already registered by an earlier dialog: fine
}

double scale_for(HWND owner) {
    UINT dpi = owner ? ::GetDpiForWindow(owner) : 0;
    if (dpi == 0) dpi = ::GetDpiForSystem();
    return dpi / 96.0;
}

RECT window_rect_for(const DialogSession& session, HWND owner) {
    const double scale = session.scale;
    RECT frame{0, 0, static_cast<LONG>(kDialogMeasureWidth * scale),
               static_cast<LONG>(std::ceil(session.layout.height) * scale)};
    ::AdjustWindowRectExForDpi(&frame, kDialogStyle, FALSE, kDialogExStyle, static_cast<UINT>(scale * 96));
    const LONG width = frame.right - frame.left;
    const LONG height = frame.bottom - frame.top;

    RECT around{};
    if (!owner || !::GetWindowRect(owner, &around)) {
        around = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    const LONG left = around.left + (around.right - around.left - width) / 2;
    const LONG top = around.top + (around.bottom - around.top - height) / 2;
    return RECT{left, top, left + width, top + height};
}

void run_modal_loop(const DialogSession& session) {
    MSG message{};
    while (session.running) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            // The outer loop must end too.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (got == -1) return;
        if (translate_dialog_key(session.window, message)) continue;
        if (::IsDialogMessageW(session.window, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// The owner's WM_SETFOCUS chooses which of its controls takes the keyboard.
void return_focus_to(HWND owner) {
    ::SetActiveWindow(owner);
    const HWND focus = ::GetFocus();
    if (::GetActiveWindow() == owner && focus != owner && !::IsChild(owner, focus)) ::SetFocus(owner);
}

}  // namespace

bool run_dialog(const DialogRequest& request, bool embedded_fonts_in_gdi) {
    DialogSession session(request, embedded_fonts_in_gdi);
    session.scale = scale_for(request.owner);
    register_dialog_class();

    const RECT placement = window_rect_for(session, request.owner);
    const HWND window = ::CreateWindowExW(kDialogExStyle, kConfirmationWindowClass, request.title.c_str(),
                                          kDialogStyle, placement.left, placement.top,
                                          placement.right - placement.left, placement.bottom - placement.top,
                                          request.owner, nullptr, ::GetModuleHandleW(nullptr), &session);
    if (!window) return false;

    session.owner_was_enabled = request.owner && ::IsWindowEnabled(request.owner);
    if (request.owner) ::EnableWindow(request.owner, FALSE);
    style_title_bar(window);
    ::ShowWindow(window, SW_SHOW);
    ::SetFocus(session.default_id() == kCancelButton ? session.cancel : session.primary);

    run_modal_loop(session);

    if (session.running) close_dialog(session);
    if (request.owner) return_focus_to(request.owner);
    return session.accepted;
}

}  // namespace zelkora::ui
