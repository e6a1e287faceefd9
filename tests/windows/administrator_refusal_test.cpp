// The setup refuses to run without administrator rights, whatever the mode:
// a message box, then exit code 740. Started here with Administrators made
// deny-only, as a standard user's token would be.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace zelkora::test;

class AdministratorRefusal : public testing::TestWithParam<const wchar_t*> {};

TEST_P(AdministratorRefusal, ShowsTheMessageAndExitsWith740) {
    const auto token = token_without_administrators();
    ASSERT_TRUE(token) << "CreateRestrictedToken failed: " << ::GetLastError();
    const auto setup = start_process(setup_exe_path(), GetParam(), token.get());
    ASSERT_TRUE(setup) << "CreateProcessAsUserW failed: " << ::GetLastError();

    const HWND box = wait_for_window(setup->id, L"#32770", 15s);
    ASSERT_NE(box, nullptr) << "no message box";
    EXPECT_EQ(window_text(box), L"Zelkora · 관리자 권한 필요");
    EXPECT_EQ(window_text(::GetDlgItem(box, 0xFFFF)),
              L"이 프로그램은 관리자 권한으로 실행해야 합니다.\n실행 시 Windows 관리자 승인을 완료해주세요.");
    EXPECT_EQ(wait_for_window(setup->id, L"ZelkoraProductSetup028", 0ms), nullptr);

    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(wait_for_exit(*setup, 15s), 740u);
}

INSTANTIATE_TEST_SUITE_P(Modes, AdministratorRefusal,
                         testing::Values(L"", L"--preview", L"--update", L"--selftest"));

}  // namespace
