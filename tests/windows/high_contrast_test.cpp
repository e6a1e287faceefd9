// High contrast through the test's own seam (Wine cannot switch the mode:
// SPI_SETHIGHCONTRAST fails there): the setup window painted into a bitmap,
// probed for Windows' own colours, and the dark palette when the mode is off.
#include <gtest/gtest.h>

#include <functional>

#include "core/owners_win32.h"
#include "gdiplus_suite.h"
#include "test_support.h"
#include "ui/preview_fixtures_win32.h"
#include "ui/setup_window_win32.h"
#include "ui/text_engine_win32.h"
#include "ui/theme_win32.h"
#include "ui/window_state_win32.h"

namespace {

namespace ui = zelkora::ui;
namespace theme = zelkora::ui::theme;

struct Window {
    ui::WindowState state;
    HWND handle = nullptr;

    Window(int preview_case, const std::function<void(ui::WindowState&)>& adjust = {}) {
        static_cast<void>(ui::register_setup_window_class(::GetModuleHandleW(nullptr)));  // a repeat within one process fails harmlessly
        state.preview_case = static_cast<std::int8_t>(preview_case);
        ui::apply_preview_fixture(state);
        if (adjust) adjust(state);
        state.embedded_fonts_in_gdi = ui::text_engine().gdi_fonts_registered();
        handle = ui::create_setup_window(state, ::GetModuleHandleW(nullptr), L"Zelkora");
        if (handle) {
            const RECT frame = ui::setup_window_frame(96);
            ::SetWindowPos(handle, nullptr, 0, 0, frame.right, frame.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
        }
        zelkora::test::dispatch_pending_messages();
    }
    ~Window() {
        if (handle) ::DestroyWindow(handle);
        zelkora::test::dispatch_pending_messages();
    }
};

// The client area as WM_PRINTCLIENT paints it, read back pixel by pixel.
class Painted {
public:
    explicit Painted(HWND window) : dc_(::CreateCompatibleDC(nullptr)) {
        RECT client{};
        ::GetClientRect(window, &client);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(info.bmiHeader), client.right, -client.bottom, 1, 32, BI_RGB};
        void* bits = nullptr;
        bitmap_.reset(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        ::SelectObject(dc_.get(), bitmap_.get());
        ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc_.get()), PRF_CLIENT);
    }
    COLORREF at(int x, int y) const { return ::GetPixel(dc_.get(), x, y); }
    int count(COLORREF colour, int left, int top, int right, int bottom) const {
        int found = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) found += at(x, y) == colour;
        }
        return found;
    }

private:
    zelkora::UniqueMemoryDc dc_;
    zelkora::UniqueBitmap bitmap_;
};

class HighContrast : public zelkora::test::WithGdiplus<testing::Test> {
protected:
    void TearDown() override { theme::decide_high_contrast_for_tests(std::nullopt); }
    static COLORREF system(int index) { return ::GetSysColor(index); }
};

struct Probe {
    const char* what;
    int preview_case;
    int x, y;
    int high_contrast_colour;  // COLOR_* index
    COLORREF dark;
};

TEST_F(HighContrast, PaintsEveryViewInTheSystemColoursAndTheDarkPaletteOtherwise) {
    const Probe probes[] = {
        {"ready background", 0, 8, 140, COLOR_WINDOW, theme::kBackground},
        {"header separator", 0, 300, 72, COLOR_WINDOWTEXT, theme::kLine},
        {"ready card border", 0, 200, 174, COLOR_WINDOWTEXT, theme::kLine},
        {"ready card inside", 0, 400, 200, COLOR_WINDOW, theme::kCard},
        // Progress: the track (28, 383, 504, 6) keeps an outline; half of it is filled.
        {"progress track outline", 1, 400, 383, COLOR_WINDOWTEXT, theme::kLine},
        {"progress fill", 1, 60, 386, COLOR_HIGHLIGHT, theme::kAccent},
        {"failure panel border", 3, 200, 168, COLOR_WINDOWTEXT, theme::kRedBorder},
        {"failure panel inside", 3, 40, 176, COLOR_WINDOW, theme::kRedTint},
    };
    for (const bool high_contrast : {true, false}) {
        theme::decide_high_contrast_for_tests(high_contrast);
        for (const Probe& probe : probes) {
            const Window window(probe.preview_case, [](ui::WindowState& state) { state.run.shown_progress = 0.5; });
            ASSERT_NE(window.handle, nullptr);
            const Painted painted(window.handle);
            EXPECT_EQ(painted.at(probe.x, probe.y), high_contrast ? system(probe.high_contrast_colour) : probe.dark)
                << probe.what << (high_contrast ? " in high contrast" : " in the dark palette");
        }
    }
}

int luminance(COLORREF colour) { return GetRValue(colour) + GetGValue(colour) + GetBValue(colour); }

TEST_F(HighContrast, TextsTakeTheWindowTextAndGrayText) {
    theme::decide_high_contrast_for_tests(true);
    const Window window(1);
    ASSERT_NE(window.handle, nullptr);
    const Painted painted(window.handle);
    // The title "설치하고 있어요" at (28, 92, 504, 32) is in the window text.
    EXPECT_GT(painted.count(system(COLOR_WINDOWTEXT), 28, 92, 300, 124), 50);
    // The two pending steps (rows from y 271) are gray: ink, but none of it
    // darker than the gray text colour.
    int ink = 0;
    int darker = 0;
    for (int y = 275; y < 318; ++y) {
        for (int x = 80; x < 300; ++x) {
            const COLORREF pixel = painted.at(x, y);
            ink += pixel != system(COLOR_WINDOW);
            darker += luminance(pixel) < luminance(system(COLOR_GRAYTEXT));
        }
    }
    EXPECT_GT(ink, 20);
    EXPECT_EQ(darker, 0);
    // No text keeps a colour of the dark palette.
    EXPECT_EQ(painted.count(theme::kText, 0, 0, 560, 470), 0);
    EXPECT_EQ(painted.count(theme::kMuted, 0, 0, 560, 470), 0);
}

TEST_F(HighContrast, SettingAndColourChangesRepaintTheWindowAndItsButtons) {
    const Window window(3);
    ASSERT_NE(window.handle, nullptr);
    const HWND button = ::GetDlgItem(window.handle, 1);
    ::ShowWindow(window.handle, SW_SHOWNOACTIVATE);
    zelkora::test::dispatch_pending_messages();
    for (const UINT message : {WM_SETTINGCHANGE, WM_SYSCOLORCHANGE}) {
        ::ValidateRect(window.handle, nullptr);
        ::ValidateRect(button, nullptr);
        ::SendMessageW(window.handle, message, 0, 0);
        EXPECT_TRUE(::GetUpdateRect(window.handle, nullptr, FALSE)) << message;
        EXPECT_TRUE(::GetUpdateRect(button, nullptr, FALSE)) << message;
    }
}

}  // namespace
