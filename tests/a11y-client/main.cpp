// a11y-client: reads a window as a screen reader does, from another process.
//
//   a11y-client tree CLASS [SECONDS]          the accessible tree of the first
//                                             window of CLASS, waiting for it
//   a11y-client events PID CLASS SECONDS      the announcements heard from
//                                             windows of CLASS in process PID
//
// One line per node or event, UTF-8. Exit code 0, or 1 when no window or no
// accessible object was found, 2 for a bad command line.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "accessible_walk.h"

namespace {

void print(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

HWND find_window(const wchar_t* window_class, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        const HWND window = ::FindWindowW(window_class, nullptr);
        if ((window && ::IsWindowVisible(window)) || std::chrono::steady_clock::now() >= end) return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

int usage() {
    print(L"usage: a11y-client tree CLASS [SECONDS] | a11y-client events PID CLASS SECONDS");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return usage();
    const std::wstring command = argv[1];
    if (command == L"tree") {
        const HWND window = find_window(argv[2], argc > 3 ? _wtoi(argv[3]) : 0);
        if (!window) return 1;
        const auto lines = zelkora::a11y::accessible_tree(window);
        for (const auto& line : lines) print(line);
        return lines.empty() ? 1 : 0;
    }
    if (command == L"events" && argc == 5) {
        const zelkora::a11y::EventListener listener(static_cast<DWORD>(_wtoi(argv[2])), argv[3]);
        if (!listener.hooked()) return 1;
        listener.pump(static_cast<DWORD>(_wtoi(argv[4])) * 1000);
        for (const auto& line : listener.heard()) print(line);
        return 0;
    }
    return usage();
}
