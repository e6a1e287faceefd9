// ui-driver: acts on the setup's windows from outside, as a user would.
//   ui-driver wait CLASS [MS]               waits for a visible window of that class
//                                           and prints "left top width height"
//   ui-driver press CLASS ID                presses the button with that control id
//   ui-driver wait-text CLASS ID TEXT [MS]  waits until that control reads TEXT
//   ui-driver wait-title CLASS TITLE [MS]   waits for a visible window of that class
//                                           and title, and prints its rectangle as wait does
//   ui-driver close CLASS                   asks that window to close (WM_CLOSE)
//   ui-driver keys CLASS KEY...             types keys as a person does: that window's
//                                           thread comes to the front and each key goes
//                                           to whatever has the focus there; KEY is
//                                           enter, escape, tab or shift+tab
//   ui-driver focus CLASS                   prints the control id that has the focus in
//                                           that window's thread (0: none)
//   ui-driver wait-progress CLASS POS [MS]  waits until that window's progress bar (shown
//                                           or hidden) stands at POS
// Exit code 0 on success, 1 when the window or text did not appear in time,
// 2 for a usage error.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kDefaultWaitMs = 15000;

HWND wait_for_visible(const wchar_t* window_class, DWORD limit_ms, const wchar_t* title = nullptr) {
    const ULONGLONG deadline = ::GetTickCount64() + limit_ms;
    for (;;) {
        HWND window = ::FindWindowExW(nullptr, nullptr, window_class, title);
        while (window && !::IsWindowVisible(window)) window = ::FindWindowExW(nullptr, window, window_class, title);
        if (window) return window;
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

int wait_command(const wchar_t* window_class, DWORD limit_ms, const wchar_t* title = nullptr) {
    HWND window = wait_for_visible(window_class, limit_ms, title);
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

int wait_progress_command(const wchar_t* window_class, int position, DWORD limit_ms) {
    const ULONGLONG deadline = ::GetTickCount64() + limit_ms;
    do {
        HWND window = ::FindWindowW(window_class, nullptr);
        HWND bar = window ? ::FindWindowExW(window, nullptr, PROGRESS_CLASSW, nullptr) : nullptr;
        if (bar && ::SendMessageW(bar, PBM_GETPOS, 0, 0) == position) return 0;
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

GUITHREADINFO gui_thread_info(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
    return info;
}

bool key_for(const std::wstring& name, WORD& key, bool& shift) {
    shift = name == L"shift+tab";
    if (name == L"enter") key = VK_RETURN;
    else if (name == L"escape") key = VK_ESCAPE;
    else if (name == L"tab" || shift) key = VK_TAB;
    else return false;
    return true;
}

void add_key(std::vector<INPUT>& inputs, WORD key, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
}

int keys_command(const wchar_t* window_class, int count, wchar_t** names) {
    std::vector<INPUT> inputs;
    for (int i = 0; i < count; ++i) {
        WORD key = 0;
        bool shift = false;
        if (!key_for(names[i], key, shift)) return 2;
        if (shift) add_key(inputs, VK_SHIFT, false);
        add_key(inputs, key, false);
        add_key(inputs, key, true);
        if (shift) add_key(inputs, VK_SHIFT, true);
    }
    HWND window = ::FindWindowW(window_class, nullptr);
    if (!window) return 1;
    // The window's thread may show a dialog above it; the keys go there.
    const HWND active = gui_thread_info(window).hwndActive;
    ::SetForegroundWindow(active ? active : window);
    const UINT sent = ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return sent == inputs.size() ? 0 : 1;
}

int focus_command(const wchar_t* window_class) {
    HWND window = ::FindWindowW(window_class, nullptr);
    if (!window) return 1;
    const HWND focus = gui_thread_info(window).hwndFocus;
    std::printf("%d\n", focus && ::GetParent(focus) ? ::GetDlgCtrlID(focus) : 0);
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
    if (command == L"wait-title" && argc >= 4) return wait_command(argv[2], wait_limit(argc, argv, 4), argv[3]);
    if (command == L"wait-progress" && argc >= 4) {
        return wait_progress_command(argv[2], std::wcstol(argv[3], nullptr, 10), wait_limit(argc, argv, 4));
    }
    if (command == L"close" && argc == 3) return close_command(argv[2]);
    if (command == L"keys" && argc >= 4) {
        const int result = keys_command(argv[2], argc - 3, argv + 3);
        if (result != 2) return result;
    }
    if (command == L"focus" && argc == 3) return focus_command(argv[2]);
    std::fputs("usage: ui-driver wait CLASS [MS] | press CLASS ID | wait-text CLASS ID TEXT [MS]\n"
               "       | wait-title CLASS TITLE [MS] | close CLASS\n"
               "       | keys CLASS enter|escape|tab|shift+tab... | focus CLASS\n"
               "       | wait-progress CLASS POS [MS]\n",
               stderr);
    return 2;
}
