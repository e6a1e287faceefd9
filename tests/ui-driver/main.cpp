// ui-driver: acts on the setup's windows from outside, as a user would.
//   ui-driver wait CLASS [MILLISECONDS]   waits for a visible window of that class
//                                         and prints "left top width height"
//   ui-driver close CLASS                 asks that window to close (WM_CLOSE)
// Exit code 0 on success, 1 when no such window appeared, 2 for a usage error.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

HWND wait_for_visible(const wchar_t* window_class, DWORD limit_ms) {
    const ULONGLONG deadline = ::GetTickCount64() + limit_ms;
    for (;;) {
        HWND window = ::FindWindowW(window_class, nullptr);
        if (window && ::IsWindowVisible(window)) return window;
        if (::GetTickCount64() >= deadline) return nullptr;
        ::Sleep(50);
    }
}

int wait_command(const wchar_t* window_class, DWORD limit_ms) {
    HWND window = wait_for_visible(window_class, limit_ms);
    if (!window) return 1;
    ::UpdateWindow(window);
    RECT box{};
    ::GetWindowRect(window, &box);
    std::printf("%ld %ld %ld %ld\n", box.left, box.top, box.right - box.left, box.bottom - box.top);
    return 0;
}

int close_command(const wchar_t* window_class) {
    HWND window = ::FindWindowW(window_class, nullptr);
    if (!window) return 1;
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wcscmp(argv[1], L"wait") == 0) {
        const DWORD limit = argc >= 4 ? static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)) : 15000;
        return wait_command(argv[2], limit);
    }
    if (argc == 3 && std::wcscmp(argv[1], L"close") == 0) return close_command(argv[2]);
    std::fputs("usage: ui-driver wait CLASS [MILLISECONDS] | ui-driver close CLASS\n", stderr);
    return 2;
}
