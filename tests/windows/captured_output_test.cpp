// run_capturing_output, which the self-test and launcher tests read the
// setup's result line through: a run that hangs must cost its limit, not the
// group's time-out, and be reported with what it printed.
#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>

#include "file_tree.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace zelkora::test;

std::wstring standin_path() {
    std::wstring folder(32768, L'\0');
    folder.resize(::GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size())));
    return folder + L"\\WindowsPowerShell\\v1.0\\powershell.exe";
}

TEST(CapturedOutput, GivesTheOutputAndExitCodeOfARunThatEnds) {
    ScratchFolder scratch;
    const auto run = run_capturing_output(standin_path(), L"-File \"" + (scratch / L"missing.ps1") + L"\"", 60s);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->exit_code, 99u);
    EXPECT_NE(run->output.find("missing.ps1 to -File does not exist"), std::string::npos) << run->output;
}

TEST(CapturedOutput, EndsAHungRunAtTheLimitAndReportsIt) {
    ScratchFolder scratch;
    write_file(scratch / L"hang.ps1", "sleep 600000\n");
    const std::wstring arguments = L"-File \"" + (scratch / L"hang.ps1") + L"\" -ProgressPipe none";
    std::optional<CapturedRun> run;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_NONFATAL_FAILURE(run = run_capturing_output(standin_path(), arguments, 2s),
                            "hang.ps1\" -ProgressPipe none did not end within 2000 ms");
    EXPECT_FALSE(run);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
}

}  // namespace
