#include "console_session.h"

#include "core/file_paths_win32.h"
#include "test_support.h"

namespace zelkora::test {

std::wstring this_program() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path;
}

ConsoleSession::ConsoleSession(const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    UniqueHandle child_input;
    UniqueHandle child_output;
    if (!::CreatePipe(child_input.put(), input_.put(), &inherit, 0) ||
        !::CreatePipe(output_.put(), child_output.put(), &inherit, 0)) {
        return;
    }
    ::SetHandleInformation(input_.get(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(output_.get(), HANDLE_FLAG_INHERIT, 0);
    const std::wstring console = core::parent_folder(this_program()) + L"\\payload-console.exe";
    std::wstring command_line = quoted_command_line(console, arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = child_input.get();
    startup.hStdOutput = child_output.get();
    startup.hStdError = child_output.get();
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(console.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &started)) {
        return;
    }
    ::CloseHandle(started.hThread);
    process_.reset(started.hProcess);
}

std::string ConsoleSession::ask(const std::string& line) {
    const std::string sent = line + "\n";
    DWORD written = 0;
    if (!::WriteFile(input_.get(), sent.data(), static_cast<DWORD>(sent.size()), &written, nullptr)) return {};
    std::string answer;
    char unit = 0;
    DWORD read = 0;
    while (answer.empty() || answer.back() != '\n') {
        if (!::ReadFile(output_.get(), &unit, 1, &read, nullptr) || read == 0) break;
        answer.push_back(unit);
    }
    return answer;
}

void ConsoleSession::finish() {
    input_.reset();
    if (process_) ::WaitForSingleObject(process_.get(), 30000);
    process_.reset();
}

void ConsoleSession::kill() {
    if (process_) {
        ::TerminateProcess(process_.get(), 1);
        ::WaitForSingleObject(process_.get(), 30000);
    }
    finish();
}

}  // namespace zelkora::test
