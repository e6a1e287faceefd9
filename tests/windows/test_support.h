#pragma once
// Helpers for Windows tests that drive the real setup executable the way a
// user (or the system) would: start it, find its windows, read its exit code.

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "core/owners_win32.h"

namespace zelkora::test {

// A Unix path from the test environment, as Wine sees it (drive Z: is "/").
std::wstring windows_path_from_env(const char* variable);
std::wstring setup_exe_path();
std::wstring source_file(std::wstring_view relative);

struct StartedProcess {
    UniqueHandle process;
    DWORD id = 0;
};

std::wstring quoted_command_line(const std::wstring& exe, const std::wstring& arguments);

struct CapturedRun {
    DWORD exit_code = 0;
    std::string output;
};

// Runs exe with its standard output and error on one pipe, as a console would
// receive them; nothing when it cannot start or outlives the limit. A run that
// outlives it is ended and reported as a failure of the current test, with
// its command line and the output it gave.
std::optional<CapturedRun> run_capturing_output(const std::wstring& exe, const std::wstring& arguments,
                                                std::chrono::milliseconds limit);

// The id of the process that started process_id, as the system's process
// list records it; 0 when the process is not in the list.
DWORD parent_process_id(DWORD process_id);

// Starts exe with the given argument text; token null means our own token.
std::optional<StartedProcess> start_process(const std::wstring& exe, const std::wstring& arguments,
                                            HANDLE token = nullptr);

// A copy of our token with the Administrators group made deny-only.
UniqueHandle token_without_administrators();

// Exit code once the process has ended, nothing when it outlives the wait.
std::optional<DWORD> wait_for_exit(const StartedProcess& process, std::chrono::milliseconds limit);

// Polls for a visible top-level window of that class owned by the process.
HWND wait_for_window(DWORD process_id, const wchar_t* window_class, std::chrono::milliseconds limit);

std::wstring window_text(HWND window);

// Polls until the window's text reads text.
// Polls until done() holds; false when the limit passes first.
bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds limit);
bool wait_for_text(HWND window, const std::wstring& text, std::chrono::milliseconds limit);

// Handles every message already queued for this thread's windows.
void dispatch_pending_messages();

// Posts the button's click command, as the dialog manager does for a press.
void press_button(HWND window, int id);

// Presses the setup window's "진단 복사" and returns what it put on the
// clipboard; a text in parentheses when the copy did not happen.
std::wstring copied_diagnostics(HWND window);

}  // namespace zelkora::test
