// The preview switches run the real setup with fixture states: button 1
// closes, button 2 is hidden, a typed Escape closes except while the fixture
// shows a run in progress, and three cases open their dialog over the window.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "core/owners_win32.h"
#include "test_support.h"
#include "ui/gdi_scopes_win32.h"

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

namespace {

struct SplashPreviewCase {
    const wchar_t* arguments;
    COLORREF background;
    bool slides;  // indeterminate: the bar crosses the whole track
};

class SplashPreviews : public testing::TestWithParam<SplashPreviewCase> {};

// What the screen shows at a point, read back from the display.
COLORREF screen_pixel(int x, int y) {
    const zelkora::ui::WindowDc screen(nullptr);
    return ::GetPixel(screen.get(), x, y);
}

// Pixels of a screen box that differ from the background: the ink of its text.
int ink_in(int left, int top, int width, int height, COLORREF background) {
    const zelkora::ui::WindowDc screen(nullptr);
    const zelkora::UniqueMemoryDc memory(::CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), width, -height, 1, 32, BI_RGB};
    void* bits = nullptr;
    const zelkora::UniqueBitmap bitmap(::CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) return 0;
    const zelkora::ui::GdiSelection selection(memory.get(), bitmap.get());
    ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), left, top, SRCCOPY);
    ::GdiFlush();
    int ink = 0;
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    const std::uint32_t plain = (GetRValue(background) << 16) | (GetGValue(background) << 8) | GetBValue(background);
    for (int i = 0; i < width * height; ++i) ink += (pixels[i] & 0xFFFFFF) != plain;
    return ink;
}

// The splash stands alone, centred on the primary work area, in its palette;
// the setup window stays hidden, and closing the splash ends the run.
TEST_P(SplashPreviews, ShowTheSplashAloneAndCloseWithIt) {
    const SplashPreviewCase& c = GetParam();
    const auto setup = start_process(setup_exe_path(), c.arguments);
    ASSERT_TRUE(setup);
    const HWND splash = wait_for_window(setup->id, L"ZelkoraUpdateSplash", 15s);
    ASSERT_NE(splash, nullptr);
    const HWND window = ::FindWindowW(kWindowClass, nullptr);
    EXPECT_TRUE(window == nullptr || !::IsWindowVisible(window)) << "the setup window showed";

    MONITORINFO monitor{sizeof(monitor)};
    ::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT area = monitor.rcWork;
    RECT box{};
    ::GetWindowRect(splash, &box);
    EXPECT_EQ(box.right - box.left, 440);
    EXPECT_EQ(box.bottom - box.top, 168);
    EXPECT_EQ(box.left, area.left + (area.right - area.left - 440) / 2);
    EXPECT_EQ(box.top, area.top + (area.bottom - area.top - 168) / 2);

    // Stage 2 fills two sixths of the track (to x = 154) and stays there;
    // the indeterminate bar passes both points within its 1.5 s slide.
    const COLORREF accent = RGB(0xF5, 0xA6, 0x23);
    const auto bar_reaches = [&](int x, std::chrono::milliseconds limit) {
        return wait_until([&] { return screen_pixel(box.left + x, box.top + 95) == accent; }, limit);
    };
    EXPECT_TRUE(bar_reaches(150, 3s));
    EXPECT_EQ(bar_reaches(300, 2s), c.slides);
    EXPECT_EQ(screen_pixel(box.left + 10, box.top + 80), c.background);
    // The title, the caption, the status line and the message are drawn;
    // the gap below the caption shows the capture reads the real screen.
    EXPECT_EQ(ink_in(box.left + 78, box.top + 70, 338, 18, c.background), 0);
    for (const RECT line : {RECT{78, 23, 416, 47}, RECT{78, 48, 416, 68}, RECT{24, 106, 344, 126}, RECT{24, 134, 416, 152}}) {
        EXPECT_GT(ink_in(box.left + line.left, box.top + line.top, line.right - line.left, line.bottom - line.top,
                         c.background),
                  40)
            << "no text at y " << line.top;
    }

    ::PostMessageW(splash, WM_CLOSE, 0, 0);
    EXPECT_EQ(wait_for_exit(*setup, 15s), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, SplashPreviews,
                         testing::Values(SplashPreviewCase{L"--preview-update-splash", RGB(0x17, 0x1B, 0x1F), false},
                                         SplashPreviewCase{L"--preview-update-splash-light", RGB(0xFF, 0xFF, 0xFF),
                                                           true}));

}  // namespace
