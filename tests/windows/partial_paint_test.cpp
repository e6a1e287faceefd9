// The animation repaints only what its step changes. A screen kept up to date
// by those partial repaints must show, after every step, exactly the pixels
// of a whole repaint of the same state: the invalidated parts cover every
// change, and a part is painted as the whole paint paints it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/owners_win32.h"
#include "tests/windows/gdiplus_suite.h"
#include "ui/control_ids.h"
#include "ui/installer_run_win32.h"
#include "ui/gdi_scopes_win32.h"
#include "ui/paint_surface_win32.h"
#include "ui/preview_fixtures_win32.h"
#include "ui/setup_window_win32.h"
#include "ui/splash_win32.h"
#include "ui/window_painting_win32.h"

namespace {

using namespace zelkora;
using namespace zelkora::ui;

// A bitmap of the client size that plays the screen.
class Screen {
public:
    Screen(int width, int height) : width_(width), height_(height), dc_(::CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(info.bmiHeader), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap_.reset(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        pixels_ = static_cast<const std::uint32_t*>(bits);
        selection_ = std::make_unique<GdiSelection>(dc_.get(), bitmap_.get());
    }
    HDC dc() const { return dc_.get(); }
    std::vector<std::uint32_t> pixels() const {
        ::GdiFlush();
        std::vector<std::uint32_t> copy(pixels_, pixels_ + static_cast<std::size_t>(width_) * height_);
        for (auto& pixel : copy) pixel &= 0x00FFFFFFu;
        return copy;
    }

private:
    int width_;
    int height_;
    UniqueMemoryDc dc_;
    UniqueBitmap bitmap_;
    const std::uint32_t* pixels_ = nullptr;
    std::unique_ptr<GdiSelection> selection_;
};

RECT client_of(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    return client;
}

long area(const std::vector<RECT>& parts) {
    long total = 0;
    for (const RECT& part : parts) total += (part.right - part.left) * (part.bottom - part.top);
    return total;
}

// Where the first difference lies, for the failure message.
std::string first_difference(const std::vector<std::uint32_t>& partial, const std::vector<std::uint32_t>& whole,
                             int width) {
    for (std::size_t i = 0; i < partial.size(); ++i) {
        if (partial[i] != whole[i]) {
            char text[96];
            std::snprintf(text, sizeof(text), "(%d, %d): partial %06X, whole %06X", static_cast<int>(i % width),
                          static_cast<int>(i / width), partial[i], whole[i]);
            return text;
        }
    }
    return "none";
}

// Drives one animated window: a step by its timer, then its update region
// painted part by part onto the screen, as WM_PAINT would.
struct Animated {
    HWND window;
    UINT_PTR timer;
    std::function<void(HDC, const RECT*)> paint;
};

struct StepResult {
    long invalid_area = 0;
    bool changed = false;
};

// Steps the animation frames times, checking every frame against a whole
// repaint; returns the parts' area and whether the picture changed, per frame.
std::vector<StepResult> step_and_compare(const Animated& animated, int frames) {
    const RECT client = client_of(animated.window);
    Screen screen(client.right, client.bottom);
    animated.paint(screen.dc(), nullptr);
    ::ValidateRect(animated.window, nullptr);
    std::vector<StepResult> results;
    for (int frame = 0; frame < frames; ++frame) {
        const auto before = screen.pixels();
        ::SendMessageW(animated.window, WM_TIMER, animated.timer, 0);
        const std::vector<RECT> parts = update_rectangles(animated.window);
        for (const RECT& part : parts) animated.paint(screen.dc(), &part);
        ::ValidateRect(animated.window, nullptr);
        Screen whole(client.right, client.bottom);
        animated.paint(whole.dc(), nullptr);
        const auto partial = screen.pixels();
        const auto expected = whole.pixels();
        EXPECT_EQ(partial, expected) << "frame " << frame << ", first difference at "
                                     << first_difference(partial, expected, client.right);
        if (partial != expected) break;
        results.push_back({area(parts), partial != before});
    }
    return results;
}

// The animation runs with Direct2D, which the window warms up after its first paint.
class PartialRepaint : public test::WithGdiplus<testing::Test> {
protected:
    void SetUp() override {
        text_engine().warm_up_direct2d();
        ASSERT_TRUE(text_engine().draws_with_direct2d());
    }
};

struct WindowFrames {
    const char* name;
    double scale;
    int highest_step;
    double shown_progress;  // where the bar starts easing from
};

class ProgressFrames : public PartialRepaint, public testing::WithParamInterface<WindowFrames> {};

TEST_P(ProgressFrames, EqualAWholeRepaintOfTheSameState) {
    const WindowFrames& c = GetParam();
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    static_cast<void>(register_setup_window_class(::GetModuleHandleW(nullptr)));  // a repeat within one process fails harmlessly
    auto state = std::make_unique<WindowState>();
    state->scale = c.scale;
    state->preview_case = 1;  // the progress view
    apply_preview_fixture(*state);
    state->run.progress.highest_step = c.highest_step;
    state->run.shown_progress = c.shown_progress;
    state->embedded_fonts_in_gdi = text_engine().gdi_fonts_registered();
    const HWND window = create_setup_window(*state, ::GetModuleHandleW(nullptr), L"Zelkora");
    ASSERT_TRUE(window);
    const RECT frame = setup_window_frame(static_cast<UINT>(c.scale * 96));
    ::SetWindowPos(window, nullptr, 0, 0, frame.right, frame.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(window, SW_SHOWNOACTIVATE);
    ASSERT_EQ(state->view, core::kRunInstalling);

    const Animated animated{window, kTimerAnimation,
                            [&](HDC dc, const RECT* part) { paint_view(*state, dc, part); }};
    const auto results = step_and_compare(animated, 40);
    ::DestroyWindow(window);
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {}  // the window's WM_QUIT among them
    ASSERT_EQ(results.size(), 40u);

    int changed = 0;
    for (const StepResult& result : results) {
        changed += result.changed;
        EXPECT_LT(result.invalid_area * 20, 560 * 470 * c.scale * c.scale) << "a frame repaints only small parts";
    }
    const bool spins = c.highest_step < 6;
    EXPECT_GT(changed, spins ? 30 : 5) << "the frames show the animation";
    if (!spins) {
        EXPECT_EQ(results.back().invalid_area, 0) << "a settled bar and no spinner ask for no frames";
    }
    if (spins && c.shown_progress != c.highest_step / 6.0) {
        EXPECT_GT(results.front().invalid_area, 2 * results.back().invalid_area)
            << "once the bar has settled only the spinner is repainted";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Views, ProgressFrames,
    testing::Values(WindowFrames{"bar_easing_to_step_3_at_scale_1", 1.0, 3, 0.0},
                    WindowFrames{"first_step_spinning_at_scale_1_5", 1.5, 0, 0.0},
                    WindowFrames{"bar_easing_to_step_5_at_scale_1_25", 1.25, 5, 0.2},
                    WindowFrames{"all_steps_done_at_scale_2", 2.0, 6, 0.5}),
    [](const auto& info) { return std::string(info.param.name); });

struct SplashFrames {
    const char* name;
    bool dark;
    int stage;  // 0 slides without end
};

class SplashAnimation : public PartialRepaint, public testing::WithParamInterface<SplashFrames> {};

TEST_P(SplashAnimation, EqualsAWholeRepaintOfTheSameState) {
    const SplashFrames& c = GetParam();
    Splash splash;
    SplashOptions options;
    options.dark = c.dark;
    options.closable = true;
    options.caption = splash_caption("0.9.0", "1.0.0");
    ASSERT_TRUE(splash.create(::GetModuleHandleW(nullptr), options));
    splash.set_stage(c.stage);
    const Animated animated{splash.window(), 1, [&](HDC dc, const RECT* part) { splash.paint(dc, part); }};
    const auto results = step_and_compare(animated, 60);
    ASSERT_EQ(results.size(), 60u);
    const RECT client = client_of(splash.window());
    int changed = 0;
    for (const StepResult& result : results) {
        changed += result.changed;
        EXPECT_LT(result.invalid_area * 5, client.right * client.bottom) << "a frame repaints the bar only";
    }
    EXPECT_GT(changed, 10) << "the frames show the animation";
    if (c.stage > 0) EXPECT_EQ(results.back().invalid_area, 0) << "a settled bar asks for no frames";
}

INSTANTIATE_TEST_SUITE_P(Splashes, SplashAnimation,
                         testing::Values(SplashFrames{"light_sliding", false, 0},
                                         SplashFrames{"dark_easing_to_stage_4", true, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
