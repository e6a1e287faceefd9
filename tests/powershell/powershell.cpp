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

wchar_t lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

bool same_word(std::wstring_view given, std::wstring_view word) {
    if (given.size() != word.size()) return false;
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (lower(given[i]) != lower(word[i])) return false;
    }
    return true;
}

bool same_option(std::wstring_view given, std::wstring_view option) { return same_word(given, option); }

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

// The options Windows PowerShell takes before -File or -Command. A name
// may be shortened to any prefix at least as long as `shortest`, in any
// letter case, after "-" or "/"; its value, where it takes one, must be one
// of `values` (any case) when those are listed.
struct PowerShellOption {
    std::wstring_view name;
    std::wstring_view shortest;
    bool takes_value;
    std::initializer_list<std::wstring_view> values;
};

const PowerShellOption kOptions[] = {
    {L"NoLogo", L"nol", false, {}},
    {L"NoExit", L"noe", false, {}},
    {L"Sta", L"sta", false, {}},
    {L"Mta", L"mta", false, {}},
    {L"NoProfile", L"nop", false, {}},
    {L"NonInteractive", L"noni", false, {}},
    {L"InputFormat", L"in", true, {L"Text", L"XML"}},
    {L"OutputFormat", L"o", true, {L"Text", L"XML"}},
    {L"WindowStyle", L"w", true, {L"Normal", L"Minimized", L"Maximized", L"Hidden"}},
    {L"ExecutionPolicy", L"ex", true,
     {L"Restricted", L"AllSigned", L"RemoteSigned", L"Unrestricted", L"Bypass", L"Undefined", L"Default"}},
    {L"ExecutionPolicy", L"ep", true,
     {L"Restricted", L"AllSigned", L"RemoteSigned", L"Unrestricted", L"Bypass", L"Undefined", L"Default"}},
    {L"File", L"f", true, {}},
    {L"Command", L"c", true, {}},
};

// The option a switch names, or none: "-ep" is its own spelling of
// -ExecutionPolicy, every other name is a prefix of the full name.
const PowerShellOption* option_named(std::wstring_view argument) {
    if (argument.size() < 2 || (argument[0] != L'-' && argument[0] != L'/')) return nullptr;
    const std::wstring_view key = argument.substr(1);
    for (const PowerShellOption& option : kOptions) {
        const std::wstring_view full = option.shortest == L"ep" ? std::wstring_view(L"ep") : option.name;
        if (key.size() >= option.shortest.size() && key.size() <= full.size() && same_word(key, full.substr(0, key.size()))) {
            return &option;
        }
    }
    return nullptr;
}

std::wstring_view canonical_value(const PowerShellOption& option, std::wstring_view value) {
    for (const auto allowed : option.values) {
        if (same_word(value, allowed)) return allowed;
    }
    return {};
}

// How the process was asked to show its window: "hidden" for SW_HIDE,
// "default" when the starter gave no show command.
std::string window_shown() {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    ::GetStartupInfoW(&startup);
    if ((startup.dwFlags & STARTF_USESHOWWINDOW) == 0) return "default";
    return startup.wShowWindow == SW_HIDE ? "hidden" : "show-" + decimal(startup.wShowWindow);
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

// PowerShell runs a script only from an existing file named *.ps1.
std::string check_script_file(const std::wstring& path) {
    if (path.size() < 4 || !same_word(std::wstring_view(path).substr(path.size() - 4), L".ps1")) {
        return "-File " + utf8(path) + " does not have a '.ps1' extension";
    }
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "the argument " + utf8(path) + " to -File does not exist";
    }
    return {};
}

// Options up to -File or -Command, as Windows PowerShell reads them; what
// it would refuse (an unknown option, a missing or unknown value, a script
// that is no .ps1 file) is refused before anything runs.
std::string parse_invocation(const std::vector<std::wstring>& arguments, Invocation& invocation) {
    std::string& options = invocation.scenario.options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const bool has_value = i + 1 < arguments.size();
        // Only ever written first, by a parent starting its child.
        if (i == 0 && same_option(argument, L"-StandInChild")) {
            const int line = has_value ? line_number(arguments[++i]) : 0;
            if (line <= 0) return "-StandInChild needs a line number";
            invocation.scenario.continue_after_line = line;
            continue;
        }
        const PowerShellOption* option = option_named(argument);
        if (!option) return "unknown PowerShell option " + utf8(argument);
        if (option->takes_value && !has_value) return "missing value for -" + utf8(option->name);
        if (!options.empty()) options += ' ';
        options += '-';
        options += utf8(option->name);
        if (option->name == L"Command") {
            // PowerShell joins everything after -Command into one text.
            invocation.command_form = true;
            for (std::size_t j = i + 1; j < arguments.size(); ++j) {
                if (j > i + 1) invocation.command_text += L' ';
                invocation.command_text += arguments[j];
            }
            return {};
        }
        if (option->name == L"File") {
            invocation.scenario.script_path = full_path(arguments[i + 1]);
            if (auto refused = check_script_file(invocation.scenario.script_path); !refused.empty()) return refused;
            return parse_script_arguments(arguments, i + 2, invocation);
        }
        if (option->takes_value) {
            const std::wstring_view value = canonical_value(*option, arguments[++i]);
            if (value.empty()) return "invalid value " + utf8(arguments[i]) + " for -" + utf8(option->name);
            options += ' ';
            options += utf8(value);
        }
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
    std::string error = parse_invocation(std::vector<std::wstring>(argv + 1, argv + argc), invocation);
    invocation.scenario.options += " window=" + window_shown();
    // A child's start and end are recorded by its parent.
    const bool child = invocation.scenario.continue_after_line != 0;
    if (child) {
        invocation.scenario.arguments = without_child_switch(invocation.scenario.arguments);
    } else {
        record("started " + utf8(invocation.scenario.arguments));
        if (error.empty()) record("options " + invocation.scenario.options);
    }
    const int code = run(invocation, error);
    if (!child) record("exit " + decimal(static_cast<DWORD>(code)));
    return transcript_failed() ? kStandInFailure : code;
}
