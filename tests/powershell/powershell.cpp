// Stands in for Windows PowerShell inside the Wine test prefix, where no
// PowerShell exists. It takes the two command lines the setup writes:
//   -Command "<self-test text>"   the fixed pipe scripts of the self-tests
//   -File "<script>" [-Launch] -ProgressPipe <name>
// and reads the script file as a scenario (see README.md). Everything it
// does is appended to the transcript named by ZELKORA_STANDIN_TRANSCRIPT.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command_script.h"
#include "scenario.h"
#include "transcript.h"

namespace {

using namespace zelkora::standin;

struct Invocation {
    bool command_form = false;
    std::wstring command_text;
    ScenarioRun scenario;
};

bool same_option(std::wstring_view given, std::wstring_view option) {
    if (given.size() != option.size()) return false;
    for (std::size_t i = 0; i < given.size(); ++i) {
        const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; };
        if (lower(given[i]) != lower(option[i])) return false;
    }
    return true;
}

bool is_one_of(std::wstring_view given, std::initializer_list<std::wstring_view> options) {
    for (const auto option : options) {
        if (same_option(given, option)) return true;
    }
    return false;
}

// The command line as the program received it, without the program itself,
// split the way CommandLineToArgvW splits off the first argument.
std::wstring arguments_after_program(std::wstring_view line) {
    std::size_t i = 0;
    if (line.starts_with(L'"')) {
        i = line.find(L'"', 1);
        i = i == std::wstring_view::npos ? line.size() : i + 1;
    } else {
        while (i < line.size() && line[i] != L' ' && line[i] != L'\t') ++i;
    }
    while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
    return std::wstring(line.substr(i));
}

std::wstring full_path(const std::wstring& path) {
    std::wstring full(32768, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) return path;
    full.resize(length);
    return full;
}

int line_number(std::wstring_view text) {
    if (text.empty() || text.size() > 7) return 0;
    int value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return 0;
        value = value * 10 + (c - L'0');
    }
    return value;
}

// The installer script's own parameters. Anything else is refused, as
// PowerShell refuses a parameter the script does not declare.
std::string parse_script_arguments(const std::vector<std::wstring>& arguments, std::size_t i, Invocation& invocation) {
    for (; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (same_option(argument, L"-ProgressPipe")) {
            if (i + 1 >= arguments.size()) return "-ProgressPipe needs a pipe name";
            invocation.scenario.pipe_name = arguments[++i];
        } else if (!is_one_of(argument, {L"-Launch", L"-Elevated", L"-InstallVirtualDisplay", L"-NativeDisplay",
                                         L"-TrustNativeDisplayCertificate", L"-Unattended", L"-RecoverOnly"})) {
            return "unknown script parameter " + utf8(argument);
        }
    }
    return {};
}

std::string parse_invocation(const std::vector<std::wstring>& arguments, Invocation& invocation) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const bool has_value = i + 1 < arguments.size();
        if (is_one_of(argument, {L"-NoProfile", L"-NonInteractive", L"-NoLogo", L"-NoExit", L"-Sta", L"-Mta"})) {
            continue;
        }
        if (is_one_of(argument, {L"-ExecutionPolicy", L"-WindowStyle", L"-InputFormat", L"-OutputFormat"})) {
            if (!has_value) return utf8(argument) + " needs a value";
            ++i;
            continue;
        }
        // Only ever written first, by a parent starting its child.
        if (i == 0 && same_option(argument, L"-StandInChild")) {
            const int line = has_value ? line_number(arguments[++i]) : 0;
            if (line <= 0) return "-StandInChild needs a line number";
            invocation.scenario.continue_after_line = line;
            continue;
        }
        if (same_option(argument, L"-Command")) {
            // PowerShell joins everything after -Command into one text.
            if (!has_value) return "-Command needs a text";
            invocation.command_form = true;
            for (std::size_t j = i + 1; j < arguments.size(); ++j) {
                if (j > i + 1) invocation.command_text += L' ';
                invocation.command_text += arguments[j];
            }
            return {};
        }
        if (same_option(argument, L"-File")) {
            if (!has_value) return "-File needs a script path";
            invocation.scenario.script_path = full_path(arguments[i + 1]);
            return parse_script_arguments(arguments, i + 2, invocation);
        }
        return "unknown PowerShell option " + utf8(argument);
    }
    return "neither -Command nor -File given";
}

// A child was started as "-StandInChild N " followed by its parent's
// arguments; it passes on only those to a child of its own.
std::wstring without_child_switch(const std::wstring& arguments) {
    const auto number = arguments.find(L' ');
    const auto rest = number == std::wstring::npos ? number : arguments.find(L' ', number + 1);
    return rest == std::wstring::npos ? std::wstring() : arguments.substr(rest + 1);
}

int run(Invocation& invocation, const std::string& error) {
    if (!error.empty()) {
        record_error(error);
        return kStandInFailure;
    }
    if (invocation.command_form) return run_command_script(invocation.command_text);
    return run_scenario(invocation.scenario);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Invocation invocation;
    invocation.scenario.arguments = arguments_after_program(::GetCommandLineW());
    const std::string error = parse_invocation(std::vector<std::wstring>(argv + 1, argv + argc), invocation);
    // A child's start and end are recorded by its parent.
    const bool child = invocation.scenario.continue_after_line != 0;
    if (child) {
        invocation.scenario.arguments = without_child_switch(invocation.scenario.arguments);
    } else {
        record("started " + utf8(invocation.scenario.arguments));
    }
    const int code = run(invocation, error);
    if (!child) record("exit " + decimal(static_cast<DWORD>(code)));
    return transcript_failed() ? kStandInFailure : code;
}
