// What the setup asks DWM to draw: the dark title bar of the setup window
// and of a dialog, the splash's round corners and border. Wine draws none
// of it, so the calls to DwmSetWindowAttribute are recorded on their way:
// this program links its own window_attribute_setter, which wraps the
// loaded function.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "gdiplus_suite.h"
#include "test_support.h"
#include "ui/dialog_window_win32.h"
#include "ui/setup_window_win32.h"
#include "ui/splash_win32.h"
#include "ui/text_engine_win32.h"
#include "ui/title_bar_win32.h"
#include "ui/window_state_win32.h"

namespace {

struct Call {
    std::wstring window_class;
    DWORD attribute;
    DWORD value;
    DWORD size;
    bool operator==(const Call&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Call& call) {
    return out << "{" << std::string(call.window_class.begin(), call.window_class.end()) << ", " << call.attribute
               << ", 0x" << std::hex << call.value << std::dec << ", " << call.size << "}";
}

std::mutex calls_lock;
std::vector<Call> calls;
zelkora::ui::WindowAttributeSetter loaded_setter = nullptr;

HRESULT WINAPI record_and_pass_on(HWND window, DWORD attribute, LPCVOID value, DWORD size) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    DWORD bits = 0xDEADBEEF;  // marks a value that is not four bytes
    if (value && size == sizeof(bits)) std::memcpy(&bits, value, sizeof(bits));
    {
        const std::lock_guard lock(calls_lock);
        calls.push_back({name, attribute, bits, size});
    }
    return loaded_setter(window, attribute, value, size);
}

std::vector<Call> take_calls() {
    const std::lock_guard lock(calls_lock);
    return std::exchange(calls, {});
}

HWND open_setup_window(zelkora::ui::WindowState& state) {
    state.scale = ::GetDpiForSystem() / 96.0;
    state.embedded_fonts_in_gdi = zelkora::ui::text_engine().gdi_fonts_registered();
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    static_cast<void>(zelkora::ui::register_setup_window_class(instance));  // a repeat within one process fails harmlessly
    return zelkora::ui::create_setup_window(state, instance, L"Zelkora");
}

void close_setup_window(zelkora::ui::WindowState& state) {
    ::DestroyWindow(state.window);
    zelkora::test::dispatch_pending_messages();  // leaves no WM_QUIT behind for the next test
    state.ui_font.reset();
    for (auto& brush : state.tint_brushes) brush.reset();
}

void CALLBACK close_open_dialog(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND dialog = ::FindWindowW(zelkora::ui::kConfirmationWindowClass, nullptr);
    if (!dialog) return;
    ::KillTimer(nullptr, timer);
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
}

void show_setup_window() {
    zelkora::ui::WindowState state;
    ASSERT_NE(open_setup_window(state), nullptr);
    close_setup_window(state);
}

void show_dialog() {
    zelkora::ui::WindowState state;
    ASSERT_NE(open_setup_window(state), nullptr);
    ::ShowWindow(state.window, SW_SHOW);
    zelkora::ui::DialogRequest request;
    request.owner = state.window;
    request.title = L"Zelkora";
    request.heading = L"설치할까요?";
    request.primary_label = L"설치";
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, close_open_dialog);
    static_cast<void>(zelkora::ui::run_dialog(request, state.embedded_fonts_in_gdi));  // closed by the timer
    ::KillTimer(nullptr, timer);
    close_setup_window(state);
}

void show_splash(bool dark) {
    zelkora::ui::Splash splash;
    zelkora::ui::SplashOptions options;
    options.dark = dark;
    options.caption = zelkora::ui::splash_caption("0.9.0", "1.0.0");
    ASSERT_TRUE(splash.create(::GetModuleHandleW(nullptr), options));
    splash.destroy();
    zelkora::test::dispatch_pending_messages();  // leaves no WM_QUIT behind for the next test
}

struct AttributeCase {
    const char* name;
    void (*show)();
    const wchar_t* window_class;
    std::vector<Call> expected;  // COLORREF values are 0x00BBGGRR
};

// The dark title bar: immersive dark mode on, caption #0E1418, text
// #8FA1A9, border #1F2B32.
std::vector<Call> dark_title_bar(const wchar_t* window_class) {
    return {{window_class, 20, 1, 4}, {window_class, 35, 0x0018140E, 4}, {window_class, 36, 0x00A9A18F, 4},
            {window_class, 34, 0x00322B1F, 4}};
}

class WindowAttributes : public zelkora::test::WithGdiplus<testing::TestWithParam<AttributeCase>> {};

TEST_P(WindowAttributes, AreSetThroughDwmWithTheirValues) {
    take_calls();
    GetParam().show();
    std::vector<Call> seen;
    for (const Call& call : take_calls()) {
        if (call.window_class == GetParam().window_class) seen.push_back(call);
    }
    EXPECT_EQ(seen, GetParam().expected);
}

constexpr wchar_t kSplash[] = L"ZelkoraUpdateSplash";

INSTANTIATE_TEST_SUITE_P(
    Windows, WindowAttributes,
    testing::Values(
        AttributeCase{"setup_window", show_setup_window, L"ZelkoraProductSetup028",
                      dark_title_bar(L"ZelkoraProductSetup028")},
        AttributeCase{"dialog", show_dialog, zelkora::ui::kConfirmationWindowClass,
                      dark_title_bar(zelkora::ui::kConfirmationWindowClass)},
        // Round corners (2) and the palette's border: #262C32 dark, #DCE1E5 light.
        AttributeCase{"dark_splash", [] { show_splash(true); }, kSplash, {{kSplash, 33, 2, 4}, {kSplash, 34, 0x00322C26, 4}}},
        AttributeCase{"light_splash", [] { show_splash(false); }, kSplash,
                      {{kSplash, 33, 2, 4}, {kSplash, 34, 0x00E5E1DC, 4}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// This program's own setter: every call goes through the recorder.
namespace zelkora::ui {

WindowAttributeSetter window_attribute_setter(WindowAttributeSetter loaded) {
    loaded_setter = loaded;
    return record_and_pass_on;
}

}  // namespace zelkora::ui
