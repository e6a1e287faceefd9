// The preview switches run the real setup with fixture states: button 1
// closes, button 2 is hidden, a typed Escape closes except while the fixture
// shows a run in progress, and three cases open their dialog over the window.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "test_support.h"

namespace {

using namespace std::chrono_literals;
using namespace zelkora::test;

constexpr wchar_t kWindowClass[] = L"ZelkoraProductSetup028";
constexpr wchar_t kDialogClass[] = L"ZelkoraSetupConfirmation";

struct PreviewCase {
    const wchar_t* arguments;
    bool copy_button;
    bool dialog;
    bool escape_closes;
};

// Escape typed as a person does: through the input queue to the focused
// control of the window brought to the front.
void type_escape(HWND window) {
    if (::GetForegroundWindow() != window) ::SetForegroundWindow(window);
    INPUT inputs[2]{};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = VK_ESCAPE;
    }
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(::SendInput(2, inputs, sizeof(INPUT)), 2u);
}

class Previews : public testing::TestWithParam<PreviewCase> {};

TEST_P(Previews, ShowTheirFixtureAndCloseWithButtonOne) {
    const PreviewCase& c = GetParam();
    const auto setup = start_process(setup_exe_path(), c.arguments);
    ASSERT_TRUE(setup);
    const HWND window = wait_for_window(setup->id, kWindowClass, 15s);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(wait_for_text(::GetDlgItem(window, 1), L"미리보기 닫기", 5s));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(window, 2)));
    EXPECT_EQ(::IsWindowVisible(::GetDlgItem(window, 3)) != FALSE, c.copy_button);

    const HWND dialog = wait_for_window(setup->id, kDialogClass, c.dialog ? 10s : 1s);
    if (c.dialog) {
        ASSERT_NE(dialog, nullptr);
        press_button(dialog, 1);  // the answer is ignored
        for (int i = 0; i < 50 && ::IsWindow(dialog); ++i) std::this_thread::sleep_for(100ms);
        EXPECT_FALSE(::IsWindow(dialog));
        EXPECT_TRUE(wait_for_text(::GetDlgItem(window, 1), L"미리보기 닫기", 1s)) << "the dialog started a run";
    } else {
        EXPECT_EQ(dialog, nullptr);
    }

    type_escape(window);
    // A window that stays must outlive a generous wait; one that closes may
    // take its time on a busy machine.
    const auto after_escape = wait_for_exit(*setup, c.escape_closes ? 15s : 2s);
    EXPECT_EQ(after_escape.has_value(), c.escape_closes);
    if (after_escape) {
        EXPECT_EQ(*after_escape, 0u);
        return;
    }
    EXPECT_TRUE(::IsWindowVisible(window));
    press_button(window, 1);
    EXPECT_EQ(wait_for_exit(*setup, 15s), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Previews,
    testing::Values(PreviewCase{L"--preview", false, false, true},
                    PreviewCase{L"--preview-progress", false, false, false},
                    PreviewCase{L"--preview-complete", false, false, true},
                    PreviewCase{L"--preview-failure", true, false, true},
                    PreviewCase{L"--preview-confirm", false, true, true},
                    PreviewCase{L"--preview-attention", true, false, true},
                    // The Client's outcome texts make no note of a restart request.
                    PreviewCase{L"--preview-restart", false, false, true},
                    PreviewCase{L"--preview-restart-confirm", false, true, true},
                    PreviewCase{L"--preview-notice", false, true, true}));

}  // namespace
