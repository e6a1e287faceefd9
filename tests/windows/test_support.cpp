#include "test_support.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <thread>

namespace zelkora::test {

std::wstring windows_path_from_env(const char* variable) {
    const char* value = std::getenv(variable);
    if (!value) return {};
    std::wstring path = L"Z:";
    for (const char* c = value; *c; ++c) path.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
    return path;
}

std::wstring setup_exe_path() { return windows_path_from_env("ZELKORA_SETUP_EXE"); }

std::wstring source_file(std::wstring_view relative) {
    std::wstring path = windows_path_from_env("ZELKORA_SOURCE_DIR") + L"\\";
    for (wchar_t c : relative) path.push_back(c == L'/' ? L'\\' : c);
    return path;
}

std::wstring quoted_command_line(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring line = L"\"" + exe + L"\"";
    if (!arguments.empty()) line += L" " + arguments;
    return line;
}

std::optional<StartedProcess> start_process(const std::wstring& exe, const std::wstring& arguments,
                                            HANDLE token) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    // Wine now and then loses a new process while it starts up on a loaded
    // machine and reports ERROR_INTERNAL_ERROR; nothing of the test has run
    // yet, so a few more attempts are safe.
    for (int attempt = 1;; ++attempt) {
        std::wstring command_line = quoted_command_line(exe, arguments);
        const BOOL started =
            token ? ::CreateProcessAsUserW(token, exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                                           nullptr, nullptr, &startup, &info)
                  : ::CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &startup, &info);
        if (started) break;
        if (::GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ::CloseHandle(info.hThread);
    return StartedProcess{UniqueHandle(info.hProcess), info.dwProcessId};
}

namespace {

std::string utf8_for_message(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(std::max(size, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

}  // namespace

std::optional<CapturedRun> run_capturing_output(const std::wstring& exe, const std::wstring& arguments,
                                                std::chrono::milliseconds limit) {
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    UniqueHandle read_end;
    UniqueHandle write_end;
    if (!::CreatePipe(read_end.put(), write_end.put(), &inheritable, 0)) return std::nullopt;
    ::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end.get();
    startup.hStdError = write_end.get();
    PROCESS_INFORMATION info{};
    std::wstring command_line = quoted_command_line(exe, arguments);
    if (!::CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return std::nullopt;
    }
    ::CloseHandle(info.hThread);
    const UniqueHandle process(info.hProcess);
    write_end.reset();
    // The pipe is polled, not read blocking, so that a child that hangs (or
    // a grandchild that keeps the write end) cannot hold the caller past the
    // limit; the end of output and the exit must both come within it.
    CapturedRun run;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool output_ended = false;
    while (!output_ended && std::chrono::steady_clock::now() < deadline) {
        DWORD available = 0;
        if (!::PeekNamedPipe(read_end.get(), nullptr, 0, nullptr, &available, nullptr)) {
            output_ended = true;  // every writer has closed its end
        } else if (available == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else {
            char buffer[512];
            DWORD bytes = 0;
            if (::ReadFile(read_end.get(), buffer, sizeof(buffer), &bytes, nullptr)) run.output.append(buffer, bytes);
        }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const DWORD wait = output_ended ? static_cast<DWORD>(std::max<std::int64_t>(left.count(), 0)) : 0;
    if (!output_ended || ::WaitForSingleObject(process.get(), wait) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.get(), 99);
        ADD_FAILURE() << utf8_for_message(command_line) << " did not end within " << limit.count()
                      << " ms; its output so far:\n" << run.output;
        return std::nullopt;
    }
    ::GetExitCodeProcess(process.get(), &run.exit_code);
    return run;
}

DWORD parent_process_id(DWORD process_id) {
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == process_id) return entry.th32ParentProcessID;
    }
    return 0;
}

UniqueHandle token_without_administrators() {
    UniqueHandle own;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ALL_ACCESS, own.put())) return {};
    SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
    UniqueAllocatedSid administrators;
    if (!::AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                    0, 0, 0, 0, 0, 0, administrators.put())) {
        return {};
    }
    SID_AND_ATTRIBUTES disable{administrators.get(), 0};
    UniqueHandle restricted;
    if (!::CreateRestrictedToken(own.get(), 0, 1, &disable, 0, nullptr, 0, nullptr, restricted.put())) {
        return {};
    }
    return restricted;
}

std::optional<DWORD> wait_for_exit(const StartedProcess& process, std::chrono::milliseconds limit) {
    if (::WaitForSingleObject(process.process.get(), static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    if (!::GetExitCodeProcess(process.process.get(), &code)) return std::nullopt;
    return code;
}

namespace {

struct WindowSearch {
    DWORD process_id;
    const wchar_t* window_class;
    HWND found = nullptr;
};

BOOL CALLBACK match_window(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    if (owner == search->process_id && std::wstring_view(name) == search->window_class &&
        ::IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND wait_for_window(DWORD process_id, const wchar_t* window_class, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    do {
        WindowSearch search{process_id, window_class};
        ::EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return nullptr;
}

std::wstring window_text(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    return true;
}

bool wait_for_text(HWND window, const std::wstring& text, std::chrono::milliseconds limit) {
    return wait_until([&] { return window_text(window) == text; }, limit);
}

void press_button(HWND window, int id) {
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(window, id)));
}

namespace {

std::wstring clipboard_text() {
    if (!::OpenClipboard(nullptr)) return {};
    std::wstring text;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(::GlobalLock(data))) {
            text = chars;
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

}  // namespace

// A copy made within the last 2.5 s still shows "복사됨", so the button has to
// read "진단 복사" again before this copy can be told apart from it.
std::wstring copied_diagnostics(HWND window) {
    using namespace std::chrono_literals;
    if (!wait_for_text(::GetDlgItem(window, 3), L"진단 복사", 5s)) return L"(copy button busy)";
    press_button(window, 3);
    if (!wait_for_text(::GetDlgItem(window, 3), L"복사됨", 5s)) return L"(copy failed)";
    return clipboard_text();
}

void dispatch_pending_messages() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

}  // namespace zelkora::test
