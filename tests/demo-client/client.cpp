// Zelkora.exe, the demo Client: a test and demo program that plays the
// running Client's side of an update against the setup. Never shipped with
// the setup. It shows a window titled with its version; on request (the
// button, or --request-update on the command line) it leaves the hand-off
// record, stages the update bootstrap that starts the setup, waits for the
// setup's answer, and closes once the setup says it may ("ready").
//
//   Zelkora.exe [--dark] [--setup SETUP] [--request-update SETUP] [--log FILE]
//
// --setup arms the window's button, --request-update asks at once, --dark
// marks the record (and the window) dark. The log gets one line per event:
//   requested token=TOKEN staged=PATH     the record is written, the setup started
//   answer outcome=O code=C stage=N       the event was set; C is "-" when empty.
//                                         "ready" and "completed" close the Client
//   no-answer setup-ended exit=N          the setup ended without setting the event
//   no-answer timeout                     no answer within 15 minutes
//   request-failed STEP error=N           nothing was started (exit code 1 when
//                                         the request came from the command line)
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "update_request.h"

namespace {

using namespace zelkora;
using namespace zelkora::demo;

constexpr wchar_t kWindowClass[] = L"ZelkoraDemoClient";
constexpr wchar_t kVersion[] = ZELKORA_DEMO_VERSION;
constexpr int kUpdateButton = 1;
constexpr int kStatusText = 2;
constexpr UINT kRequestUpdate = WM_APP + 1;
// Generous: an installation may take minutes before the setup says "ready".
constexpr ULONGLONG kAnswerWaitMs = 15 * 60 * 1000;

struct Options {
    std::wstring setup;
    std::wstring log;
    bool request_at_start = false;
    bool dark = false;
};

struct Client {
    Options options;
    HWND window = nullptr;
    UniqueBrush background;
    std::optional<PendingUpdate> pending;
    ULONGLONG deadline = 0;
    int exit_code = 0;
};

Client* the_client = nullptr;

Options parse_options() {
    Options options;
    int count = 0;
    const UniqueLocalMemory memory(::CommandLineToArgvW(::GetCommandLineW(), &count));
    const auto arguments = static_cast<wchar_t**>(memory.get());
    for (int i = 1; arguments && i < count; ++i) {
        const std::wstring argument = arguments[i];
        const bool has_value = i + 1 < count;
        if (argument == L"--dark") {
            options.dark = true;
        } else if ((argument == L"--setup" || argument == L"--request-update") && has_value) {
            options.setup = arguments[++i];
            options.request_at_start = options.request_at_start || argument == L"--request-update";
        } else if (argument == L"--log" && has_value) {
            options.log = arguments[++i];
        }
        // Anything else is ignored, as the Client ignores what it does not know.
    }
    return options;
}

void log_line(const Client& client, const std::wstring& line) {
    if (client.options.log.empty()) return;
    const std::wstring text = line + L"\n";
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
    UniqueFile file(::CreateFileW(client.options.log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void show_status(const Client& client, const std::wstring& text) {
    ::SetDlgItemTextW(client.window, kStatusText, text.c_str());
}

WindowPosition window_position(HWND window) {
    WindowPosition position;
    ::GetWindowRect(window, &position.bounds);
    position.placement.length = sizeof(position.placement);
    ::GetWindowPlacement(window, &position.placement);
    return position;
}

void request(Client& client) {
    if (client.pending || client.options.setup.empty()) return;
    std::wstring failed_step;
    client.pending = request_update(kVersion, client.options.setup, window_position(client.window),
                                    client.options.dark, failed_step);
    if (!client.pending) {
        const DWORD error = ::GetLastError();
        log_line(client, L"request-failed " + failed_step + L" error=" + std::to_wstring(error));
        show_status(client, L"업데이트를 시작하지 못했어요 (" + failed_step + L")");
        // Driven from the command line nobody is there to read the window.
        if (client.options.request_at_start) {
            client.exit_code = 1;
            ::DestroyWindow(client.window);
        }
        return;
    }
    client.deadline = ::GetTickCount64() + kAnswerWaitMs;
    ::EnableWindow(::GetDlgItem(client.window, kUpdateButton), FALSE);
    log_line(client, L"requested token=" + client.pending->token + L" staged=" + client.pending->staged_bootstrap);
    show_status(client, L"업데이트를 준비하고 있어요…");
}

// "ready" and "completed" let the Client go; after "failed" or "blocked" it
// stays, because the setup then leaves the running Client as it is.
void take_answer(Client& client) {
    const auto answer = read_answer();
    client.pending.reset();
    if (!answer) {
        log_line(client, L"answer unreadable");
        show_status(client, L"업데이트의 답을 읽지 못했어요");
        return;
    }
    log_line(client, L"answer outcome=" + answer->outcome + L" code=" + (answer->code.empty() ? L"-" : answer->code) +
                         L" stage=" + std::to_wstring(answer->stage));
    if (answer->outcome == L"ready" || answer->outcome == L"completed") {
        ::DestroyWindow(client.window);
        return;
    }
    show_status(client, L"업데이트하지 못했어요: " + answer->outcome + L" " + answer->code);
}

void give_up(Client& client, const std::wstring& why) {
    log_line(client, L"no-answer " + why);
    show_status(client, L"설치 프로그램이 답하지 않았어요");
    client.pending.reset();
}

void on_wait_ended(Client& client, DWORD result) {
    if (result == WAIT_OBJECT_0) {
        take_answer(client);
    } else if (result == WAIT_OBJECT_0 + 1) {
        DWORD exit_code = 0;
        ::GetExitCodeProcess(client.pending->bootstrap.get(), &exit_code);
        give_up(client, L"setup-ended exit=" + std::to_wstring(exit_code));
    } else if (result == WAIT_TIMEOUT) {
        give_up(client, L"timeout");
    }
}

void create_controls(HWND window, bool armed) {
    const auto font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    const std::wstring heading = std::wstring(L"Zelkora Client ") + kVersion;
    const struct {
        const wchar_t* window_class;
        const wchar_t* text;
        DWORD style;
        int x, y, width, height, id;
    } controls[] = {
        {L"STATIC", heading.c_str(), SS_LEFT, 24, 24, 400, 24, 0},
        {L"STATIC", armed ? L"" : L"--setup로 설치 프로그램을 지정하면 업데이트할 수 있어요", SS_LEFT, 24, 56, 400, 40,
         kStatusText},
        {L"BUTTON", L"업데이트", BS_PUSHBUTTON, 24, 110, 120, 30, kUpdateButton},
    };
    for (const auto& control : controls) {
        const HWND child = ::CreateWindowExW(0, control.window_class, control.text, WS_CHILD | WS_VISIBLE | control.style,
                                             control.x, control.y, control.width, control.height, window,
                                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), nullptr, nullptr);
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    ::EnableWindow(::GetDlgItem(window, kUpdateButton), armed);
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Client& client = *the_client;
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wparam) == kUpdateButton) request(client);
        return 0;
    case kRequestUpdate:
        request(client);
        return 0;
    case WM_CTLCOLORSTATIC:
        if (!client.options.dark) break;
        ::SetTextColor(reinterpret_cast<HDC>(wparam), RGB(0xE9, 0xF1, 0xF3));
        ::SetBkColor(reinterpret_cast<HDC>(wparam), RGB(0x17, 0x1B, 0x1F));
        return reinterpret_cast<LRESULT>(client.background.get());
    case WM_DESTROY:
        ::PostQuitMessage(client.exit_code);
        return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
}

bool create_window(Client& client, HINSTANCE instance) {
    client.background.reset(::CreateSolidBrush(client.options.dark ? RGB(0x17, 0x1B, 0x1F) : RGB(0xFF, 0xFF, 0xFF)));
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = client.background.get();
    window_class.lpszClassName = kWindowClass;
    if (!::RegisterClassExW(&window_class)) return false;
    const std::wstring title = std::wstring(L"Zelkora ") + kVersion;
    client.window = ::CreateWindowExW(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                      CW_USEDEFAULT, 480, 220, nullptr, nullptr, instance, nullptr);
    if (!client.window) return false;
    create_controls(client.window, !client.options.setup.empty());
    ::ShowWindow(client.window, SW_SHOWNORMAL);
    ::UpdateWindow(client.window);
    return true;
}

// The message loop also waits for the setup's event and for the bootstrap,
// so the window stays responsive while the update runs.
int run(Client& client) {
    MSG message{};
    for (;;) {
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        if (!client.pending) {
            ::WaitMessage();
            continue;
        }
        const HANDLE handles[] = {client.pending->event.get(), client.pending->bootstrap.get()};
        const ULONGLONG now = ::GetTickCount64();
        const DWORD wait = now >= client.deadline ? 0 : static_cast<DWORD>(client.deadline - now);
        const DWORD result = ::MsgWaitForMultipleObjects(2, handles, FALSE, wait, QS_ALLINPUT);
        if (result != WAIT_OBJECT_0 + 2) on_wait_ended(client, result);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    Client client;
    the_client = &client;
    client.options = parse_options();
    if (!create_window(client, instance)) return 1;
    if (client.options.request_at_start) ::PostMessageW(client.window, kRequestUpdate, 0, 0);
    return run(client);
}
