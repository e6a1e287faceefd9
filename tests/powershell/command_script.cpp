#include "command_script.h"

#include <cwctype>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/wide.h"
#include "pipe_client.h"
#include "transcript.h"

namespace zelkora::standin {
namespace {

constexpr std::wstring_view kClientPrefix = L"$p=New-Object IO.Pipes.NamedPipeClientStream('.', ";
constexpr std::wstring_view kClientSuffix = L", [IO.Pipes.PipeDirection]::Out)";
constexpr std::wstring_view kConnectPrefix = L"$p.Connect(";
// UTF8Encoding($false): no byte-order mark. Any other writer is refused
// rather than imitated.
constexpr std::wstring_view kWriter = L"$w=New-Object IO.StreamWriter($p,[Text.UTF8Encoding]::new($false))";
constexpr std::wstring_view kAutoFlush = L"$w.AutoFlush=$true";
constexpr std::wstring_view kWriteLinePrefix = L"$w.WriteLine(";
constexpr std::wstring_view kDisposeWriter = L"$w.Dispose()";
constexpr std::wstring_view kDisposeClient = L"$p.Dispose()";
constexpr std::wstring_view kExit = L"exit";
// WriteLine with AutoFlush blocks until the reader takes the bytes or the
// pipe breaks; it has no time-out.
constexpr DWORD kWriteTimeoutMs = INFINITE;

struct OpenClient { std::wstring pipe_name; };
struct Connect { DWORD timeout_ms; };
struct MakeWriter {};
struct WriteLine { std::u16string text; };
struct Dispose {};
struct Exit { DWORD code; };
using Statement = std::variant<OpenClient, Connect, MakeWriter, WriteLine, Dispose, Exit>;

struct Parsed {
    std::vector<Statement> statements;
    std::string error;
};

std::wstring_view trimmed(std::wstring_view text) {
    while (!text.empty() && std::iswspace(text.front())) text.remove_prefix(1);
    while (!text.empty() && std::iswspace(text.back())) text.remove_suffix(1);
    return text;
}

// Splits at semicolons outside single-quoted strings. A doubled quote inside
// a string toggles twice, so it needs no special case here.
std::optional<std::vector<std::wstring_view>> split_statements(std::wstring_view text) {
    std::vector<std::wstring_view> statements;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\'') quoted = !quoted;
        if (text[i] == L';' && !quoted) {
            statements.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (quoted) return std::nullopt;
    statements.push_back(text.substr(start));
    return statements;
}

// A whole single-quoted literal ('' stands for one quote) and nothing else.
std::optional<std::wstring> quoted_literal(std::wstring_view text) {
    if (text.size() < 2 || text.front() != L'\'' || text.back() != L'\'') return std::nullopt;
    std::wstring value;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == L'\'') {
            if (i + 2 >= text.size() || text[i + 1] != L'\'') return std::nullopt;
            ++i;
        }
        value.push_back(text[i]);
    }
    return value;
}

// Between a prefix and a closing suffix; nothing when the text has another shape.
std::optional<std::wstring_view> enclosed(std::wstring_view text, std::wstring_view prefix, std::wstring_view suffix) {
    if (text.size() < prefix.size() + suffix.size() || !text.starts_with(prefix) || !text.ends_with(suffix)) {
        return std::nullopt;
    }
    return text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
}

// PowerShell's exit takes a 32-bit integer; negative values wrap as Windows
// exit codes do.
std::optional<DWORD> exit_code(std::wstring_view text) {
    const bool negative = !text.empty() && text.front() == L'-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 10) return std::nullopt;
    long long value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    if (negative) value = -value;
    if (value < -2147483648LL || value > 2147483647LL) return std::nullopt;
    return static_cast<DWORD>(static_cast<std::int32_t>(value));
}

std::optional<DWORD> milliseconds(std::wstring_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    DWORD value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<DWORD>(c - L'0');
    }
    return value;
}

std::optional<Statement> parse_statement(std::wstring_view text) {
    if (const auto name = enclosed(text, kClientPrefix, kClientSuffix)) {
        if (auto literal = quoted_literal(*name)) return OpenClient{std::move(*literal)};
        return std::nullopt;
    }
    if (const auto timeout = enclosed(text, kConnectPrefix, L")")) {
        if (const auto value = milliseconds(*timeout)) return Connect{*value};
        return std::nullopt;
    }
    if (const auto line = enclosed(text, kWriteLinePrefix, L")")) {
        if (const auto literal = quoted_literal(*line)) return WriteLine{from_wide(*literal)};
        return std::nullopt;
    }
    if (text == kWriter || text == kAutoFlush) return MakeWriter{};
    if (text == kDisposeWriter || text == kDisposeClient) return Dispose{};
    if (text == kExit) return Exit{0};
    if (text.starts_with(kExit) && text.size() > kExit.size() && std::iswspace(text[kExit.size()])) {
        if (const auto code = exit_code(trimmed(text.substr(kExit.size())))) return Exit{*code};
    }
    return std::nullopt;
}

Parsed parse(std::wstring_view text) {
    Parsed parsed;
    const auto statements = split_statements(text);
    if (!statements) {
        parsed.error = "unterminated string in the -Command text";
        return parsed;
    }
    for (const auto raw : *statements) {
        const auto statement_text = trimmed(raw);
        if (statement_text.empty()) continue;
        auto statement = parse_statement(statement_text);
        if (!statement) {
            parsed.error = "unknown statement in the -Command text: " + utf8(statement_text);
            return parsed;
        }
        parsed.statements.push_back(std::move(*statement));
    }
    return parsed;
}

class Interpreter {
public:
    // Returns the exit code once an exit statement runs.
    std::optional<DWORD> run(const Statement& statement) {
        return std::visit([this](const auto& s) { return apply(s); }, statement);
    }

private:
    std::optional<DWORD> apply(const OpenClient& s) {
        pipe_name_ = s.pipe_name;
        return std::nullopt;
    }
    std::optional<DWORD> apply(const Connect& s) {
        if (const DWORD error = pipe_.connect(pipe_name_, GENERIC_WRITE, s.timeout_ms); error != 0) {
            record("connect-failed " + pipe_error_name(error));
        } else {
            record("connected " + utf8(pipe_name_));
        }
        return std::nullopt;
    }
    std::optional<DWORD> apply(const MakeWriter&) { return std::nullopt; }
    std::optional<DWORD> apply(const WriteLine& s) {
        // As StreamWriter.WriteLine: the text in UTF-8 (lone surrogates
        // become U+FFFD), then CR LF.
        const std::string text = utf8(s.text);
        if (const DWORD error = pipe_.write(text + "\r\n", kWriteTimeoutMs); error != 0) {
            record("send-failed " + pipe_error_name(error) + " " + printable(text));
        } else {
            record("sent " + printable(text));
        }
        return std::nullopt;
    }
    std::optional<DWORD> apply(const Dispose&) {
        if (pipe_.connected()) record("closed");
        pipe_.close();
        return std::nullopt;
    }
    std::optional<DWORD> apply(const Exit& s) { return s.code; }

    std::wstring pipe_name_;
    PipeClient pipe_;
};

}  // namespace

int run_command_script(std::wstring_view text) {
    const Parsed parsed = parse(text);
    if (!parsed.error.empty()) {
        record_error(parsed.error);
        return kStandInFailure;
    }
    // Like PowerShell, a failing statement does not stop the ones after it;
    // the transcript shows what failed.
    Interpreter interpreter;
    for (const auto& statement : parsed.statements) {
        if (const auto code = interpreter.run(statement)) return static_cast<int>(*code);
    }
    return 0;
}

}  // namespace zelkora::standin
