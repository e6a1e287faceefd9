// The self-test switches run end to end: the real setup under Wine, with the
// stand-in PowerShell recording every start in a transcript. Each case must
// start PowerShell exactly as often as it says, and print its result line.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "core/owners_win32.h"
#include "file_tree.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace zelkora::test;

// The setup with its standard output on a pipe, as a console would receive
// the result line.
std::optional<CapturedRun> run_setup(const std::wstring& argument) {
    return run_capturing_output(setup_exe_path(), argument, std::chrono::seconds(60));
}

int count_starts(const std::string& transcript) {
    int starts = 0;
    for (std::size_t at = transcript.find("started"); at != std::string::npos;
         at = transcript.find("started", at + 1)) {
        if (at == 0 || transcript[at - 1] == '\n') ++starts;
    }
    return starts;
}

struct SwitchCase {
    const char* name;
    const wchar_t* argument;
    int powershell_starts;
    DWORD exit_code;
    const char* result_part;
};

class SelfTestSwitch : public testing::TestWithParam<SwitchCase> {};

TEST_P(SelfTestSwitch, StartsPowerShellAsOftenAsItsScriptNeeds) {
    const SwitchCase& c = GetParam();
    ScratchFolder scratch;
    const std::wstring transcript = scratch / L"transcript.txt";
    ASSERT_TRUE(::SetEnvironmentVariableW(L"ZELKORA_STANDIN_TRANSCRIPT", transcript.c_str()));
    const auto finished = run_setup(c.argument);
    ::SetEnvironmentVariableW(L"ZELKORA_STANDIN_TRANSCRIPT", nullptr);
    ASSERT_TRUE(finished) << "the setup did not end";
    EXPECT_EQ(count_starts(read_file(transcript).value_or("")), c.powershell_starts);
    EXPECT_EQ(finished->exit_code, c.exit_code);
    EXPECT_NE(finished->output.find(c.result_part), std::string::npos) << finished->output;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelfTestSwitch,
    testing::Values(SwitchCase{"update", L"--selftest-update", 1, 0, "selftestCase=5 "},
                    SwitchCase{"completed", L"--selftest", 1, 0, "selftestCase=1 "},
                    // The whole seamless path against an isolated record, which is gone afterwards.
                    SwitchCase{"update_splash", L"--selftest-update-splash", 1, 0,
                               "outcome=completed code=- stage=6 restartRequired=0 launches=new:1.0.0 "
                               "fullWindowShown=0 installConfirmations=0 recordRemoved=1 passed=1\n"},
                    SwitchCase{"update_splash_failure", L"--selftest-update-splash-failure", 1, 0,
                               "outcome=failed code=install_failed stage=2 restartRequired=0 launches=previous:0.0.1 "
                               "fullWindowShown=0 installConfirmations=0 recordRemoved=1 passed=1\n"},
                    // Blocked before "ready" with the Client gone: the previous version comes back.
                    SwitchCase{"update_blocked", L"--selftest-update-blocked", 1, 0,
                               "seamlessCase=6 splashGeometry=1 readySignalled=0 readyStage=0 outcome=blocked "
                               "code=existing_install_required stage=0 restartRequired=0 launches=previous:0.0.1 "
                               "fullWindowShown=0 installConfirmations=0 recordRemoved=1 passed=1\n"},
                    // Blocked before "ready" while the Client still runs: nothing is reopened.
                    SwitchCase{"update_splash_blocked", L"--selftest-update-splash-blocked", 1, 0,
                               "seamlessCase=9 splashGeometry=1 readySignalled=0 readyStage=0 outcome=blocked "
                               "code=driver_install_required stage=0 restartRequired=0 launches=- "
                               "fullWindowShown=0 installConfirmations=0 recordRemoved=1 passed=1\n"},
                    SwitchCase{"update_splash_restart", L"--selftest-update-splash-restart", 1, 0,
                               "seamlessCase=10 splashGeometry=1 readySignalled=1 readyStage=0 outcome=completed "
                               "code=- stage=6 restartRequired=1 launches=new:1.0.0 "
                               "fullWindowShown=0 installConfirmations=0 recordRemoved=1 passed=1\n"}),
    [](const auto& info) { return std::string(info.param.name); });

constexpr wchar_t kIsolatedKeys[] = L"Software\\Zelkora\\QA";

bool isolated_keys_left() {
    zelkora::UniqueRegistryKey key;
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, kIsolatedKeys, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
}

struct EarlyExitCase {
    const char* name;
    const wchar_t* failing_step;
    const char* result_part;
};

void PrintTo(const EarlyExitCase& c, std::ostream* out) { *out << c.name; }

class SelfTestEarlyExit : public testing::TestWithParam<EarlyExitCase> {
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kIsolatedKeys); }
    void TearDown() override { ::SetEnvironmentVariableW(L"ZELKORA_TEST_FAILING_START_STEP", nullptr); }
};

// A start-up step fails in the test variant after the seamless self-test
// has staged its record: the run still answers its Client, prints its line,
// fails, and removes the isolated key.
TEST_P(SelfTestEarlyExit, SettlesTheAnswerThePrintedLineAndTheIsolatedKey) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"ZELKORA_TEST_FAILING_START_STEP", GetParam().failing_step));
    const auto finished = run_capturing_output(windows_path_from_env("ZELKORA_TEST_VARIANT_EXE"),
                                               L"--selftest-update-splash", std::chrono::seconds(60));
    ASSERT_TRUE(finished) << "the setup did not end";
    EXPECT_EQ(finished->exit_code, 1u);
    EXPECT_NE(finished->output.find(GetParam().result_part), std::string::npos) << finished->output;
    EXPECT_FALSE(isolated_keys_left());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SelfTestEarlyExit,
    testing::Values(
        EarlyExitCase{"gdiplus", L"gdiplus",
                      "seamlessCase=7 splashGeometry=0 readySignalled=0 readyStage=0 outcome=failed "
                      "code=install_failed stage=0 restartRequired=0 launches=- fullWindowShown=0 "
                      "installConfirmations=0 recordRemoved=1 passed=0\n"},
        EarlyExitCase{"window", L"window",
                      "seamlessCase=7 splashGeometry=0 readySignalled=0 readyStage=0 outcome=failed "
                      "code=install_failed stage=0 restartRequired=0 launches=- fullWindowShown=0 "
                      "installConfirmations=0 recordRemoved=1 passed=0\n"},
        // The record was written but is not taken: no flow began, nothing to answer.
        EarlyExitCase{"record", L"selftest-record",
                      "seamlessCase=7 splashGeometry=0 readySignalled=0 readyStage=0 outcome=- code=- stage=0 "
                      "restartRequired=0 launches=- fullWindowShown=0 installConfirmations=0 recordRemoved=1 "
                      "passed=0\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The release has no such input: the same request changes nothing.
TEST(SelfTestEarlyExitSeam, TheReleaseIgnoresTheRequest) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"ZELKORA_TEST_FAILING_START_STEP", L"gdiplus"));
    const auto finished = run_setup(L"--selftest-update-splash");
    ::SetEnvironmentVariableW(L"ZELKORA_TEST_FAILING_START_STEP", nullptr);
    ASSERT_TRUE(finished) << "the setup did not end";
    EXPECT_EQ(finished->exit_code, 0u) << finished->output;
    EXPECT_NE(finished->output.find("passed=1\n"), std::string::npos) << finished->output;
}

}  // namespace
