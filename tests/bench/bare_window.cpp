// The floor of the first-paint benchmark: the least a GDI window program does
// before its first picture (register a class, create and show a window, draw
// a line of text in WM_PAINT). Writes the milliseconds from process start to
// the end of that first WM_PAINT to standard output and exits.
#include <windows.h>

#include <cstdio>

#include "process_clock.h"

namespace {

double first_paint_ms = 0;

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != WM_PAINT) return ::DefWindowProcW(window, message, wparam, lparam);
    PAINTSTRUCT paint{};
    const HDC dc = ::BeginPaint(window, &paint);
    ::TextOutW(dc, 10, 10, L"Zelkora", 7);
    ::EndPaint(window, &paint);
    if (first_paint_ms == 0) first_paint_ms = milliseconds_since_process_start();
    return 0;
}

}  // namespace

int wmain() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = instance;
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = L"ZelkoraBareWindow";
    if (!::RegisterClassW(&window_class)) return 1;
    const HWND window = ::CreateWindowExW(0, window_class.lpszClassName, L"Zelkora", WS_OVERLAPPEDWINDOW,
                                          CW_USEDEFAULT, CW_USEDEFAULT, 576, 509, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ::ShowWindow(window, SW_SHOW);
    ::UpdateWindow(window);
    ::DestroyWindow(window);
    std::printf("%.1f\n", first_paint_ms);
    return first_paint_ms > 0 ? 0 : 1;
}
