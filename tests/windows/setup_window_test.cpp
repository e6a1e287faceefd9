// The real setup executable opens its window with the class, title and size
// of its run mode, and ends with exit code 0 when closed before installing.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace zelkora::test;

struct WindowCase {
    const wchar_t* arguments;
    const wchar_t* title;
};

class SetupWindow : public testing::TestWithParam<WindowCase> {};

TEST_P(SetupWindow, OpensWithTitleAndSizeOfItsMode) {
    const auto setup = start_process(setup_exe_path(), GetParam().arguments);
    ASSERT_TRUE(setup) << "CreateProcessW failed: " << ::GetLastError();
    const HWND window = wait_for_window(setup->id, L"ZelkoraProductSetup028", 15s);
    ASSERT_NE(window, nullptr);

    EXPECT_EQ(window_text(window), GetParam().title);
    RECT client{};
    ::GetClientRect(window, &client);
    const UINT dpi = ::GetDpiForWindow(window);
    EXPECT_EQ(client.right, static_cast<LONG>(560 * dpi / 96));
    EXPECT_EQ(client.bottom, static_cast<LONG>(470 * dpi / 96));
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN | WS_THICKFRAME | WS_MAXIMIZEBOX),
              static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN));

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(wait_for_exit(*setup, 15s), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SetupWindow,
    testing::Values(WindowCase{L"", L"Zelkora Client 설치"},
                    WindowCase{L"--preview", L"Zelkora 설치 화면 미리보기"},
                    // "--update" alone, without the updater's staging, is an ordinary run.
                    WindowCase{L"--update", L"Zelkora Client 설치"},
                    WindowCase{L"--UPDATE", L"Zelkora Client 설치"},
                    WindowCase{L"--preview --update", L"Zelkora Client 설치"}));

}  // namespace
