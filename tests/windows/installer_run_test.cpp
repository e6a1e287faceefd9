// Whole installer runs, end to end: the real setup executable under Wine, the
// stand-in PowerShell running a scenario as Install-Client.ps1, the real pipe.
// The test acts as the user: it presses buttons, answers dialogs and reads
// the copied diagnostics, which show the outcome exactly.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>
#include <string>

#include "core/outcome_messages.h"
#include "core/path_join.h"
#include "core/wide.h"
#include "file_tree.h"
#include "setup_version.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace zelkora::test;
namespace fs = std::filesystem;

constexpr wchar_t kSetupClass[] = L"ZelkoraProductSetup028";
constexpr wchar_t kDialogClass[] = L"ZelkoraSetupConfirmation";
constexpr wchar_t kCompleted[] = L"닫기";
constexpr wchar_t kFailed[] = L"다시 시도";

std::wstring button_text(HWND window, int id) { return window_text(::GetDlgItem(window, id)); }

bool contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

std::wstring interrupted_message(int highest_step) {
    return zelkora::to_wide(zelkora::core::interrupted_installer_message(zelkora::core::Flavour::client,
                                                                         highest_step));
}

// One case folder in the prefix: the setup executable with a scenario beside
// it as Install-Client.ps1.
class InstallerRun : public testing::Test {
protected:
    void prepare(const std::wstring& folder_path, const std::string* scenario) {
        folder_ = folder_path;
        make_folders(folder_);
        if (scenario) write_script(*scenario);
        ASSERT_TRUE(::CopyFileW(setup_exe_path().c_str(), setup_path().c_str(), FALSE)) << ::GetLastError();
    }

    void prepare(const std::string& case_name, const std::string& scenario) {
        const fs::path folder = fs::path(L"C:\\zelkora-e2e") / case_name;
        fs::remove_all(folder);
        prepare(folder.wstring(), &scenario);
    }

    void write_script(const std::string& scenario) {
        write_file(zelkora::core::join_path(folder_, L"Install-Client.ps1"), "transcript transcript.txt\n" + scenario);
    }

    std::wstring setup_path() const {
        return zelkora::core::join_path(folder_, zelkora::to_wide(zelkora::kSetupFileName));
    }

    std::string transcript() const {
        return read_file(zelkora::core::join_path(folder_, L"transcript.txt")).value_or(std::string());
    }

    void start() {
        auto started = start_process(setup_path(), L"");
        ASSERT_TRUE(started) << ::GetLastError();
        setup_ = std::move(*started);
        window_ = wait_for_window(setup_.id, kSetupClass, 15s);
        ASSERT_NE(window_, nullptr);
    }

    HWND wait_for_dialog() { return wait_for_window(setup_.id, kDialogClass, 10s); }

    // Presses "설치 시작" and answers the install confirmation.
    void start_installation(bool accept = true) {
        press_button(window_, 1);
        const HWND dialog = wait_for_dialog();
        ASSERT_NE(dialog, nullptr) << "no install confirmation";
        EXPECT_EQ(window_text(dialog), L"설치 내용 확인");
        ::PostMessageW(dialog, WM_COMMAND, accept ? IDOK : IDCANCEL, 0);
    }

    void expect_result(const wchar_t* primary_text) {
        ASSERT_TRUE(wait_for_text(::GetDlgItem(window_, 1), primary_text, 30s))
            << "button 1 reads " << zelkora::from_wide(button_text(window_, 1)).size() << " units";
    }

    std::optional<DWORD> close_and_wait(int button) {
        press_button(window_, button);
        return wait_for_exit(setup_, 15s);
    }

    // A failed case must not leave its setup behind: it would hold this
    // test program's output open until the group's time-out.
    void TearDown() override {
        if (setup_.process && !wait_for_exit(setup_, 0ms)) ::TerminateProcess(setup_.process.get(), 99);
    }

    std::wstring folder_;
    StartedProcess setup_;
    HWND window_ = nullptr;
};

const std::string kCompletedScenario =
    "send 0|준비\nsend 1|파일 확인\nsend 2|배치\nsend 3|정보\nsend 4|바로가기\nsend 5|무결성\nsend 6|완료\n";

// Also shows that lines written right before the script exits are applied.
TEST_F(InstallerRun, CompletedRunReportsCompletionAndExitsZero) {
    prepare("completed", kCompletedScenario);
    start();
    start_installation();
    expect_result(kCompleted);
    const auto diagnostics = copied_diagnostics(window_);
    EXPECT_TRUE(contains(diagnostics, L"설치 결과: 완료")) << zelkora::from_wide(diagnostics).size();
    EXPECT_TRUE(contains(diagnostics, L"완료 단계: 6 / 6"));
    EXPECT_NE(transcript().find("-Launch -ProgressPipe ZelkoraHostSetup-"), std::string::npos);
    EXPECT_EQ(close_and_wait(1), 0u);
}

TEST_F(InstallerRun, DecliningTheConfirmationStartsNothing) {
    prepare("declined", kCompletedScenario);
    start();
    start_installation(false);
    ::Sleep(1000);
    EXPECT_EQ(button_text(window_, 1), L"설치 시작");
    EXPECT_TRUE(transcript().empty()) << transcript();
    EXPECT_EQ(close_and_wait(2), 0u);
}

struct FailedRunCase {
    const char* name;
    std::string scenario;
    int highest_step;
    bool interrupted_message;
};

class FailedRuns : public InstallerRun, public testing::WithParamInterface<FailedRunCase> {};

TEST_P(FailedRuns, EndInTheFailedViewWithWhatArrived) {
    prepare(GetParam().name, GetParam().scenario);
    start();
    start_installation();
    expect_result(kFailed);
    const auto diagnostics = copied_diagnostics(window_);
    EXPECT_TRUE(contains(diagnostics, L"설치 결과: 실패"));
    EXPECT_TRUE(contains(diagnostics, L"완료 단계: " + std::to_wstring(GetParam().highest_step) + L" / 6"));
    if (GetParam().interrupted_message) {
        EXPECT_TRUE(contains(diagnostics, interrupted_message(GetParam().highest_step)));
    }
    EXPECT_EQ(close_and_wait(2), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedRuns,
    testing::Values(
        FailedRunCase{"exit_zero_after_step_five",
                      "send 0|a\nsend 3|b\nsend 5|c\nexit 0\n", 5, true},
        FailedRunCase{"step_six_then_exit_three", "send 0|a\nsend 6|d\nexit 3\n", 6, false},
        FailedRunCase{"final_line_without_line_feed",
                      "send 0|a\nsend 5|c\nwrite 6|never applied\nexit 0\n", 5, true},
        FailedRunCase{"overlong_line_ends_the_channel",
                      "send 0|a\nsend 3|b\nlong 20000 4|\nsend 6|d\nexit 0\n", 3, true},
        FailedRunCase{"client_is_a_child_of_powershell", "child\n" + kCompletedScenario, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InstallerRun, ChildClientReallySentItsLines) {
    prepare("child_transcript", "child\n" + kCompletedScenario);
    start();
    start_installation();
    expect_result(kFailed);
    EXPECT_NE(transcript().find("sent 6|"), std::string::npos) << transcript();
    EXPECT_EQ(close_and_wait(2), 1u);
}

struct ScriptFolder {
    const char* name;
    const wchar_t* folder;
    bool start_empty;  // the link fixture folder is prepared outside the test
};

class MissingScript : public InstallerRun, public testing::WithParamInterface<ScriptFolder> {};

TEST_P(MissingScript, ShowsTheMissingTextInTheFailedView) {
    if (GetParam().start_empty) fs::remove_all(GetParam().folder);
    prepare(GetParam().folder, nullptr);
    start();
    start_installation();
    expect_result(kFailed);
    EXPECT_TRUE(contains(copied_diagnostics(window_), L"설치 파일이 없어요. 설치 EXE를 다시 내려받아 실행하세요."));
    EXPECT_EQ(close_and_wait(2), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, MissingScript,
                         testing::Values(ScriptFolder{"absent", L"C:\\zelkora-e2e\\missing", true},
                                         ScriptFolder{"unix_symbolic_link", L"C:\\zelkora-links\\script-link", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(InstallerRun, ClosingDuringInstallationInformsAndKeepsTheWindow) {
    prepare("close_while_running", "send 0|a\nsleep 4000\n" + kCompletedScenario);
    start();
    start_installation();
    ASSERT_TRUE(wait_for_text(::GetDlgItem(window_, 1), L"설치 중…", 10s));
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
    const HWND notice = wait_for_dialog();
    ASSERT_NE(notice, nullptr) << "no information dialog";
    EXPECT_EQ(window_text(notice), L"설치가 진행 중이에요");
    ::PostMessageW(notice, WM_COMMAND, IDCANCEL, 0);
    press_button(window_, 2);  // the cancel button does nothing while installing
    expect_result(kCompleted);
    EXPECT_TRUE(::IsWindow(window_));
    EXPECT_EQ(close_and_wait(1), 0u);
}

TEST_F(InstallerRun, RetryAfterAFailureStartsAFreshRun) {
    prepare("retry", "send 0|a\nsend 2|b\nsend -1|첫 시도 실패\nexit 1\n");
    start();
    start_installation();
    expect_result(kFailed);
    EXPECT_TRUE(contains(copied_diagnostics(window_), L"첫 시도 실패"));
    write_script(kCompletedScenario);
    start_installation();
    expect_result(kCompleted);
    const auto diagnostics = copied_diagnostics(window_);
    EXPECT_TRUE(contains(diagnostics, L"설치 결과: 완료"));
    EXPECT_FALSE(contains(diagnostics, L"첫 시도 실패"));
    EXPECT_EQ(close_and_wait(1), 0u);
}

}  // namespace

namespace {

// The shipped setup trusts only the system's principals, and Wine reports
// every file as owned by the Wine user: every placement must be refused.
TEST_F(InstallerRun, PayloadRequestsAreAnsweredOnThePipeAndFailClosedUnderWine) {
    const std::string destination = "\"C:\\Program Files\\Zelkora\\Client\\1.0.0\"";
    prepare("payload_over_pipe",
            "mkdir bin\n"
            "file bin/a.txt hello\n"
            "mkdir " + destination + "\n"
            "file \"C:\\Program Files\\Zelkora\\Client\\1.0.0\\zelkora-client.json\" {}\n"
            "send 0|a\n"
            "request -6|\n"
            "request -6|commit\n"
            "send -6|place-v1|client|1.0.0|-\n"
            "send -6|file|${size:bin/a.txt}|${sha256:bin/a.txt}|a.txt\n"
            "request -6|commit\n"
            "send 6|d\n");
    start();
    start_installation();
    expect_result(kCompleted);
    const std::string log = transcript();
    const std::string invalid = "received payload-v1|error|payload_request_invalid\n";
    const auto first = log.find(invalid);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(invalid, first + 1), std::string::npos) << log;
    EXPECT_NE(log.find("received payload-v1|error|payload_destination_unprotected\n"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(L"C:\\Program Files\\Zelkora\\Client\\1.0.0\\a.txt"));
    EXPECT_EQ(close_and_wait(1), 0u);
}

}  // namespace

namespace {

GUITHREADINFO gui_thread_info(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
    return info;
}

// The id of the control of `parent` that has the keyboard focus; 0 when the
// focus is elsewhere or nowhere.
int focused_id(HWND parent) {
    const HWND focus = gui_thread_info(parent).hwndFocus;
    return focus && ::GetParent(focus) == parent ? ::GetDlgCtrlID(focus) : 0;
}

// Types one key as a person does: the setup's active window is brought to
// the front and the key goes through the system's input queue to whatever
// has the focus there, or to nothing when nothing has it.
void type_key(HWND window, WORD key, bool shift = false) {
    const HWND active = gui_thread_info(window).hwndActive;
    const HWND front = active ? active : window;
    if (::GetForegroundWindow() != front) ::SetForegroundWindow(front);
    std::vector<INPUT> inputs;
    const auto add = [&](WORD code, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = code;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    if (shift) add(VK_SHIFT, false);
    add(key, false);
    add(key, true);
    if (shift) add(VK_SHIFT, true);
    ASSERT_EQ(::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)), inputs.size());
}

class KeyboardRun : public InstallerRun {
protected:
    // Keys typed before the window has shown itself would go elsewhere.
    void start_with_focus() {
        start();
        ASSERT_TRUE(focus_reaches(window_, 1)) << "button 1 has no focus at the start";
    }

    // Tabs until `id` of `parent` has the focus.
    bool tab_to(HWND parent, int id) {
        for (int step = 0; step < 6 && focused_id(parent) != id; ++step) {
            const int before = focused_id(parent);
            type_key(window_, VK_TAB);
            wait_until([&] { return focused_id(parent) != before; }, 2s);
        }
        return focused_id(parent) == id;
    }

    bool focus_reaches(HWND parent, int id) {
        return wait_until([&] { return focused_id(parent) == id; }, 3s);
    }

    // The install confirmation, once it shows and its default button has the focus.
    HWND open_confirmation_by_enter() {
        type_key(window_, VK_RETURN);
        const HWND dialog = wait_for_dialog();
        if (dialog && !focus_reaches(dialog, 1)) ADD_FAILURE() << "the confirmation has no focus";
        return dialog;
    }

    bool dialog_gone(HWND dialog) {
        return wait_until([&] { return !::IsWindow(dialog); }, 5s);
    }
};

// Enter presses the default button, Escape cancels, in the window and in its
// dialog alike; the focus returns to button 1 when the dialog goes.
TEST_F(KeyboardRun, EnterOpensTheConfirmationEscapeDeclinesAndEscapeCloses) {
    prepare("keyboard", kCompletedScenario);
    start_with_focus();
    const HWND dialog = open_confirmation_by_enter();
    ASSERT_NE(dialog, nullptr) << "Enter did not open the confirmation";
    type_key(window_, VK_ESCAPE);
    ASSERT_TRUE(dialog_gone(dialog)) << "Escape did not close the confirmation";
    EXPECT_TRUE(focus_reaches(window_, 1));
    EXPECT_EQ(button_text(window_, 1), L"설치 시작");
    EXPECT_TRUE(transcript().empty());
    type_key(window_, VK_ESCAPE);
    EXPECT_EQ(wait_for_exit(setup_, 15s), 0u);
}

TEST_F(KeyboardRun, EnterOnTheFocusedCancelButtonDeclinesTheConfirmation) {
    prepare("keyboard_cancel", kCompletedScenario);
    start_with_focus();
    const HWND dialog = open_confirmation_by_enter();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(tab_to(dialog, 2));
    type_key(window_, VK_RETURN);
    ASSERT_TRUE(dialog_gone(dialog));
    ::Sleep(1000);
    EXPECT_EQ(button_text(window_, 1), L"설치 시작");
    EXPECT_TRUE(transcript().empty()) << "the installation started: " << transcript();
    EXPECT_TRUE(focus_reaches(window_, 1));
    type_key(window_, VK_ESCAPE);
    EXPECT_EQ(wait_for_exit(setup_, 15s), 0u);
}

// Button 1 is disabled while installing; when the result appears the
// keyboard works again without a click.
TEST_F(KeyboardRun, TheResultViewTakesKeysAtOnce) {
    prepare("keyboard_result", kCompletedScenario);
    start_with_focus();
    const HWND dialog = open_confirmation_by_enter();
    ASSERT_NE(dialog, nullptr);
    type_key(window_, VK_RETURN);
    expect_result(kCompleted);
    EXPECT_TRUE(focus_reaches(window_, 1)) << "nothing has the focus in the result view";
    type_key(window_, VK_RETURN);
    EXPECT_EQ(wait_for_exit(setup_, 15s), 0u);
}

TEST_F(KeyboardRun, EnterOnTheFocusedCloseButtonOfTheFailedViewCloses) {
    prepare("keyboard_failed", "send 0|a\nsend -1|실패\nexit 1\n");
    start_with_focus();
    ASSERT_NE(open_confirmation_by_enter(), nullptr);
    type_key(window_, VK_RETURN);
    expect_result(kFailed);
    // The view is settled once the focus is back on button 1.
    ASSERT_TRUE(focus_reaches(window_, 1));
    ASSERT_TRUE(tab_to(window_, 2));
    type_key(window_, VK_RETURN);
    const auto exit_code = wait_for_exit(setup_, 10s);
    EXPECT_EQ(exit_code, 1u);
    if (!exit_code) {
        EXPECT_EQ(wait_for_dialog(), nullptr) << "Enter on 닫기 asked to retry";
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
    }
}

// Tab and Shift+Tab leave the diagnostics field as they leave a button, and
// Escape in the field closes the window as it does elsewhere.
TEST_F(KeyboardRun, TabLeavesTheDiagnosticsFieldAndEscapeThereCloses) {
    prepare("keyboard_field", "send 0|a\nsend -2|확인 필요: 가상 화면 설정을 확인하세요.\nsend 6|완료\n");
    start_with_focus();
    ASSERT_NE(open_confirmation_by_enter(), nullptr);
    type_key(window_, VK_RETURN);
    expect_result(kCompleted);
    ASSERT_TRUE(focus_reaches(window_, 1));
    ASSERT_TRUE(wait_until([&] { return ::IsWindowVisible(::GetDlgItem(window_, 4)) != FALSE; }, 3s))
        << "no details to show";
    ASSERT_TRUE(tab_to(window_, 4));
    type_key(window_, VK_RETURN);
    ASSERT_TRUE(wait_until([&] { return ::IsWindowVisible(::GetDlgItem(window_, 5)) != FALSE; }, 3s));
    EXPECT_TRUE(focus_reaches(window_, 4));
    type_key(window_, VK_TAB);
    ASSERT_TRUE(focus_reaches(window_, 5));
    type_key(window_, VK_TAB);
    EXPECT_TRUE(focus_reaches(window_, 1)) << "Tab is trapped in the field";
    type_key(window_, VK_TAB, true);
    ASSERT_TRUE(focus_reaches(window_, 5));
    type_key(window_, VK_TAB, true);
    EXPECT_TRUE(focus_reaches(window_, 4)) << "Shift+Tab is trapped in the field";
    type_key(window_, VK_TAB);
    ASSERT_TRUE(focus_reaches(window_, 5));
    type_key(window_, VK_ESCAPE);
    EXPECT_EQ(wait_for_exit(setup_, 15s), 0u);
}

// E:\ is a folder of the prefix mapped as a drive (tests/wine/make-link-fixtures):
// the setup's folder is then the volume root itself.
TEST_F(InstallerRun, SetupAtAVolumeRootFindsItsScript) {
    for (const wchar_t* name : {L"Install-Client.ps1", L"transcript.txt"}) {
        ::DeleteFileW((std::wstring(L"E:\\") + name).c_str());
    }
    prepare(L"E:\\", &kCompletedScenario);
    start();
    start_installation();
    expect_result(kCompleted);
    EXPECT_TRUE(contains(copied_diagnostics(window_), L"설치 결과: 완료"));
    EXPECT_EQ(close_and_wait(1), 0u);
}

}  // namespace

namespace {

// Runs where the setup stops reading before the script is done, or where the
// pipe outlives PowerShell. The transcript shows what the script went through.
class ChannelEnd : public InstallerRun {
protected:
    bool wait_for_record(const std::string& record, std::chrono::milliseconds limit) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (transcript().find(record) != std::string::npos) return true;
            ::Sleep(100);
        }
        return false;
    }
};

struct AbandonedScriptCase {
    const char* name;
    std::string scenario;
    int highest_step;
};

void PrintTo(const AbandonedScriptCase& c, std::ostream* out) { *out << c.name; }

class AbandonedScript : public ChannelEnd, public testing::WithParamInterface<AbandonedScriptCase> {};

// Once the reader has given up on the pipe, a script that goes on writing
// past the pipe's 4 KiB, or waits for a reply, would block for ever, as
// PowerShell does: the window would stay on "설치 중…" and could not be
// closed. Its writes and reads must fail instead, so that the script ends.
TEST_P(AbandonedScript, EndsWithinSecondsInTheFailedView) {
    prepare(GetParam().name, GetParam().scenario);
    start();
    start_installation();
    expect_result(kFailed);
    const auto diagnostics = copied_diagnostics(window_);
    EXPECT_TRUE(contains(diagnostics, L"완료 단계: " + std::to_wstring(GetParam().highest_step) + L" / 6"));
    // Released by the disconnect: the stand-in has no time-out of its own.
    EXPECT_NE(transcript().find(" not-connected"), std::string::npos) << transcript();
    EXPECT_EQ(close_and_wait(2), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AbandonedScript,
    testing::Values(
        AbandonedScriptCase{"overlong_line_then_more_writes",
                            "send 0|a\nsend 3|b\nlong 20000 4|\nlong 8000 5|\nsend 6|d\nexit 0\n", 3},
        AbandonedScriptCase{"overlong_line_then_request_without_time_out",
                            "send 0|a\nsend 2|b\nlong 20000 3|\nrequest -6|commit\nsend 6|d\nexit 0\n", 2},
        // The child writes after the reader has refused it.
        AbandonedScriptCase{"child_client_requests_without_time_out",
                            "child\nconnect\nsleep 1000\nrequest -6|commit\nsend 6|d\nexit 0\n", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A process the script left behind still holds the pipe and reports a
// failure after PowerShell has exited with a completed run. The outcome was
// decided when the grace period ran out; the late line must not change it.
TEST_F(ChannelEnd, LateFailureFromALeftoverProcessLeavesTheCompletedRunAlone) {
    prepare("late_failure_after_completion", kCompletedScenario + "detach 0\nsleep 4000\nsend -1|늦은 실패\n");
    start();
    start_installation();
    expect_result(kCompleted);
    ASSERT_TRUE(wait_for_record("sent -1|늦은 실패\ndetached-exit 0\n", 20s)) << transcript();
    ::Sleep(500);  // the window has long had the posted line by now
    const auto diagnostics = copied_diagnostics(window_);
    EXPECT_TRUE(contains(diagnostics, L"설치 결과: 완료"));
    EXPECT_TRUE(contains(diagnostics, L"완료 단계: 6 / 6"));
    EXPECT_FALSE(contains(diagnostics, L"늦은 실패"));
    EXPECT_EQ(button_text(window_, 1), kCompleted);
    EXPECT_EQ(close_and_wait(1), 0u);
}

// A process the failed run left behind keeps the old pipe busy while the user
// retries. Its reader posts a chunk's lines until the retry joins it; those
// lines belong to the old run and must never land in the new one.
TEST_F(ChannelEnd, LinesOfAnEarlierRunNeverLandInTheRetry) {
    // Each send writes 5000 lines in one go (the variable is inherited by the
    // setup and so by the script); the leftover process goes on for far
    // longer than the retry takes, until the retry closes the old pipe.
    std::wstring burst;
    for (int line = 0; line < 5000; ++line) burst += L"5|old\n";
    burst.pop_back();
    ASSERT_TRUE(::SetEnvironmentVariableW(L"ZELKORA_STALE_LINES", burst.c_str()));
    std::string scenario = "send 0|a\nsend -1|첫 시도 실패\ndetach 1\nsleep 2500\n";
    for (int send = 0; send < 200; ++send) scenario += "send ${env:ZELKORA_STALE_LINES}\n";
    prepare("stale_lines_after_retry", scenario);
    start();
    ::SetEnvironmentVariableW(L"ZELKORA_STALE_LINES", nullptr);
    start_installation();
    expect_result(kFailed);
    ASSERT_TRUE(wait_for_record("\nsent 5|old", 20s)) << "the leftover process is not writing";
    write_script("send 0|새 시도\nsend 1|다시 확인\nsleep 1500\nexit 3\n");
    start_installation();
    ASSERT_TRUE(wait_for_text(::GetDlgItem(window_, 1), L"설치 중…", 10s)) << "the retry did not start";
    expect_result(kFailed);
    EXPECT_TRUE(wait_for_record("send-failed", 10s)) << "the old pipe outlived the retry";
    const auto diagnostics = copied_diagnostics(window_);
    EXPECT_TRUE(contains(diagnostics, L"완료 단계: 1 / 6")) << zelkora::from_wide(diagnostics).size();
    EXPECT_FALSE(contains(diagnostics, L"old"));
    EXPECT_EQ(close_and_wait(2), 1u);
}

}  // namespace
