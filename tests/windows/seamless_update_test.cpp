// A seamless update end to end under Wine: the demo Client 0.9.0 runs from
// its per-user folder and asks for the update; its staged bootstrap starts the
// setup with "--update"; the splash takes the Client's place and "ready" lets
// the Client close; the installer script places Client 1.0.0; the setup
// answers in the Client's record and reopens a version as the desktop user.
// The test variant trusts the Wine user and so passes the update-launcher
// check; the release refuses the Wine staging folder and runs as usual.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <string>

#include "core/file_paths_win32.h"
#include "core/owners_win32.h"
#include "file_tree.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace zelkora;
using namespace zelkora::test;

constexpr wchar_t kRecordKey[] = L"Software\\Zelkora\\UpdateHandoff";
constexpr wchar_t kProductFolder[] = L"C:\\Program Files\\Zelkora";
constexpr wchar_t kDestination[] = L"C:\\Program Files\\Zelkora\\Client\\1.0.0";
constexpr wchar_t kClientClass[] = L"ZelkoraDemoClient";
constexpr wchar_t kSplashClass[] = L"ZelkoraUpdateSplash";
constexpr wchar_t kSetupClass[] = L"ZelkoraProductSetup028";

// Client 1.0.0 from bin into the Client's folder, then the steps.
const std::string kPlaceClient =
    "transcript transcript.txt\n"
    "send -5|preflight-complete-v1\n"
    "send 0|준비\n"
    "send 1|파일 확인\n"
    "send -6|place-v1|client|1.0.0|-\n"
    "send -6|file|${size:bin\\Zelkora.exe}|${sha256:bin\\Zelkora.exe}|Zelkora.exe\n"
    "send -6|file|${size:bin\\zelkora-client.json}|${sha256:bin\\zelkora-client.json}|zelkora-client.json\n"
    "request -6|commit\n";
const std::string kFinishes = "send 2|배치\nsend 3|정보\nsend 4|바로가기\nsend 5|무결성\nsend 6|완료\nexit 0\n";
// A script that says it is done without placing anything: no Client 1.0.0 to open.
const std::string kFinishesWithoutPlacing = "transcript transcript.txt\nsend -5|preflight-complete-v1\n" + kFinishes;
// Refused before preflight, with a code the Client shows as blocking.
const std::string kBlockedBeforeReady = "transcript transcript.txt\nsend 0|준비\nsend -4|driver_install_required\n"
                                        "send -1|드라이버를 먼저 설치해야 해요\nexit 1\n";
const std::string kFailsBeforeReady = "transcript transcript.txt\nsend 0|준비\nsend -1|설치하지 못했어요\nexit 1\n";
const std::string kFailsAfterReady = "transcript transcript.txt\nsend -5|preflight-complete-v1\nsend 0|준비\n"
                                     "send 2|배치\nsend -1|파일을 배치하지 못했어요\nexit 1\n";

std::wstring widen_ascii(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring demo_client_file(const std::wstring& relative) {
    return windows_path_from_env("ZELKORA_DEMO_CLIENT_DIR") + L"\\" + relative;
}

std::wstring record_string(const wchar_t* name) {
    wchar_t value[80] = {};
    DWORD size = sizeof(value);
    const std::wstring key = std::wstring(kRecordKey) + L"\\Client";
    if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        return L"<missing>";
    }
    return value;
}

DWORD record_dword(const wchar_t* name) {
    DWORD value = 99;
    DWORD size = sizeof(value);
    const std::wstring key = std::wstring(kRecordKey) + L"\\Client";
    ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

DWORD process_of(HWND window) {
    DWORD id = 0;
    ::GetWindowThreadProcessId(window, &id);
    return id;
}

std::wstring image_of(DWORD process_id) {
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!process || !::QueryFullProcessImageNameW(process.get(), 0, path, &size)) return {};
    return path;
}

// A reopened Client must be the shell's child, started as the desktop user:
// one started by the elevated setup itself would run elevated.
void expect_started_by_the_shell(HWND client_window, DWORD setup_id) {
    const DWORD parent = parent_process_id(process_of(client_window));
    std::wstring image = image_of(parent);
    for (wchar_t& c : image) c = static_cast<wchar_t>(::towlower(c));
    EXPECT_TRUE(image.ends_with(L"\\explorer.exe")) << "the reopened Client's parent is "
                                                     << testing::PrintToString(image);
    EXPECT_NE(parent, setup_id);
}

// A visible window of that class and title in any process.
HWND wait_for_titled(const wchar_t* window_class, const wchar_t* title, std::chrono::milliseconds limit,
                     HWND other_than = nullptr) {
    HWND found = nullptr;
    wait_until(
        [&] {
            found = ::FindWindowExW(nullptr, nullptr, window_class, title);
            while (found && (found == other_than || !::IsWindowVisible(found))) {
                found = ::FindWindowExW(nullptr, found, window_class, title);
            }
            return found != nullptr;
        },
        limit);
    return found;
}

std::optional<DWORD> wait_for_process_exit(DWORD process_id, std::chrono::milliseconds limit) {
    const UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
    if (!process) return std::nullopt;
    if (::WaitForSingleObject(process.get(), static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(process.get(), &code);
    return code;
}

HWND keyboard_focus_of(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// Whether a process runs from a file of that name (the copied setup, here).
bool process_running(const std::wstring& file_name) {
    const UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::lstrcmpiW(entry.szExeFile, file_name.c_str()) == 0) return true;
    }
    return false;
}

void close_window_of_class(const wchar_t* window_class) {
    for (HWND window = ::FindWindowW(window_class, nullptr); window; window = ::FindWindowW(window_class, nullptr)) {
        const DWORD id = process_of(window);
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        wait_for_process_exit(id, 10s);
    }
}

class SeamlessEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kRecordKey);
        remove_tree(kProductFolder);
        per_user_ = zelkora::core::known_folder_path(FOLDERID_LocalAppData) + L"\\Zelkora";
        remove_tree(per_user_);
        // Client 0.9.0 as a per-user installation, the way it runs today.
        const std::wstring previous = per_user_ + L"\\Client\\0.9.0";
        make_folders(previous);
        ASSERT_TRUE(::CopyFileW(demo_client_file(L"0.9.0\\Zelkora.exe").c_str(), (previous + L"\\Zelkora.exe").c_str(),
                                FALSE));
        ASSERT_TRUE(::CopyFileW(demo_client_file(L"0.9.0\\zelkora-client.json").c_str(),
                                (previous + L"\\zelkora-client.json").c_str(), FALSE));
        client_exe_ = previous + L"\\Zelkora.exe";
        // The Client's folder as the script's earlier steps leave it.
        write_file(std::wstring(kDestination) + L"\\zelkora-client.json", "{}");
    }
    void TearDown() override {
        close_window_of_class(kClientClass);
        close_window_of_class(kSetupClass);
        remove_tree(kProductFolder);
        remove_tree(per_user_);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kRecordKey);
    }

    // The setup folder: the executable under its own name, the scenario as
    // Install-Client.ps1 and Client 1.0.0 in bin.
    void prepare(const std::wstring& name, const std::wstring& built, const std::string& scenario) {
        folder_ = L"C:\\zelkora-e2e\\seamless-" + name;
        remove_tree(folder_);
        make_folders(folder_ + L"\\bin");
        setup_path_ = folder_ + built.substr(built.rfind(L'\\'));
        ASSERT_TRUE(::CopyFileW(built.c_str(), setup_path_.c_str(), FALSE)) << ::GetLastError();
        write_file(folder_ + L"\\Install-Client.ps1", scenario);
        ASSERT_TRUE(::CopyFileW(demo_client_file(L"1.0.0\\Zelkora.exe").c_str(), (folder_ + L"\\bin\\Zelkora.exe").c_str(),
                                FALSE));
        ASSERT_TRUE(::CopyFileW(demo_client_file(L"1.0.0\\zelkora-client.json").c_str(),
                                (folder_ + L"\\bin\\zelkora-client.json").c_str(), FALSE));
    }

    // Client 0.9.0 asks for the update at once; its window is found first.
    std::optional<StartedProcess> start_client() {
        auto client = start_process(client_exe_, L"--request-update \"" + setup_path_ + L"\" --log \"" + log_path() + L"\"");
        if (client) client_window_ = wait_for_window(client->id, kClientClass, 15s);
        return client;
    }

    std::wstring log_path() const { return folder_ + L"\\client-log.txt"; }
    std::string client_log() const { return read_file(log_path()).value_or(""); }
    std::string transcript() const { return read_file(folder_ + L"\\transcript.txt").value_or(""); }

    std::wstring per_user_;
    std::wstring client_exe_;
    std::wstring folder_;
    std::wstring setup_path_;
    HWND client_window_ = nullptr;
};

TEST_F(SeamlessEndToEnd, TheSplashTakesTheClientsPlaceAndClient100OpensAfterTheUpdate) {
    prepare(L"completed", windows_path_from_env("ZELKORA_TEST_VARIANT_EXE"), kPlaceClient + kFinishes);
    const auto client = start_client();
    ASSERT_TRUE(client);
    ASSERT_NE(client_window_, nullptr);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(client_window_, MONITOR_DEFAULTTONEAREST), &monitor);

    const HWND splash = wait_for_titled(kSplashClass, nullptr, 30s);
    ASSERT_NE(splash, nullptr) << client_log();
    const DWORD setup_id = process_of(splash);
    RECT box{};
    ::GetWindowRect(splash, &box);
    const RECT& area = monitor.rcWork;
    EXPECT_EQ(box.right - box.left, 440);
    EXPECT_EQ(box.bottom - box.top, 168);
    EXPECT_EQ(box.left, area.left + (area.right - area.left - 440) / 2);
    EXPECT_EQ(box.top, area.top + (area.bottom - area.top - 168) / 2);
    const HWND setup_window = ::FindWindowW(kSetupClass, nullptr);
    EXPECT_TRUE(!setup_window || !::IsWindowVisible(setup_window)) << "the setup window showed";

    // "ready" lets the Client close while the installation goes on.
    EXPECT_EQ(wait_for_exit(*client, 60s), 0u);
    EXPECT_NE(client_log().find("answer outcome=ready code=- stage=0"), std::string::npos) << client_log();

    EXPECT_EQ(wait_for_process_exit(setup_id, 120s), 0u) << transcript();
    const HWND reopened = wait_for_titled(kClientClass, L"Zelkora 1.0.0", 30s);
    ASSERT_NE(reopened, nullptr) << "Client 1.0.0 did not open";
    EXPECT_EQ(image_of(process_of(reopened)), std::wstring(kDestination) + L"\\Zelkora.exe");
    expect_started_by_the_shell(reopened, setup_id);
    EXPECT_EQ(record_string(L"Outcome"), L"completed");
    EXPECT_EQ(record_string(L"Code"), L"");
    EXPECT_EQ(record_dword(L"Stage"), 6u);
}

TEST_F(SeamlessEndToEnd, AFailureAfterReadyReopensThePreviousVersion) {
    prepare(L"failed", windows_path_from_env("ZELKORA_TEST_VARIANT_EXE"), kFailsAfterReady);
    const auto client = start_client();
    ASSERT_TRUE(client);
    const HWND splash = wait_for_titled(kSplashClass, nullptr, 30s);
    ASSERT_NE(splash, nullptr) << client_log();
    const DWORD setup_id = process_of(splash);
    EXPECT_EQ(wait_for_exit(*client, 60s), 0u);

    EXPECT_EQ(wait_for_process_exit(setup_id, 120s), 1u) << transcript();
    const HWND reopened = wait_for_titled(kClientClass, L"Zelkora 0.9.0", 30s);
    ASSERT_NE(reopened, nullptr) << "Client 0.9.0 did not open again";
    EXPECT_NE(process_of(reopened), client->id);
    expect_started_by_the_shell(reopened, setup_id);
    EXPECT_EQ(record_string(L"Outcome"), L"failed");
    EXPECT_EQ(record_string(L"Code"), L"install_failed");
    EXPECT_EQ(record_dword(L"Stage"), 2u);
    EXPECT_EQ(::FindWindowW(kClientClass, L"Zelkora 1.0.0"), nullptr);
}

// The new version cannot be opened: the window takes the splash's place with
// the completed view and says so; the Client has its answer.
TEST_F(SeamlessEndToEnd, ANewVersionThatDoesNotOpenBringsTheFullWindow) {
    prepare(L"no-new-version", windows_path_from_env("ZELKORA_TEST_VARIANT_EXE"), kFinishesWithoutPlacing);
    const auto client = start_client();
    ASSERT_TRUE(client);
    const HWND splash = wait_for_titled(kSplashClass, nullptr, 30s);
    ASSERT_NE(splash, nullptr) << client_log();
    RECT splash_box{};
    ::GetWindowRect(splash, &splash_box);
    EXPECT_EQ(wait_for_exit(*client, 60s), 0u);

    const HWND window = wait_for_titled(kSetupClass, L"Zelkora 업데이트", 60s);
    ASSERT_NE(window, nullptr) << transcript();
    EXPECT_TRUE(wait_for_text(::GetDlgItem(window, 1), L"닫기", 5s));
    EXPECT_FALSE(::IsWindow(splash)) << "the splash stayed";
    // Centred where the splash was centred.
    RECT box{};
    ::GetWindowRect(window, &box);
    EXPECT_LE(std::abs((box.left + box.right) - (splash_box.left + splash_box.right)), 2);
    EXPECT_LE(std::abs((box.top + box.bottom) - (splash_box.top + splash_box.bottom)), 2);
    EXPECT_EQ(record_string(L"Outcome"), L"completed");
    EXPECT_EQ(record_dword(L"Stage"), 6u);
    EXPECT_EQ(::FindWindowW(kClientClass, nullptr), nullptr) << "a Client opened";

    const DWORD setup_id = process_of(window);
    press_button(window, 1);
    EXPECT_EQ(wait_for_process_exit(setup_id, 30s), 0u);
}

// Refused before "ready" while the Client still runs: the Client gets the
// answer and the event and stays; the setup leaves without a window or a launch.
TEST_F(SeamlessEndToEnd, AnUpdateRefusedBeforeReadyLeavesTheRunningClientAlone) {
    const struct {
        const wchar_t* name;
        std::string scenario;  // empty: no Install-Client.ps1 beside the setup
        std::string answer;
    } cases[] = {
        {L"blocked", kBlockedBeforeReady, "answer outcome=blocked code=driver_install_required stage=0"},
        {L"no-script", "", "answer outcome=failed code=installer_missing stage=0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.answer));
        prepare(c.name, windows_path_from_env("ZELKORA_TEST_VARIANT_EXE"), c.scenario);
        if (c.scenario.empty()) ASSERT_TRUE(::DeleteFileW((folder_ + L"\\Install-Client.ps1").c_str()));
        const auto client = start_client();
        ASSERT_TRUE(client);
        const HWND splash = wait_for_titled(kSplashClass, nullptr, 30s);
        ASSERT_NE(splash, nullptr) << client_log();
        const DWORD setup_id = process_of(splash);

        EXPECT_EQ(wait_for_process_exit(setup_id, 120s), 1u) << transcript();
        EXPECT_TRUE(wait_until([&] { return client_log().find(c.answer) != std::string::npos; }, 10s)) << client_log();
        EXPECT_FALSE(wait_for_exit(*client, 1s)) << "the Client closed";
        const HWND setup_window = ::FindWindowW(kSetupClass, nullptr);
        EXPECT_TRUE(!setup_window || !::IsWindowVisible(setup_window));
        // Only the Client that asked is there: nothing was reopened.
        EXPECT_EQ(wait_for_titled(kClientClass, nullptr, 2s, client_window_), nullptr);
        close_window_of_class(kClientClass);
    }
}

struct OutcomeCase {
    const char* name;
    std::string scenario;
    const wchar_t* failing_step;  // a start-up step the test variant fails; null: none
    const char* first_answer;     // the first line the Client logs about the setup's answer
    const wchar_t* reopened;      // the title of the Client window the setup opens; null: none
    bool focus_checked = false;   // the window shows in the splash's place and takes the keyboard
};

void PrintTo(const OutcomeCase& c, std::ostream* out) { *out << c.name; }

class SeamlessOutcome : public SeamlessEndToEnd, public testing::WithParamInterface<OutcomeCase> {
protected:
    void TearDown() override {
        ::SetEnvironmentVariableW(L"ZELKORA_TEST_FAILING_START_STEP", nullptr);
        SeamlessEndToEnd::TearDown();
    }
};

// Whatever the end, the Client hears an answer, and the setup then either
// goes or shows its window: never a Client still waiting on a setup that has
// gone quiet.
TEST_P(SeamlessOutcome, TheClientHearsAnAnswerAndTheSetupGoesOrShowsItsWindow) {
    const OutcomeCase& c = GetParam();
    const std::wstring built = windows_path_from_env("ZELKORA_TEST_VARIANT_EXE");
    prepare(widen_ascii(c.name), built, c.scenario);
    // Inherited by the Client, its bootstrap and so the setup.
    if (c.failing_step) ASSERT_TRUE(::SetEnvironmentVariableW(L"ZELKORA_TEST_FAILING_START_STEP", c.failing_step));
    const auto client = start_client();
    ASSERT_TRUE(client);
    bool window_had_focus = false;
    if (c.focus_checked) {
        const HWND window = wait_for_titled(kSetupClass, L"Zelkora 업데이트", 30s);
        ASSERT_NE(window, nullptr) << "no window in the splash's place";
        window_had_focus = wait_until([&] { return keyboard_focus_of(window) == ::GetDlgItem(window, 1); }, 2s);
    }
    // The Client logs the answer, or that the setup ended without one.
    ASSERT_TRUE(wait_until(
        [&] {
            const std::string log = client_log();
            return log.find("\nanswer ") != std::string::npos || log.find("\nno-answer ") != std::string::npos;
        },
        120s))
        << "the Client is still waiting: " << client_log() << transcript();
    const std::string log = client_log();
    const auto answer = log.find("\nanswer ") + 1;
    ASSERT_NE(answer, 0u) << "the Client heard nothing: " << log << transcript();
    EXPECT_EQ(log.substr(answer, log.find('\n', answer) - answer), c.first_answer) << log;

    const std::wstring setup_name = built.substr(built.rfind(L'\\') + 1);
    const auto setup_window_shown = [] {
        const HWND window = ::FindWindowW(kSetupClass, nullptr);
        return window && ::IsWindowVisible(window);
    };
    EXPECT_TRUE(wait_until([&] { return !process_running(setup_name) || setup_window_shown(); }, 120s))
        << "the setup stays without a window: " << transcript();
    if (c.focus_checked) EXPECT_TRUE(window_had_focus) << "the window showed without the keyboard focus";
    // Waited for, so that the tear-down closes it too.
    if (c.reopened) EXPECT_NE(wait_for_titled(kClientClass, c.reopened, 30s, client_window_), nullptr);
}

const std::string kPlacesWithoutReady = [] {
    std::string scenario = kPlaceClient;
    scenario.erase(scenario.find("send -5|preflight-complete-v1\n"), std::string("send -5|preflight-complete-v1\n").size());
    return scenario + kFinishes;
}();

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SeamlessOutcome,
    testing::Values(
        OutcomeCase{"completed-after-ready", kPlaceClient + kFinishes, nullptr, "answer outcome=ready code=- stage=0",
                    L"Zelkora 1.0.0"},
        OutcomeCase{"completed-without-ready", kPlacesWithoutReady, nullptr,
                    "answer outcome=completed code=- stage=6", L"Zelkora 1.0.0"},
        OutcomeCase{"failed-before-ready", kFailsBeforeReady, nullptr,
                    "answer outcome=failed code=install_failed stage=0", nullptr},
        OutcomeCase{"failed-after-ready", kFailsAfterReady, nullptr, "answer outcome=ready code=- stage=0",
                    L"Zelkora 0.9.0"},
        OutcomeCase{"blocked", kBlockedBeforeReady, nullptr,
                    "answer outcome=blocked code=driver_install_required stage=0", nullptr},
        // The run ends before any window exists, after the update has begun.
        OutcomeCase{"no-gdiplus", kPlaceClient + kFinishes, L"gdiplus",
                    "answer outcome=failed code=install_failed stage=0", nullptr},
        OutcomeCase{"no-window", kPlaceClient + kFinishes, L"window",
                    "answer outcome=failed code=install_failed stage=0", nullptr},
        // The splash cannot be made: the window shows the update instead.
        OutcomeCase{"no-splash", kPlaceClient + kFinishes, L"splash", "answer outcome=ready code=- stage=0",
                    L"Zelkora 1.0.0", true}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& ch : name) ch = ch == '-' ? '_' : ch;
        return name;
    });

TEST_F(SeamlessEndToEnd, TheReleaseRefusesTheWineStagingFolderAndRunsAsUsual) {
    prepare(L"release", setup_exe_path(), kPlaceClient + kFinishes);
    const auto client = start_client();
    ASSERT_TRUE(client);
    const HWND window = wait_for_titled(kSetupClass, L"Zelkora Client 설치", 30s);
    ASSERT_NE(window, nullptr) << client_log();
    EXPECT_TRUE(wait_for_text(::GetDlgItem(window, 1), L"설치 시작", 5s)) << "an ordinary run waits for the user";
    EXPECT_EQ(::FindWindowW(kSplashClass, nullptr), nullptr);
    EXPECT_EQ(record_string(L"Outcome"), L"") << "nobody answered the Client";

    const DWORD setup_id = process_of(window);
    press_button(window, 2);
    EXPECT_EQ(wait_for_process_exit(setup_id, 30s), 0u);
    EXPECT_TRUE(wait_until([&] { return client_log().find("no-answer setup-ended") != std::string::npos; }, 10s))
        << client_log();
    EXPECT_TRUE(transcript().empty()) << "the installer ran";
}

}  // namespace
