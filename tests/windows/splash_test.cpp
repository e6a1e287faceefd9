// The update splash in this process: where it stands, which messages it
// answers, and what a paint puts on the screen in each palette.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/owners_win32.h"
#include "ui/gdi_scopes_win32.h"
#include "ui/splash_win32.h"

namespace {

using namespace zelkora;
using namespace zelkora::ui;

ScreenBox primary_work_area() {
    MONITORINFO info{sizeof(info)};
    ::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    return {info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
}

ScreenBox window_box(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

// The client area as the splash paints it for WM_PRINTCLIENT, 0x00RRGGBB.
class Capture {
public:
    explicit Capture(HWND window) {
        RECT client{};
        ::GetClientRect(window, &client);
        width_ = client.right;
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(info.bmiHeader), client.right, -client.bottom, 1, 32, BI_RGB};
        dc_.reset(::CreateCompatibleDC(nullptr));
        void* bits = nullptr;
        bitmap_.reset(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        pixels_ = static_cast<const std::uint32_t*>(bits);
        const GdiSelection selected(dc_.get(), bitmap_.get());
        ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc_.get()), PRF_CLIENT);
        ::GdiFlush();
    }
    COLORREF at(int x, int y) const {
        const std::uint32_t pixel = pixels_[static_cast<std::size_t>(y) * width_ + x];
        return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
    }

private:
    int width_ = 0;
    UniqueMemoryDc dc_;
    UniqueBitmap bitmap_;
    const std::uint32_t* pixels_ = nullptr;
};

std::unique_ptr<Splash> make_splash(bool dark, bool closable = false, std::optional<RECT> bounds = std::nullopt) {
    auto splash = std::make_unique<Splash>();
    SplashOptions options;
    options.dark = dark;
    options.closable = closable;
    options.bounds = bounds;
    options.caption = splash_caption("0.9.0", "1.0.0");
    if (!splash->create(::GetModuleHandleW(nullptr), options)) return nullptr;
    return splash;
}

void tick(HWND window, int times) {
    for (int i = 0; i < times; ++i) ::SendMessageW(window, WM_TIMER, 1, 0);
}

TEST(SplashWindow, StandsCentredInThePrimaryWorkAreaWithItsClassAndTitle) {
    // Bounds that lie on no monitor select the primary one.
    const auto splash = make_splash(true, false, RECT{-90000, -90000, -89000, -89000});
    ASSERT_NE(splash, nullptr);
    const HWND window = splash->window();
    EXPECT_TRUE(::IsWindowVisible(window));
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    EXPECT_STREQ(name, kSplashWindowClass);
    ::GetWindowTextW(window, name, 64);
    EXPECT_STREQ(name, L"Zelkora 업데이트 적용 중");
    EXPECT_EQ(splash->work_area(), primary_work_area());
    const ScreenBox box = window_box(window);
    EXPECT_EQ(box, splash_box(primary_work_area(), splash->scale()));
    EXPECT_TRUE(splash_box_holds(box, primary_work_area(), splash->scale()));
}

TEST(SplashWindow, DragsEverywhereAndCannotBeClosedDuringAnUpdate) {
    const auto splash = make_splash(true);
    ASSERT_NE(splash, nullptr);
    const HWND window = splash->window();
    EXPECT_EQ(::SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(10, 10)), HTCAPTION);
    EXPECT_EQ(::SendMessageW(window, WM_ERASEBKGND, 0, 0), 1);
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(::IsWindow(window));

    // A DPI below 48 or without a rectangle changes nothing.
    const ScreenBox before = window_box(window);
    RECT suggested{0, 0, 660, 252};
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(40, 40), reinterpret_cast<LPARAM>(&suggested));
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), 0);
    EXPECT_EQ(window_box(window), before);
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(window_box(window), (ScreenBox{0, 0, 660, 252}));
    EXPECT_DOUBLE_EQ(splash->scale(), 1.5);

    splash->destroy();
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(splash->window(), nullptr);
}

TEST(SplashWindow, ClosingAPreviewSplashEndsTheRun) {
    const auto splash = make_splash(false, true);
    ASSERT_NE(splash, nullptr);
    const HWND window = splash->window();
    ::SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(window));
    MSG message{};
    EXPECT_TRUE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

struct PaletteCase {
    bool dark;
    COLORREF background;
    COLORREF border;
    COLORREF track;
};

TEST(SplashWindow, PaintsItsPaletteAndTheBarOfTheStage) {
    const COLORREF accent = RGB(0xF5, 0xA6, 0x23);
    const PaletteCase cases[] = {
        {true, RGB(0x17, 0x1B, 0x1F), RGB(0x26, 0x2C, 0x32), RGB(0x22, 0x28, 0x2D)},
        {false, RGB(0xFF, 0xFF, 0xFF), RGB(0xDC, 0xE1, 0xE5), RGB(0xED, 0xF0, 0xF2)},
    };
    for (const auto& c : cases) {
        const auto splash = make_splash(c.dark);
        ASSERT_NE(splash, nullptr);
        const HWND window = splash->window();
        {
            // Stage 0: an empty track while the indeterminate bar sits left of it.
            const Capture shot(window);
            EXPECT_EQ(shot.at(0, 0), c.border) << c.dark;
            EXPECT_EQ(shot.at(439, 167), c.border) << c.dark;
            EXPECT_EQ(shot.at(10, 80), c.background) << c.dark;
            EXPECT_EQ(shot.at(100, 95), c.track) << c.dark;
            EXPECT_EQ(shot.at(44, 50), accent) << "the monitor's stand";
        }
        splash->set_stage(2);
        tick(window, 60);
        {
            // Two sixths of the 392-pixel track from x = 24: up to about x = 154.
            const Capture shot(window);
            EXPECT_EQ(shot.at(100, 95), accent) << c.dark;
            EXPECT_EQ(shot.at(150, 95), accent) << c.dark;
            EXPECT_EQ(shot.at(160, 95), c.track) << c.dark;
        }
    }
}

}  // namespace
