#include "ui/setup_window.h"

#include <cmath>

#include "resources/resource_ids.h"

namespace zelkora::ui {
namespace {

constexpr COLORREF kBackground = RGB(0x14, 0x1C, 0x21);
constexpr COLORREF kAmber = RGB(0xF5, 0xA6, 0x23);
constexpr COLORREF kText = RGB(0xE8, 0xEC, 0xEE);
constexpr COLORREF kTintRed = RGB(0x2A, 0x16, 0x18);
constexpr COLORREF kTintAmber = RGB(0x28, 0x21, 0x14);
constexpr COLORREF kTintGreen = RGB(0x13, 0x26, 0x20);

WindowState* state_of(HWND window) {
    return reinterpret_cast<WindowState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

const wchar_t* ui_face(const WindowState& state) {
    return state.embedded_fonts_in_gdi ? L"Pretendard" : L"Malgun Gothic";
}

UniqueGdiObject make_font(const WindowState& state, double height_dips, int weight) {
    return UniqueGdiObject(::CreateFontW(-static_cast<int>(height_dips * state.scale), 0, 0, 0, weight,
                                         FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                         CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH,
                                         ui_face(state)));
}

void on_create(WindowState& state) {
    state.ui_font = make_font(state, 13, FW_NORMAL);
    state.tint_brushes[0].reset(::CreateSolidBrush(kTintRed));
    state.tint_brushes[1].reset(::CreateSolidBrush(kTintAmber));
    state.tint_brushes[2].reset(::CreateSolidBrush(kTintGreen));
}

void draw_line(HDC dc, const WindowState& state, const wchar_t* text, int top_dips, double size_dips,
               int weight, COLORREF colour) {
    const UniqueGdiObject font = make_font(state, size_dips, weight);
    const HGDIOBJ previous = ::SelectObject(dc, font.get());
    ::SetTextColor(dc, colour);
    RECT box{static_cast<LONG>(28 * state.scale), static_cast<LONG>(top_dips * state.scale),
             static_cast<LONG>((kClientWidth - 28) * state.scale),
             static_cast<LONG>((top_dips + 2 * size_dips) * state.scale)};
    ::DrawTextW(dc, text, -1, &box, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc, previous);
}

// A plain face until the full rendering exists: the title and the ready text.
void paint(WindowState& state) {
    PAINTSTRUCT paint_info{};
    HDC dc = ::BeginPaint(state.window, &paint_info);
    RECT client{};
    ::GetClientRect(state.window, &client);
    const UniqueGdiObject background(::CreateSolidBrush(kBackground));
    ::FillRect(dc, &client, static_cast<HBRUSH>(background.get()));
    ::SetBkMode(dc, TRANSPARENT);
    wchar_t title[128] = {};
    ::GetWindowTextW(state.window, title, 128);
    draw_line(dc, state, title, 40, 22, FW_BOLD, kAmber);
    draw_line(dc, state, L"설치를 시작할 준비가 되었어요.", 84, 14, FW_NORMAL, kText);
    ::EndPaint(state.window, &paint_info);
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        auto* state = static_cast<WindowState*>(create->lpCreateParams);
        state->window = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    WindowState* state = state_of(window);
    if (!state) return ::DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
        case WM_CREATE:
            on_create(*state);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            paint(*state);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wparam, lparam);
    }
}

SIZE window_size_for_system_dpi(double scale) {
    const UINT dpi = ::GetDpiForSystem();
    RECT frame{0, 0, static_cast<LONG>(kClientWidth * scale), static_cast<LONG>(kClientHeight * scale)};
    ::AdjustWindowRectExForDpi(&frame, kSetupWindowStyle & ~WS_CLIPCHILDREN, FALSE, 0, dpi);
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

}  // namespace

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
    const SIZE size = window_size_for_system_dpi(state.scale);
    const std::wstring title_text(title);
    return ::CreateWindowExW(0, kSetupWindowClass, title_text.c_str(), kSetupWindowStyle, CW_USEDEFAULT,
                             CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr, instance, &state);
}

}  // namespace zelkora::ui
