// ui-driver: acts on the setup's windows from outside, as a user would.
//   ui-driver wait CLASS [MS]               waits for a visible window of that class
//                                           and prints "left top width height"
//   ui-driver press CLASS ID                presses the button with that control id
//   ui-driver wait-text CLASS ID TEXT [MS]  waits until that control reads TEXT
//   ui-driver close CLASS                   asks that window to close (WM_CLOSE)
// Exit code 0 on success, 1 when the window or text did not appear in time,
// 2 for a usage error.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr DWORD kDefaultWaitMs = 15000;

HWND wait_for_visible(const wchar_t* window_class, DWORD limit_ms) {
    const ULONGLONG deadline = ::GetTickCount64() + limit_ms;
    for (;;) {
        HWND window = ::FindWindowW(window_class, nullptr);
        if (window && ::IsWindowVisible(window)) return window;
        if (::GetTickCount64() >= deadline) return nullptr;
        ::Sleep(50);
    }
}

std::wstring control_text(HWND control) {
    wchar_t text[256] = {};
    ::GetWindowTextW(control, text, 256);
    return text;
}

DWORD wait_limit(int argc, wchar_t** argv, int index) {
    return argc > index ? static_cast<DWORD>(std::wcstoul(argv[index], nullptr, 10)) : kDefaultWaitMs;
}

int wait_command(const wchar_t* window_class, DWORD limit_ms) {
    HWND window = wait_for_visible(window_class, limit_ms);
    if (!window) return 1;
    RECT box{};
    ::GetWindowRect(window, &box);
    std::printf("%ld %ld %ld %ld\n", box.left, box.top, box.right - box.left, box.bottom - box.top);
    return 0;
}

int press_command(const wchar_t* window_class, int id) {
    HWND window = ::FindWindowW(window_class, nullptr);
    if (!window) return 1;
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(window, id)));
    return 0;
}

int wait_text_command(const wchar_t* window_class, int id, const wchar_t* text, DWORD limit_ms) {
    const ULONGLONG deadline = ::GetTickCount64() + limit_ms;
    do {
        HWND window = ::FindWindowW(window_class, nullptr);
        if (window && control_text(::GetDlgItem(window, id)) == text) return 0;
        ::Sleep(50);
    } while (::GetTickCount64() < deadline);
    return 1;
}

int close_command(const wchar_t* window_class) {
    HWND window = ::FindWindowW(window_class, nullptr);
    if (!window) return 1;
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc >= 3 ? argv[1] : L"";
    if (command == L"wait") return wait_command(argv[2], wait_limit(argc, argv, 3));
    if (command == L"press" && argc == 4) return press_command(argv[2], std::wcstol(argv[3], nullptr, 10));
    if (command == L"wait-text" && argc >= 5) {
        return wait_text_command(argv[2], std::wcstol(argv[3], nullptr, 10), argv[4], wait_limit(argc, argv, 5));
    }
    if (command == L"close" && argc == 3) return close_command(argv[2]);
    std::fputs("usage: ui-driver wait CLASS [MS] | press CLASS ID | wait-text CLASS ID TEXT [MS] | close CLASS\n",
               stderr);
    return 2;
}
