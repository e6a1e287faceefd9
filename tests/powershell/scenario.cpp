#include "scenario.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/owners_win32.h"
#include "local_files.h"
#include "pipe_client.h"
#include "transcript.h"

namespace zelkora::standin {
namespace {

constexpr std::size_t kLargestScenario = 1u << 20;
constexpr std::uint64_t kLargestFile = std::uint64_t{1} << 34;
constexpr std::uint64_t kLongestLine = std::uint64_t{1} << 26;
constexpr std::uint64_t kLongestWaitMs = 600000;
constexpr DWORD kDefaultConnectMs = 5000;
// The inherited pipe handle of a detached child, as a decimal number.
constexpr wchar_t kInheritedPipeVariable[] = L"ZELKORA_STANDIN_INHERITED_PIPE";

enum class Verb {
    transcript, mkdir, file, fill, connect, send, write, raw, long_line, request, reply_timeout, write_timeout,
    close, child, detach, sleep, exit
};

struct Step {
    int line = 0;
    Verb verb = Verb::exit;
    std::string path;          // transcript, mkdir, file, fill; substitutions unexpanded
    std::string text;          // send, write, request, file content, long prefix; unexpanded
    std::string bytes;         // raw bytes, fill pattern
    std::uint64_t number = 0;  // sizes, milliseconds, exit code
};

struct Piece {
    bool substitution = false;
    std::string text;  // literal text, or the key inside ${...}
};

// Splits text into literals and ${key} substitutions and checks each key's kind.
std::optional<std::vector<Piece>> split_substitutions(std::string_view text, std::string& error) {
    std::vector<Piece> pieces;
    while (!text.empty()) {
        const auto open = text.find("${");
        if (open != 0) {
            pieces.push_back({false, std::string(text.substr(0, open))});
            if (open == std::string_view::npos) break;
            text.remove_prefix(open);
        }
        const auto close = text.find('}');
        if (close == std::string_view::npos) {
            error = "unclosed ${";
            return std::nullopt;
        }
        const std::string key(text.substr(2, close - 2));
        const bool known = key == "pipe" || (key.starts_with("env:") && key.size() > 4) ||
                           (key.starts_with("size:") && key.size() > 5) ||
                           (key.starts_with("sha256:") && key.size() > 7);
        if (!known) {
            error = "unknown substitution ${" + key + "}";
            return std::nullopt;
        }
        pieces.push_back({true, key});
        text.remove_prefix(close + 1);
    }
    return pieces;
}

std::optional<std::uint64_t> parse_count(std::string_view text, std::uint64_t largest) {
    if (text.empty() || text.size() > 12) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > largest) return std::nullopt;
    return value;
}

// Exit codes as PowerShell's exit takes them (negative wraps) and as
// Windows reports them (up to 0xFFFFFFFF).
std::optional<std::uint64_t> parse_exit_code(std::string_view text) {
    const bool negative = text.starts_with('-');
    if (negative) text.remove_prefix(1);
    const auto value = parse_count(text, negative ? 0x80000000u : 0xFFFFFFFFu);
    if (!value) return std::nullopt;
    return negative ? static_cast<std::uint32_t>(0u - static_cast<std::uint32_t>(*value)) : *value;
}

std::optional<std::string> parse_hex(std::string_view text) {
    std::string digits;
    for (const char c : text) {
        if (c == ' ' || c == '\t') continue;
        digits.push_back(c);
    }
    if (digits.empty() || digits.size() % 2 != 0) return std::nullopt;
    const auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int high = nibble(digits[i]);
        const int low = nibble(digits[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

// A time-out as the scenario gives it: 0 waits for ever.
DWORD wait_limit(std::uint64_t milliseconds) {
    return milliseconds == 0 ? INFINITE : static_cast<DWORD>(milliseconds);
}

std::string hex_of(std::string_view bytes) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A path is one word, or any text in double quotes. The rest after one
// separating space stays in rest.
bool take_path(std::string_view& rest, std::string& path) {
    std::size_t end = 0;
    if (rest.starts_with('"')) {
        end = rest.find('"', 1);
        if (end == std::string_view::npos || end == 1) return false;
        path = rest.substr(1, end - 1);
        ++end;
    } else {
        end = rest.find_first_of(" \t");
        if (end == std::string_view::npos) end = rest.size();
        if (end == 0) return false;
        path = rest.substr(0, end);
    }
    rest.remove_prefix(end);
    if (!rest.empty() && rest.front() != ' ' && rest.front() != '\t') return false;
    if (!rest.empty()) rest.remove_prefix(1);
    return true;
}

struct ParsedScenario {
    std::vector<Step> steps;
    std::string error;  // "line N: ..." when the scenario cannot run
};

std::string parse_step(std::string_view word, std::string_view rest, Step& step) {
    std::string substitution_error;
    const auto substitutions_ok = [&](std::string_view text) {
        return split_substitutions(text, substitution_error).has_value();
    };
    const auto no_argument = [&] { return trimmed(rest).empty() ? std::string() : "takes no argument"; };
    const auto milliseconds = [&](bool optional, std::uint64_t fallback) -> std::string {
        if (optional && trimmed(rest).empty()) {
            step.number = fallback;
            return {};
        }
        const auto value = parse_count(trimmed(rest), kLongestWaitMs);
        if (!value) return "needs milliseconds from 0 to 600000";
        step.number = *value;
        return {};
    };
    const auto exit_code = [&]() -> std::string {
        const auto code = parse_exit_code(trimmed(rest));
        if (!code) return "needs an exit code from -2147483648 to 4294967295";
        step.number = *code;
        return {};
    };

    if (word == "transcript" || word == "mkdir") {
        step.verb = word == "transcript" ? Verb::transcript : Verb::mkdir;
        if (!take_path(rest, step.path) || !trimmed(rest).empty()) return "needs one path";
        return substitutions_ok(step.path) ? "" : substitution_error;
    }
    if (word == "file") {
        step.verb = Verb::file;
        if (!take_path(rest, step.path)) return "needs a path";
        step.text = rest;
        return substitutions_ok(step.path) && substitutions_ok(step.text) ? "" : substitution_error;
    }
    if (word == "fill") {
        step.verb = Verb::fill;
        if (!take_path(rest, step.path)) return "needs a path";
        rest = trimmed(rest);
        const auto space = rest.find_first_of(" \t");
        const auto size = parse_count(rest.substr(0, space), kLargestFile);
        if (!size) return "needs a size in bytes up to 2^34";
        step.number = *size;
        if (space == std::string_view::npos) {
            for (int i = 0; i < 256; ++i) step.bytes.push_back(static_cast<char>(i));
        } else {
            const auto pattern = parse_hex(rest.substr(space));
            if (!pattern) return "pattern must be hexadecimal bytes";
            step.bytes = *pattern;
        }
        return substitutions_ok(step.path) ? "" : substitution_error;
    }
    if (word == "send" || word == "write" || word == "request") {
        step.verb = word == "send" ? Verb::send : word == "write" ? Verb::write : Verb::request;
        step.text = rest;
        return substitutions_ok(step.text) ? "" : substitution_error;
    }
    if (word == "raw") {
        step.verb = Verb::raw;
        const auto bytes = parse_hex(rest);
        if (!bytes) return "needs hexadecimal bytes";
        step.bytes = *bytes;
        return {};
    }
    if (word == "long") {
        step.verb = Verb::long_line;
        const auto space = rest.find(' ');
        const auto size = parse_count(trimmed(rest.substr(0, space)), kLongestLine);
        if (!size) return "needs a line length in bytes up to 2^26";
        step.number = *size;
        if (space != std::string_view::npos) step.text = rest.substr(space + 1);
        if (step.text.size() > step.number) return "prefix is longer than the line";
        return {};
    }
    if (word == "exit") {
        step.verb = Verb::exit;
        return exit_code();
    }
    if (word == "detach") {
        step.verb = Verb::detach;
        return trimmed(rest).empty() ? std::string() : exit_code();
    }
    if (word == "connect") {
        step.verb = Verb::connect;
        return milliseconds(true, kDefaultConnectMs);
    }
    if (word == "reply-timeout" || word == "write-timeout") {
        step.verb = word == "reply-timeout" ? Verb::reply_timeout : Verb::write_timeout;
        return milliseconds(false, 0);
    }
    if (word == "sleep") {
        step.verb = Verb::sleep;
        return milliseconds(false, 0);
    }
    if (word == "close" || word == "child") {
        step.verb = word == "close" ? Verb::close : Verb::child;
        return no_argument();
    }
    return "unknown command '" + std::string(word) + "'";
}

ParsedScenario parse_scenario(std::string_view text) {
    ParsedScenario parsed;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (!wide_from_utf8(text)) {
        parsed.error = "line 0: the scenario is not valid UTF-8";
        return parsed;
    }
    int number = 0;
    while (!text.empty()) {
        ++number;
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (line.empty() || line.front() == '#') continue;

        const auto space = line.find_first_of(" \t");
        const std::string_view word = line.substr(0, space);
        const std::string_view rest = space == std::string_view::npos ? "" : line.substr(space + 1);
        Step step;
        step.line = number;
        if (const std::string error = parse_step(word, rest, step); !error.empty()) {
            parsed.error = "line " + std::to_string(number) + ": " + std::string(word) + ": " + error;
            return parsed;
        }
        parsed.steps.push_back(std::move(step));
    }
    return parsed;
}

DWORD read_scenario(const std::wstring& path, std::string& text) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ::GetLastError();
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return ::GetLastError();
    if (size.QuadPart > static_cast<LONGLONG>(kLargestScenario)) return ERROR_FILE_TOO_LARGE;
    text.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!text.empty() && !::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr)) {
        return ::GetLastError();
    }
    text.resize(read);
    return 0;
}

std::wstring folder_of(const std::wstring& path) {
    const auto separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring(L".") : path.substr(0, separator);
}

std::wstring environment_value(const std::wstring& name) {
    const DWORD size = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(name.c_str(), value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

// The run of one scenario. A command that cannot do its work stops the run
// with kStandInFailure; pipe failures are recorded and the run goes on, as a
// script's writes would fail one by one.
class Runner {
public:
    Runner(const ScenarioRun& run, std::vector<Step> steps)
        : run_(run), steps_(std::move(steps)), folder_(folder_of(run.script_path)) {}

    // In a detached child: the pipe its parent connected.
    bool take_inherited_pipe() {
        const std::wstring value = environment_value(kInheritedPipeVariable);
        ::SetEnvironmentVariableW(kInheritedPipeVariable, nullptr);
        std::uint64_t number = 0;
        for (const wchar_t c : value) {
            if (c < L'0' || c > L'9' || number > 0xFFFFFFFFFFFFull) {
                number = 0;
                break;
            }
            number = number * 10 + static_cast<std::uint64_t>(c - L'0');
        }
        if (number == 0) {
            record_error("no inherited pipe in " + utf8(kInheritedPipeVariable));
            return false;
        }
        if (const DWORD error = pipe_.adopt(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(number)));
            error != 0) {
            record_error("cannot take the inherited pipe, error " + decimal(error));
            return false;
        }
        return true;
    }

    int run_from(std::size_t first) {
        for (std::size_t i = first; i < steps_.size(); ++i) {
            error_.clear();
            const std::optional<DWORD> code = execute(steps_[i]);
            if (!error_.empty()) {
                record_error("line " + std::to_string(steps_[i].line) + ": " + error_);
                return kStandInFailure;
            }
            if (code) return static_cast<int>(*code);
        }
        return 0;
    }

private:
    std::optional<DWORD> execute(const Step& step) {
        switch (step.verb) {
        case Verb::transcript: set_transcript(step); break;
        case Verb::mkdir: make_folder(step); break;
        case Verb::file: make_file(step); break;
        case Verb::fill: fill_file(step); break;
        case Verb::connect: connect(static_cast<DWORD>(step.number)); break;
        case Verb::send: send_text(step, "\r\n", "sent "); break;
        case Verb::write: send_text(step, "", "wrote "); break;
        case Verb::raw: send(step.bytes, "sent-bytes " + hex_of(step.bytes)); break;
        case Verb::long_line: send_long_line(step); break;
        case Verb::request: request(step); break;
        case Verb::reply_timeout: reply_timeout_ms_ = wait_limit(step.number); break;
        case Verb::write_timeout: write_timeout_ms_ = wait_limit(step.number); break;
        case Verb::close: close_pipe(); break;
        case Verb::child: return run_child(step);
        case Verb::detach: return detach(step);
        case Verb::sleep: ::Sleep(static_cast<DWORD>(step.number)); break;
        case Verb::exit: return static_cast<DWORD>(step.number);
        }
        return std::nullopt;
    }

    std::optional<std::string> expand(std::string_view text) {
        std::string error;
        const auto pieces = split_substitutions(text, error);
        if (!pieces) {
            error_ = error;
            return std::nullopt;
        }
        std::string out;
        for (const auto& piece : *pieces) {
            if (!piece.substitution) {
                out += piece.text;
            } else if (auto value = substitution(piece.text)) {
                out += *value;
            } else {
                return std::nullopt;
            }
        }
        return out;
    }

    std::optional<std::string> substitution(const std::string& key) {
        if (key == "pipe") return utf8(run_.pipe_name);
        if (key.starts_with("env:")) {
            const std::wstring name = *wide_from_utf8(key.substr(4));
            const std::wstring value = environment_value(name);
            if (value.empty()) return fail("environment variable " + key.substr(4) + " is not set");
            return utf8(value);
        }
        const bool size = key.starts_with("size:");
        const auto path = resolve(key.substr(size ? 5 : 7));
        if (!path) return std::nullopt;
        if (size) {
            std::uint64_t bytes = 0;
            if (const DWORD error = file_size(*path, bytes); error != 0) return fail_on_file("size of", *path, error);
            return decimal(bytes);
        }
        std::string digest;
        if (const DWORD error = file_sha256(*path, digest); error != 0) return fail_on_file("digest of", *path, error);
        return digest;
    }

    // Relative paths start at the scenario's folder, where the real script
    // finds its bin folder.
    std::optional<std::wstring> resolve(std::string_view path_text) {
        const auto decoded = wide_from_utf8(path_text);
        if (!decoded || decoded->empty()) return fail<std::wstring>("empty path");
        std::wstring path = *decoded;
        const bool absolute = path.starts_with(L"\\\\") ||
                              (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/'));
        if (!absolute) path = folder_ + L"\\" + path;
        std::wstring full(32768, L'\0');
        const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0 || length >= full.size()) return fail<std::wstring>("cannot resolve path " + utf8(path));
        full.resize(length);
        return full;
    }

    std::optional<std::wstring> resolve_step_path(const Step& step) {
        const auto path = expand(step.path);
        if (!path) return std::nullopt;
        return resolve(*path);
    }

    template <typename T = std::string>
    std::optional<T> fail(std::string message) {
        error_ = std::move(message);
        return std::nullopt;
    }

    std::optional<std::string> fail_on_file(const char* what, const std::wstring& path, DWORD error) {
        return fail(std::string(what) + " " + utf8(path) + " failed with error " + decimal(error));
    }

    void set_transcript(const Step& step) {
        const auto path = resolve_step_path(step);
        if (!path) return;
        const bool new_file = environment_value(kTranscriptVariable) != *path;
        if (!::SetEnvironmentVariableW(kTranscriptVariable, path->c_str())) {
            error_ = "cannot set " + utf8(kTranscriptVariable);
            return;
        }
        // The new file then shows how the stand-in was started, like one
        // named by the environment from the beginning.
        if (new_file && run_.continue_after_line == 0) {
            record("started " + utf8(run_.arguments));
            record("options " + run_.options);
        }
    }

    void make_folder(const Step& step) {
        const auto path = resolve_step_path(step);
        if (!path) return;
        if (const DWORD error = create_folders(*path); error != 0) {
            fail_on_file("creating folder", *path, error);
            return;
        }
        record("created-folder " + utf8(*path));
    }

    void make_file(const Step& step) {
        const auto path = resolve_step_path(step);
        if (!path) return;
        const auto content = expand(step.text);
        if (!content) return;
        write_file(*path, content->size(), [&](std::uint64_t offset, std::span<char> chunk) {
            content->copy(chunk.data(), chunk.size(), static_cast<std::size_t>(offset));
        });
    }

    void fill_file(const Step& step) {
        const auto path = resolve_step_path(step);
        if (!path) return;
        const std::string& pattern = step.bytes;
        write_file(*path, step.number, [&](std::uint64_t offset, std::span<char> chunk) {
            for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = pattern[(offset + i) % pattern.size()];
        });
    }

    void write_file(const std::wstring& path, std::uint64_t size, const ContentFiller& fill) {
        if (const DWORD error = write_whole_file(path, size, fill); error != 0) {
            fail_on_file("writing", path, error);
            return;
        }
        record("created-file " + utf8(path) + " " + decimal(size));
    }

    void connect(DWORD timeout_ms) {
        if (run_.pipe_name.empty()) {
            error_ = "no -ProgressPipe to connect to";
            return;
        }
        if (const DWORD error = pipe_.connect(run_.pipe_name, GENERIC_READ | GENERIC_WRITE, timeout_ms); error != 0) {
            connect_failed_ = true;
            record("connect-failed " + pipe_error_name(error));
            return;
        }
        connect_failed_ = false;
        record("connected " + utf8(run_.pipe_name));
    }

    // The first pipe command connects, unless an earlier attempt failed:
    // then only an explicit connect tries again.
    void ensure_connected() {
        if (!pipe_.connected() && !connect_failed_) connect(kDefaultConnectMs);
    }

    bool send(std::string_view bytes, const std::string& what) {
        ensure_connected();
        if (!error_.empty()) return false;
        if (const DWORD error = pipe_.write(bytes, write_timeout_ms_); error != 0) {
            record("send-failed " + pipe_error_name(error) + ": " + what);
            return false;
        }
        record(what);
        return true;
    }

    void send_text(const Step& step, std::string_view ending, const char* what) {
        const auto text = expand(step.text);
        if (!text) return;
        send(*text + std::string(ending), what + printable(*text));
    }

    void send_long_line(const Step& step) {
        std::string line = step.text;
        line.resize(static_cast<std::size_t>(step.number), 'x');
        send(line + "\r\n", "sent-long " + decimal(step.number));
    }

    void request(const Step& step) {
        const auto text = expand(step.text);
        if (!text || !send(*text + "\r\n", "sent " + printable(*text))) return;
        std::string reply;
        if (const DWORD error = pipe_.read_line(reply, reply_timeout_ms_); error != 0) {
            record("no-reply " + pipe_error_name(error));
            return;
        }
        record("received " + printable(reply));
    }

    void close_pipe() {
        if (pipe_.connected()) record("closed");
        pipe_.close();
    }

    // Starts this program again with a hidden switch: the child connects
    // and runs the rest of the scenario, as a process started by the script
    // would. Our exit code is the child's.
    std::optional<DWORD> run_child(const Step& step) {
        if (pipe_.connected()) return fail<DWORD>("child after the pipe was connected");
        const auto child = start_self(step, false);
        if (!child) return std::nullopt;
        record("child-started " + decimal(child->id));
        DWORD code = 0;
        if (::WaitForSingleObject(child->process.get(), INFINITE) != WAIT_OBJECT_0 ||
            !::GetExitCodeProcess(child->process.get(), &code)) {
            return fail<DWORD>("cannot wait for the child, error " + decimal(::GetLastError()));
        }
        record("child-exited " + decimal(code));
        return code;
    }

    struct Child {
        UniqueHandle process;
        DWORD id = 0;
    };

    // This program again, told to go on after the step's line.
    std::optional<Child> start_self(const Step& step, bool inherit_handles) {
        std::wstring self(32768, L'\0');
        const DWORD length = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (length == 0 || length >= self.size()) return fail<Child>("cannot find the stand-in's own path");
        self.resize(length);
        std::wstring command_line =
            L"\"" + self + L"\" -StandInChild " + std::to_wstring(step.line) + L" " + run_.arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(self.c_str(), command_line.data(), nullptr, nullptr, inherit_handles, 0, nullptr,
                              nullptr, &startup, &info)) {
            return fail<Child>("cannot start the child, error " + decimal(::GetLastError()));
        }
        const UniqueHandle thread(info.hThread);
        return Child{UniqueHandle(info.hProcess), info.dwProcessId};
    }

    // Starts this program again with the connected pipe handed down, to run
    // the rest of the scenario, and ends without waiting for it: a process
    // the script left behind that still holds the pipe.
    std::optional<DWORD> detach(const Step& step) {
        if (!pipe_.connected()) return fail<DWORD>("detach before the pipe was connected");
        const HANDLE shared = pipe_.share_with_child();
        if (!shared) return fail<DWORD>("cannot share the pipe, error " + decimal(::GetLastError()));
        const std::wstring handle_value = std::to_wstring(reinterpret_cast<std::uintptr_t>(shared));
        if (!::SetEnvironmentVariableW(kInheritedPipeVariable, handle_value.c_str())) {
            return fail<DWORD>("cannot name the pipe for the child");
        }
        const auto child = start_self(step, true);
        ::SetEnvironmentVariableW(kInheritedPipeVariable, nullptr);
        if (!child) return std::nullopt;
        record("detached " + decimal(child->id));
        return static_cast<DWORD>(step.number);
    }

    const ScenarioRun& run_;
    std::vector<Step> steps_;
    std::wstring folder_;
    PipeClient pipe_;
    bool connect_failed_ = false;
    // PowerShell's writes and reads on the pipe have no time-out.
    DWORD reply_timeout_ms_ = INFINITE;
    DWORD write_timeout_ms_ = INFINITE;
    std::string error_;
};

}  // namespace

int run_scenario(const ScenarioRun& run) {
    std::string text;
    if (const DWORD error = read_scenario(run.script_path, text); error != 0) {
        record_error("cannot read the script " + utf8(run.script_path) + ", error " + decimal(error));
        return kStandInFailure;
    }
    // The whole file is checked before anything runs, so a mistake on a
    // late line leaves no files or pipe traffic behind.
    ParsedScenario parsed = parse_scenario(text);
    if (!parsed.error.empty()) {
        record_error(parsed.error);
        return kStandInFailure;
    }
    std::size_t first = 0;
    if (run.continue_after_line != 0) {
        while (first < parsed.steps.size() && parsed.steps[first].line != run.continue_after_line) ++first;
        if (first == parsed.steps.size() ||
            (parsed.steps[first].verb != Verb::child && parsed.steps[first].verb != Verb::detach)) {
            record_error("no child or detach command on line " + std::to_string(run.continue_after_line));
            return kStandInFailure;
        }
        ++first;
    }
    const bool detached = first > 0 && run.continue_after_line != 0 && parsed.steps[first - 1].verb == Verb::detach;
    Runner runner(run, std::move(parsed.steps));
    if (detached && !runner.take_inherited_pipe()) return kStandInFailure;
    const int code = runner.run_from(first);
    // Nobody waits for a detached child, so it records its own end.
    if (detached) record("detached-exit " + decimal(static_cast<DWORD>(code)));
    return code;
}

}  // namespace zelkora::standin
