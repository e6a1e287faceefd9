// The stand-in PowerShell of the Wine prefix, seen from a pipe served the way
// the setup serves its progress pipe: the bytes that arrive, the replies it
// records, the files it prepares and the exit codes it ends with.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <vector>

#include "core/progress_channel_win32.h"
#include "core/text_encoding.h"
#include "core/wide.h"
#include "file_tree.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace zelkora;
using namespace zelkora::test;

constexpr DWORD kStandInFailure = 99;

// The options record of the argument texts below, started by CreateProcessW
// with no show command.
const std::string kFileOptions = "options -NoProfile -NonInteractive -ExecutionPolicy Bypass -File window=default";

std::wstring standin_path() {
    std::wstring folder(32768, L'\0');
    folder.resize(::GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size())));
    return folder + L"\\WindowsPowerShell\\v1.0\\powershell.exe";
}

std::string utf8(std::wstring_view text) { return utf16_to_utf8(from_wide(text)); }

std::wstring unique_name(std::wstring_view stem) {
    static int counter = 0;
    return std::wstring(stem) + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

std::string file_bytes(const std::wstring& path) { return read_file(path).value_or(std::string()); }

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// One served pipe, created with the setup's flags and descriptor.
class PipeServer {
public:
    explicit PipeServer(const std::wstring& name) : pipe_(core::create_progress_pipe(from_wide(name))) {
        event_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }

    bool valid() const { return pipe_ && event_; }

    bool accept(std::chrono::milliseconds limit) {
        OVERLAPPED overlapped = fresh_overlapped();
        if (::ConnectNamedPipe(pipe_.get(), &overlapped)) return true;
        const DWORD error = ::GetLastError();
        if (error == ERROR_PIPE_CONNECTED) return true;
        if (error != ERROR_IO_PENDING) return false;
        DWORD ignored = 0;
        return finish(overlapped, limit, ignored);
    }

    // After the client has ended: did it ever connect? A client that came and
    // went leaves the pipe in the closing state.
    bool never_connected() {
        OVERLAPPED overlapped = fresh_overlapped();
        if (::ConnectNamedPipe(pipe_.get(), &overlapped)) return false;
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) return false;
        ::CancelIoEx(pipe_.get(), &overlapped);
        DWORD ignored = 0;
        ::GetOverlappedResult(pipe_.get(), &overlapped, &ignored, TRUE);
        return true;
    }

    void disconnect() { ::DisconnectNamedPipe(pipe_.get()); }

    ULONG client_process_id() const {
        ULONG id = 0;
        ::GetNamedPipeClientProcessId(pipe_.get(), &id);
        return id;
    }

    // Everything the client writes until it closes its end. Each complete
    // line goes to answer, and a non-empty answer is written back.
    std::string read_until_closed(const std::function<std::string(std::string_view line)>& answer = {}) {
        std::string received;
        std::size_t line_start = 0;
        for (;;) {
            char piece[4096];
            OVERLAPPED overlapped = fresh_overlapped();
            DWORD read = 0;
            const BOOL started = ::ReadFile(pipe_.get(), piece, sizeof(piece), nullptr, &overlapped);
            if (!started && ::GetLastError() != ERROR_IO_PENDING) return received;
            if (!finish(overlapped, 30s, read) || read == 0) return received;
            received.append(piece, read);
            for (auto end = received.find('\n', line_start); end != std::string::npos;
                 end = received.find('\n', line_start)) {
                const std::string_view line = std::string_view(received).substr(line_start, end - line_start);
                const std::string reply = answer ? answer(line) : std::string();
                line_start = end + 1;
                if (!reply.empty()) write(reply);
            }
        }
    }

private:
    OVERLAPPED fresh_overlapped() {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event_.get();
        ::ResetEvent(event_.get());
        return overlapped;
    }

    bool finish(OVERLAPPED& overlapped, std::chrono::milliseconds limit, DWORD& transferred) {
        if (::WaitForSingleObject(overlapped.hEvent, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
            ::CancelIoEx(pipe_.get(), &overlapped);
            ::GetOverlappedResult(pipe_.get(), &overlapped, &transferred, TRUE);
            return false;
        }
        return ::GetOverlappedResult(pipe_.get(), &overlapped, &transferred, FALSE) != FALSE;
    }

    void write(const std::string& bytes) {
        OVERLAPPED overlapped = fresh_overlapped();
        DWORD written = 0;
        if (::WriteFile(pipe_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &overlapped) ||
            ::GetLastError() == ERROR_IO_PENDING) {
            finish(overlapped, 30s, written);
        }
        EXPECT_EQ(written, bytes.size()) << "reply not written";
    }

    UniqueFile pipe_;
    UniqueHandle event_;
};

// A scratch folder for the scenario, its files and the transcript.
class StandInTest : public testing::Test {
protected:
    void SetUp() override { ::SetEnvironmentVariableW(L"ZELKORA_STANDIN_TRANSCRIPT", nullptr); }
    void TearDown() override { ::SetEnvironmentVariableW(L"ZELKORA_STANDIN_TRANSCRIPT", nullptr); }

    std::wstring path(std::wstring_view relative) const { return scratch_ / relative; }

    void write_scenario(const std::string& text) const {
        write_file(path(L"scenario.ps1"), text);
    }

    // The argument text of an ordinary installer run.
    std::wstring file_arguments(const std::wstring& pipe_name, std::wstring_view options = L"-Launch ") const {
        return L"-NoProfile -NonInteractive -ExecutionPolicy Bypass -File \"" + path(L"scenario.ps1") + L"\" " +
               std::wstring(options) + L"-ProgressPipe " + pipe_name;
    }

    ScratchFolder scratch_;
};

// The -Command text of a self-test, built as the setup builds it around the
// given statements.
std::wstring self_test_arguments(const std::wstring& pipe_name, std::wstring_view statements) {
    return L"-NoProfile -NonInteractive -Command \"$p=New-Object IO.Pipes.NamedPipeClientStream('.', '" +
           pipe_name +
           L"', [IO.Pipes.PipeDirection]::Out);$p.Connect(5000);"
           L"$w=New-Object IO.StreamWriter($p,[Text.UTF8Encoding]::new($false));$w.AutoFlush=$true;" +
           std::wstring(statements) + L"\"";
}

struct CommandCase {
    const char* name;
    const wchar_t* statements;
    bool connects;
    std::string bytes;
    DWORD exit_code;
};

void PrintTo(const CommandCase& c, std::ostream* out) { *out << c.name; }

class CommandForm : public StandInTest, public testing::WithParamInterface<CommandCase> {};

TEST_P(CommandForm, WritesEachLineWithCrLfAndExitsWithItsCode) {
    const auto& c = GetParam();
    const std::wstring pipe_name = unique_name(L"ZelkoraStandInTest-");
    PipeServer server(pipe_name);
    ASSERT_TRUE(server.valid()) << ::GetLastError();
    const std::wstring transcript = path(L"transcript.txt");
    ::SetEnvironmentVariableW(L"ZELKORA_STANDIN_TRANSCRIPT", transcript.c_str());
    const std::wstring arguments = self_test_arguments(pipe_name, c.statements);

    const auto standin = start_process(standin_path(), arguments);
    ASSERT_TRUE(standin) << "cannot start " << utf8(standin_path()) << ": " << ::GetLastError();
    if (c.connects) {
        ASSERT_TRUE(server.accept(15s));
        EXPECT_EQ(server.client_process_id(), standin->id);
        EXPECT_EQ(server.read_until_closed(), c.bytes);
    }
    EXPECT_EQ(wait_for_exit(*standin, 30s), c.exit_code);
    if (!c.connects) EXPECT_TRUE(server.never_connected());

    const auto records = lines_of(file_bytes(transcript));
    ASSERT_GE(records.size(), 3u);
    EXPECT_EQ(records[0], "started " + utf8(arguments));
    EXPECT_EQ(records[1], "options -NoProfile -NonInteractive -Command window=default");
    EXPECT_EQ(records.back(), "exit " + std::to_string(c.exit_code));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandForm,
    testing::Values(
        CommandCase{"hangul_quotes_and_exit_code",
                    L"$w.WriteLine('-5|preflight-complete-v1');$w.WriteLine('1|설치 파일을 확인하고 있어요');"
                    L"$w.WriteLine('-1|it''s; not | done');$w.Dispose();$p.Dispose();exit 3",
                    true,
                    "-5|preflight-complete-v1\r\n1|\xec\x84\xa4\xec\xb9\x98 \xed\x8c\x8c\xec\x9d\xbc\xec\x9d\x84 "
                    "\xed\x99\x95\xec\x9d\xb8\xed\x95\x98\xea\xb3\xa0 \xec\x9e\x88\xec\x96\xb4\xec\x9a\x94\r\n"
                    "-1|it's; not | done\r\n",
                    3},
        // A pair of surrogates is one code point; a lone one becomes U+FFFD.
        CommandCase{"astral_and_lone_surrogate",
                    L"$w.WriteLine('\U0001F600 \xD800.');$w.Dispose();$p.Dispose()", true,
                    "\xF0\x9F\x98\x80 \xEF\xBF\xBD.\r\n", 0},
        CommandCase{"no_exit_means_zero", L"$w.WriteLine('6|done');$w.Dispose();$p.Dispose()", true,
                    "6|done\r\n", 0},
        CommandCase{"unknown_statement_refused_before_connecting",
                    L"$w.WriteLine('1|x');Remove-Item C:\\x;exit 0", false, "", kStandInFailure}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StandInTest, ScenarioPreparesFilesSendsAndRecordsTheReply) {
    const std::wstring pipe_name = unique_name(L"ZelkoraStandInTest-");
    PipeServer server(pipe_name);
    ASSERT_TRUE(server.valid()) << ::GetLastError();
    write_scenario(
        "# prepares the bin folder, then talks as the installer script would\r\n"
        "transcript transcript.txt\r\n"
        "mkdir \"bin\\\xed\x95\x9c\xea\xb8\x80 \xed\x8f\xb4\xeb\x8d\x94\"\r\n"
        "fill \"bin\\\xed\x95\x9c\xea\xb8\x80 \xed\x8f\xb4\xeb\x8d\x94\\Zelkora.exe\" 1000\r\n"
        "file bin\\zelkora-client.json {\"version\":\"1.0.0\"}\r\n"
        "  send -5|preflight-complete-v1\r\n"
        "send 2|\xed\x94\x84\xeb\xa1\x9c\xea\xb7\xb8\xeb\x9e\xa8 # not a comment\r\n"
        "raw 31 7c 61 0a ff 0a\r\n"
        "write 3|partial \r\n"
        "send line\r\n"
        "long 20000 1|\r\n"
        "send -6|place-v1|client|1.0.0|-\r\n"
        "send -6|file|${size:bin\\\xed\x95\x9c\xea\xb8\x80 \xed\x8f\xb4\xeb\x8d\x94\\Zelkora.exe}|"
        "${sha256:bin\\\xed\x95\x9c\xea\xb8\x80 \xed\x8f\xb4\xeb\x8d\x94\\Zelkora.exe}|Zelkora.exe\r\n"
        "request -6|commit\r\n"
        "exit 7\r\n");
    const std::string digest = "a8af099bf2e878609558dbf69d8f88f4a31040a8cf84b549a0cfa912f12ffc3f";
    const std::wstring arguments = file_arguments(pipe_name);

    const auto standin = start_process(standin_path(), arguments);
    ASSERT_TRUE(standin) << ::GetLastError();
    ASSERT_TRUE(server.accept(15s));
    std::vector<std::string> requests;
    const std::string received = server.read_until_closed([&](std::string_view line) {
        if (line.starts_with("-6|")) requests.emplace_back(line);
        return line == "-6|commit\r" ? std::string("payload-v1|ok|1|0\n") : std::string();
    });
    EXPECT_EQ(wait_for_exit(*standin, 30s), 7u);

    const std::string long_line = "1|" + std::string(19998, 'x') + "\r\n";
    EXPECT_EQ(received, "-5|preflight-complete-v1\r\n2|\xed\x94\x84\xeb\xa1\x9c\xea\xb7\xb8\xeb\x9e\xa8 # not a "
                        "comment\r\n1|a\n\xff\n3|partial line\r\n" +
                            long_line + "-6|place-v1|client|1.0.0|-\r\n-6|file|1000|" + digest +
                            "|Zelkora.exe\r\n-6|commit\r\n");
    EXPECT_EQ(requests.size(), 3u);

    const std::wstring payload = path(L"bin\\한글 폴더\\Zelkora.exe");
    std::string pattern;
    for (int i = 0; i < 1000; ++i) pattern.push_back(static_cast<char>(i % 256));
    EXPECT_EQ(file_bytes(payload), pattern);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(payload + L".standin-partial")));
    EXPECT_EQ(file_bytes(path(L"bin\\zelkora-client.json")), "{\"version\":\"1.0.0\"}");

    EXPECT_EQ(lines_of(file_bytes(path(L"transcript.txt"))),
              (std::vector<std::string>{
                  "started " + utf8(arguments),
                  kFileOptions,
                  "created-folder " + utf8(path(L"bin\\한글 폴더")),
                  "created-file " + utf8(payload) + " 1000",
                  "created-file " + utf8(path(L"bin\\zelkora-client.json")) + " 19",
                  "connected " + utf8(pipe_name),
                  "sent -5|preflight-complete-v1",
                  "sent 2|\xed\x94\x84\xeb\xa1\x9c\xea\xb7\xb8\xeb\x9e\xa8 # not a comment",
                  "sent-bytes 317c610aff0a",
                  "wrote 3|partial ",
                  "sent line",
                  "sent-long 20000",
                  "sent -6|place-v1|client|1.0.0|-",
                  "sent -6|file|1000|" + digest + "|Zelkora.exe",
                  "sent -6|commit",
                  "received payload-v1|ok|1|0",
                  "exit 7",
              }));
}

TEST_F(StandInTest, ChildConnectsInsteadOfTheStandIn) {
    const std::wstring pipe_name = unique_name(L"ZelkoraStandInTest-");
    PipeServer server(pipe_name);
    ASSERT_TRUE(server.valid()) << ::GetLastError();
    write_scenario("transcript transcript.txt\nchild\nsend 1|from the child\nexit 4\n");
    const std::wstring arguments = file_arguments(pipe_name, L"");

    const auto standin = start_process(standin_path(), arguments);
    ASSERT_TRUE(standin) << ::GetLastError();
    ASSERT_TRUE(server.accept(15s));
    const ULONG client = server.client_process_id();
    EXPECT_NE(client, 0u);
    EXPECT_NE(client, standin->id);
    EXPECT_EQ(server.read_until_closed(), "1|from the child\r\n");
    EXPECT_EQ(wait_for_exit(*standin, 30s), 4u);

    EXPECT_EQ(lines_of(file_bytes(path(L"transcript.txt"))),
              (std::vector<std::string>{
                  "started " + utf8(arguments),
                  kFileOptions,
                  "child-started " + std::to_string(client),
                  "connected " + utf8(pipe_name),
                  "sent 1|from the child",
                  "child-exited 4",
                  "exit 4",
              }));
}

// The server goes away instead of answering: the stand-in records that and
// goes on to its exit rather than waiting for a reply that cannot come.
TEST_F(StandInTest, RequestWithoutReplyIsRecordedAndTheScenarioGoesOn) {
    const std::wstring pipe_name = unique_name(L"ZelkoraStandInTest-");
    PipeServer server(pipe_name);
    ASSERT_TRUE(server.valid()) << ::GetLastError();
    write_scenario("transcript transcript.txt\nrequest -6|commit\nsend 1|after\nexit 2\n");

    const auto standin = start_process(standin_path(), file_arguments(pipe_name));
    ASSERT_TRUE(standin) << ::GetLastError();
    ASSERT_TRUE(server.accept(15s));
    server.read_until_closed([&](std::string_view) {
        server.disconnect();
        return std::string();
    });
    EXPECT_EQ(wait_for_exit(*standin, 30s), 2u);

    const auto records = lines_of(file_bytes(path(L"transcript.txt")));
    ASSERT_EQ(records.size(), 7u);
    EXPECT_EQ(records[3], "sent -6|commit");
    EXPECT_TRUE(records[4].starts_with("no-reply ")) << records[4];
    EXPECT_TRUE(records[5].starts_with("send-failed ") && records[5].ends_with(": sent 1|after")) << records[5];
    EXPECT_EQ(records[6], "exit 2");
}

struct SilentCase {
    const char* name;
    std::string scenario;
    const wchar_t* options;
    DWORD exit_code;
    std::string last_records;  // the transcript after the "started" record
};

void PrintTo(const SilentCase& c, std::ostream* out) { *out << c.name; }

class SilentScenario : public StandInTest, public testing::WithParamInterface<SilentCase> {};

// Runs that never touch the pipe: on purpose, or because the scenario or
// the command line is refused before anything happens.
TEST_P(SilentScenario, NeverConnectsAndEndsWithItsCode) {
    const auto& c = GetParam();
    const std::wstring pipe_name = unique_name(L"ZelkoraStandInTest-");
    PipeServer server(pipe_name);
    ASSERT_TRUE(server.valid()) << ::GetLastError();
    write_scenario(c.scenario);
    const std::wstring transcript = path(L"transcript.txt");
    ::SetEnvironmentVariableW(L"ZELKORA_STANDIN_TRANSCRIPT", transcript.c_str());

    const auto standin = start_process(standin_path(), file_arguments(pipe_name, c.options));
    ASSERT_TRUE(standin) << ::GetLastError();
    EXPECT_EQ(wait_for_exit(*standin, 30s), c.exit_code);
    EXPECT_TRUE(server.never_connected());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path(L"made-too-early"))));

    const std::string records = file_bytes(transcript);
    ASSERT_TRUE(records.starts_with("started ")) << records;
    EXPECT_EQ(records.substr(records.find('\n') + 1), c.last_records);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SilentScenario,
    testing::Values(
        SilentCase{"never_connects", "# waits, then ends\nsleep 200\nexit 5\n", L"-Launch ", 5,
                   kFileOptions + "\nexit 5\n"},
        SilentCase{"late_syntax_error_runs_nothing", "mkdir made-too-early\nsend 1|x\nfrobnicate now\n",
                   L"-Launch ", kStandInFailure,
                   kFileOptions + "\nerror line 3: frobnicate: unknown command 'frobnicate'\nexit 99\n"},
        SilentCase{"unknown_substitution", "mkdir made-too-early\nsend ${size}\n", L"", kStandInFailure,
                   kFileOptions + "\nerror line 2: send: unknown substitution ${size}\nexit 99\n"},
        // The stand-in's own decoder refuses what strict UTF-8 refuses.
        SilentCase{"encoded_surrogate", "mkdir made-too-early\nsend \xED\xA0\x80\n", L"", kStandInFailure,
                   kFileOptions + "\nerror line 0: the scenario is not valid UTF-8\nexit 99\n"},
        SilentCase{"overlong_form", "mkdir made-too-early\nsend \xC0\xAF\n", L"", kStandInFailure,
                   kFileOptions + "\nerror line 0: the scenario is not valid UTF-8\nexit 99\n"},
        SilentCase{"unknown_script_parameter", "mkdir made-too-early\n", L"-Launch -Bogus ", kStandInFailure,
                   "error unknown script parameter -Bogus\nexit 99\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

struct WaitCase {
    const char* name;
    std::string scenario;
    bool blocks;               // waits until the server breaks the pipe
    std::string ended_record;  // the record before "exit 3"
};

void PrintTo(const WaitCase& c, std::ostream* out) { *out << c.name; }

class PipeWait : public StandInTest, public testing::WithParamInterface<WaitCase> {};

// The server accepts and never reads or answers. Like PowerShell, the
// stand-in then waits for ever, unless the scenario sets a limit; a broken
// pipe ends the wait.
TEST_P(PipeWait, LastsAsLongAsTheScenarioSays) {
    const auto& c = GetParam();
    const std::wstring pipe_name = unique_name(L"ZelkoraStandInTest-");
    PipeServer server(pipe_name);
    ASSERT_TRUE(server.valid()) << ::GetLastError();
    write_scenario("transcript transcript.txt\n" + c.scenario + "exit 3\n");

    const auto standin = start_process(standin_path(), file_arguments(pipe_name));
    ASSERT_TRUE(standin) << ::GetLastError();
    ASSERT_TRUE(server.accept(15s));
    if (c.blocks) {
        EXPECT_FALSE(wait_for_exit(*standin, 3s).has_value()) << "gave up without being told to";
        server.disconnect();
    }
    EXPECT_EQ(wait_for_exit(*standin, 15s), 3u);

    const auto records = lines_of(file_bytes(path(L"transcript.txt")));
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[records.size() - 2], c.ended_record);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PipeWait,
    testing::Values(
        WaitCase{"write_blocks_past_the_pipe_buffer", "long 20000\n", true,
                 "send-failed not-connected: sent-long 20000"},
        WaitCase{"reply_is_awaited_for_ever", "request -6|commit\n", true, "no-reply not-connected"},
        WaitCase{"write_time_out", "write-timeout 300\nlong 20000\n", false, "send-failed timeout: sent-long 20000"},
        WaitCase{"reply_time_out", "reply-timeout 300\nrequest -6|commit\n", false, "no-reply timeout"},
        WaitCase{"zero_means_for_ever", "write-timeout 300\nwrite-timeout 0\nlong 20000\n", true,
                 "send-failed not-connected: sent-long 20000"}),
    [](const auto& info) { return std::string(info.param.name); });

// The detached child keeps writing on the pipe its parent connected, after
// the parent has ended with its own code.
TEST_F(StandInTest, DetachedChildKeepsThePipeAfterTheStandInExits) {
    const std::wstring pipe_name = unique_name(L"ZelkoraStandInTest-");
    PipeServer server(pipe_name);
    ASSERT_TRUE(server.valid()) << ::GetLastError();
    write_scenario("transcript transcript.txt\nsend 1|parent\ndetach 5\nsleep 500\nsend 2|child\nexit 7\n");
    const std::wstring arguments = file_arguments(pipe_name);

    const auto standin = start_process(standin_path(), arguments);
    ASSERT_TRUE(standin) << ::GetLastError();
    ASSERT_TRUE(server.accept(15s));
    EXPECT_EQ(wait_for_exit(*standin, 15s), 5u);
    EXPECT_EQ(server.client_process_id(), standin->id);
    EXPECT_EQ(server.read_until_closed(), "1|parent\r\n2|child\r\n");

    const auto records = lines_of(file_bytes(path(L"transcript.txt")));
    ASSERT_EQ(records.size(), 8u) << file_bytes(path(L"transcript.txt"));
    EXPECT_EQ(records[0], "started " + utf8(arguments));
    EXPECT_EQ(records[1], kFileOptions);
    EXPECT_EQ(records[2], "connected " + utf8(pipe_name));
    EXPECT_EQ(records[3], "sent 1|parent");
    EXPECT_TRUE(records[4].starts_with("detached ")) << records[4];
    EXPECT_EQ(records[5], "exit 5");
    EXPECT_EQ(records[6], "sent 2|child");
    EXPECT_EQ(records[7], "detached-exit 7");
}

}  // namespace

namespace {

struct OptionCase {
    const char* name;
    std::wstring arguments;  // "{folder}" stands for the scenario's folder
    DWORD exit_code;
    std::string second_record;  // after "started": the options read, or the refusal
};

void PrintTo(const OptionCase& c, std::ostream* out) { *out << c.name; }

class PowerShellOptions : public StandInTest, public testing::WithParamInterface<OptionCase> {
protected:
    std::wstring with_folder(std::wstring text) const {
        const std::wstring folder = scratch_.path();
        for (auto at = text.find(L"{folder}"); at != std::wstring::npos; at = text.find(L"{folder}", at + folder.size())) {
            text.replace(at, 8, folder);
        }
        return text;
    }
};

// The options before -File as Windows PowerShell reads them: any case, "-"
// or "/", names shortened to a unique prefix, values checked. What
// PowerShell would refuse ends the run before the scenario does anything.
TEST_P(PowerShellOptions, AreReadAsPowerShellReadsThem) {
    const auto& c = GetParam();
    write_scenario("mkdir made-by-the-scenario\nexit 4\n");
    write_file(path(L"scenario.txt"), "exit 4\n");
    const std::wstring transcript = path(L"transcript.txt");
    ::SetEnvironmentVariableW(L"ZELKORA_STANDIN_TRANSCRIPT", transcript.c_str());
    const std::wstring arguments = with_folder(c.arguments);

    const auto standin = start_process(standin_path(), arguments);
    ASSERT_TRUE(standin) << ::GetLastError();
    EXPECT_EQ(wait_for_exit(*standin, 30s), c.exit_code);
    EXPECT_EQ(std::filesystem::exists(std::filesystem::path(path(L"made-by-the-scenario"))), c.exit_code == 4);

    const auto records = lines_of(file_bytes(transcript));
    ASSERT_GE(records.size(), 3u) << file_bytes(transcript);
    EXPECT_EQ(records[0], "started " + utf8(arguments));
    EXPECT_EQ(records[1], utf8(with_folder(std::wstring(c.second_record.begin(), c.second_record.end()))));
    EXPECT_EQ(records.back(), "exit " + std::to_string(c.exit_code));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PowerShellOptions,
    testing::Values(
        OptionCase{"short_forms", L"/nop -NONI -ep bypass -w hidden -f \"{folder}\\scenario.ps1\"", 4,
                   "options -NoProfile -NonInteractive -ExecutionPolicy Bypass -WindowStyle Hidden -File "
                   "window=default"},
        OptionCase{"prefixes_and_values_in_any_case",
                   L"-NoLogo -noprofile -exec REMOTESIGNED -InputFormat xml -File \"{folder}\\scenario.ps1\" -Launch",
                   4, "options -NoLogo -NoProfile -ExecutionPolicy RemoteSigned -InputFormat XML -File window=default"},
        OptionCase{"unknown_option", L"-NoProfile -Bogus -File \"{folder}\\scenario.ps1\"", kStandInFailure,
                   "error unknown PowerShell option -Bogus"},
        OptionCase{"ambiguous_prefix", L"-no -File \"{folder}\\scenario.ps1\"", kStandInFailure,
                   "error unknown PowerShell option -no"},
        OptionCase{"policy_without_value", L"-NoProfile -ExecutionPolicy", kStandInFailure,
                   "error missing value for -ExecutionPolicy"},
        OptionCase{"unknown_policy", L"-ExecutionPolicy Sometimes -File \"{folder}\\scenario.ps1\"", kStandInFailure,
                   "error invalid value Sometimes for -ExecutionPolicy"},
        OptionCase{"unknown_window_style", L"-WindowStyle Invisible -File \"{folder}\\scenario.ps1\"",
                   kStandInFailure, "error invalid value Invisible for -WindowStyle"},
        OptionCase{"script_without_ps1_extension", L"-File \"{folder}\\scenario.txt\"", kStandInFailure,
                   "error -File {folder}\\scenario.txt does not have a '.ps1' extension"},
        OptionCase{"missing_script", L"-File \"{folder}\\missing.ps1\"", kStandInFailure,
                   "error the argument {folder}\\missing.ps1 to -File does not exist"},
        OptionCase{"neither_file_nor_command", L"-NoProfile -NonInteractive", kStandInFailure,
                   "error neither -Command nor -File given"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The setup's self-test starts PowerShell with the options a hidden,
// non-interactive run of a -Command text needs (no execution policy
// applies to a command text).
TEST(ProductCommandLine, SelfTestStartsPowerShellHiddenWithoutProfileOrPrompt) {
    ScratchFolder scratch;
    const std::wstring transcript = scratch / L"transcript.txt";
    ASSERT_TRUE(::SetEnvironmentVariableW(L"ZELKORA_STANDIN_TRANSCRIPT", transcript.c_str()));
    const auto run = run_capturing_output(setup_exe_path(), L"--selftest", 60s);
    ::SetEnvironmentVariableW(L"ZELKORA_STANDIN_TRANSCRIPT", nullptr);
    ASSERT_TRUE(run);
    const auto records = lines_of(file_bytes(transcript));
    ASSERT_GE(records.size(), 2u) << file_bytes(transcript);
    EXPECT_EQ(records[1], "options -NoProfile -NonInteractive -Command window=hidden");
}

}  // namespace
