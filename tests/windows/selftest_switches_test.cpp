// The self-test switches run end to end: the real setup under Wine, with the
// stand-in PowerShell recording every start in a transcript. Each case must
// start PowerShell exactly as often as it says, and print its result line.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "core/owners.h"
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
                               "fullWindowShown=0 installConfirmations=0 recordRemoved=1 passed=1\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
