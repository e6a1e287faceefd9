#include "ui/splash_win32.h"

#include <cmath>
#include <vector>

#include "core/owners_win32.h"
#include "resources/resource_ids.h"
#include "ui/display_painting_win32.h"
#include "ui/gdi_scopes_win32.h"
#include "ui/paint_surface_win32.h"
#include "ui/shapes_win32.h"
#include "ui/text_engine_win32.h"
#include "ui/theme_win32.h"
#include "ui/title_bar_win32.h"

namespace zelkora::ui {

LRESULT CALLBACK splash_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

namespace {

constexpr UINT_PTR kAnimationTimer = 1;
constexpr UINT kAnimationPeriodMs = 33;

struct SplashPalette {
    COLORREF background;
    COLORREF border;
    COLORREF tile;
    COLORREF title;
    COLORREF caption;
    COLORREF counter;
    COLORREF track;
    COLORREF accent;
};

constexpr SplashPalette kDark{RGB(0x17, 0x1B, 0x1F), RGB(0x26, 0x2C, 0x32), RGB(0x1D, 0x22, 0x26),
                              RGB(0xE9, 0xF1, 0xF3), RGB(0x9A, 0xAD, 0xB6), RGB(0x5E, 0x6A, 0x73),
                              RGB(0x22, 0x28, 0x2D), RGB(0xF5, 0xA6, 0x23)};
constexpr SplashPalette kLight{RGB(0xFF, 0xFF, 0xFF), RGB(0xDC, 0xE1, 0xE5), RGB(0xF3, 0xF5, 0xF6),
                               RGB(0x19, 0x26, 0x2D), RGB(0x59, 0x6C, 0x76), RGB(0x8A, 0x94, 0x9C),
                               RGB(0xED, 0xF0, 0xF2), RGB(0xF5, 0xA6, 0x23)};

const SplashPalette& palette(bool dark) { return dark ? kDark : kLight; }

// High contrast: Windows' own colours, whatever the Client's theme.
SplashPalette high_contrast_splash() {
    const COLORREF window = ::GetSysColor(COLOR_WINDOW);
    const COLORREF text = ::GetSysColor(COLOR_WINDOWTEXT);
    return {window, text, window, text, text, ::GetSysColor(COLOR_GRAYTEXT), window, ::GetSysColor(COLOR_HIGHLIGHT)};
}

InkColours inks_of(const SplashPalette& colours) {
    return {colours.title, colours.caption, colours.caption, colours.counter, colours.accent, colours.title};
}

// Older SDK headers lack these attribute numbers.
constexpr DWORD kWindowCornerPreference = 33;
constexpr DWORD kBorderColour = 34;
constexpr DWORD kRoundCorners = 2;

void round_the_corners(HWND window, COLORREF border) {
    set_window_attributes(window, {{kWindowCornerPreference, kRoundCorners}, {kBorderColour, border}});
}

void register_splash_class(HINSTANCE instance) {
    WNDCLASSW window_class{};
    window_class.style = CS_DROPSHADOW;
    window_class.lpfnWndProc = splash_procedure;
    window_class.hInstance = instance;
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_APPSTARTING);
    window_class.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_ICON));
    window_class.lpszClassName = kSplashWindowClass;
    // A second registration in the process fails; the first one serves.
    ::RegisterClassW(&window_class);
}

std::optional<ScreenBox> monitor_work_area(const std::optional<RECT>& bounds) {
    const HMONITOR monitor = bounds ? ::MonitorFromRect(&*bounds, MONITOR_DEFAULTTOPRIMARY)
                                    : ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoW(monitor, &info)) return std::nullopt;
    return ScreenBox{info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
}


void paint_monitor_icon(PaintSurface& surface, const SplashPalette& colours) {
    rounded_rectangle(surface, 24, 24, 40, 40, 10, colours.tile, Border{colours.border, 1});
    rounded_rectangle(surface, 33, 33, 22, 15, 0, std::nullopt, Border{colours.accent, 2});
    line(surface, 44, 48, 44, 53, colours.accent, 2);
    line(surface, 38, 53, 50, 53, colours.accent, 2);
}

}  // namespace

bool Splash::create(HINSTANCE instance, const SplashOptions& options) {
    destroy();
    register_splash_class(instance);
    const auto area = monitor_work_area(options.bounds);
    if (!area) return false;
    work_area_ = *area;
    dark_ = options.dark;
    closable_ = options.closable;
    caption_ = options.caption;
    message_ = options.message;
    progress_ = SplashProgress{};
    const std::wstring title(kSplashTitle.begin(), kSplashTitle.end());
    ::CreateWindowExW(WS_EX_APPWINDOW, kSplashWindowClass, title.c_str(), WS_POPUP, work_area_.left, work_area_.top,
                      1, 1, nullptr, nullptr, instance, this);
    if (!window_) return false;
    accessible_ = std::make_unique<AccessibleWindow>(
        window_, AccessibleSource{[this] { return splash_display(progress_, caption_, message_); },
                                  [this] { return scale_; }});
    accessible_->announce();
    place();
    round_the_corners(window_, palette(dark_).border);
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::UpdateWindow(window_);
    ::SetForegroundWindow(window_);
    ::SetTimer(window_, kAnimationTimer, kAnimationPeriodMs, nullptr);
    return true;
}

void Splash::place() {
    scale_ = ::GetDpiForWindow(window_) / 96.0;
    if (scale_ <= 0) scale_ = 1.0;
    const ScreenBox box = splash_box(work_area_, scale_);
    ::SetWindowPos(window_, nullptr, box.left, box.top, box.width(), box.height(), SWP_NOACTIVATE | SWP_NOZORDER);
}

void Splash::set_stage(int stage) {
    set_splash_stage(progress_, stage);
    if (window_) ::InvalidateRect(window_, nullptr, FALSE);
    if (accessible_) accessible_->announce();
}

void Splash::destroy() {
    if (!window_) return;
    ::KillTimer(window_, kAnimationTimer);
    accessible_.reset();
    ::DestroyWindow(window_);  // WM_NCDESTROY clears window_
    window_ = nullptr;
}

void Splash::paint(HDC dc, const RECT* region) const {
    RECT client{};
    ::GetClientRect(window_, &client);
    RECT part = client;
    if (region && !::IntersectRect(&part, &client, region)) return;
    if (part.right <= part.left || part.bottom <= part.top) return;
    const bool high_contrast = theme::high_contrast_on();
    const SplashPalette colours = high_contrast ? high_contrast_splash() : palette(dark_);
    PaintSurface surface(text_engine(), part, scale_, colours.background);
    if (!surface.ready()) return;

    // The outer border is exactly one pixel at every scale.
    {
        const UniquePen pen(::CreatePen(PS_SOLID, 1, colours.border));
        const GdiSelection pen_selected(surface.dc(), pen.get());
        const GdiSelection brush_selected(surface.dc(), ::GetStockObject(NULL_BRUSH));
        ::Rectangle(surface.dc(), -part.left, -part.top, client.right - part.left, client.bottom - part.top);
    }
    paint_monitor_icon(surface, colours);
    const DipBox track = splash_track_box();
    rounded_rectangle(surface, track.x, track.y, track.width, track.height, 3, colours.track,
                      high_contrast ? std::optional(Border{colours.border, 1}) : std::nullopt);
    const BarExtent bar = splash_bar(progress_);
    if (bar.width > 0) rounded_rectangle(surface, bar.left, track.y, bar.width, track.height, 3, colours.accent);
    queue_model_texts(surface, splash_display(progress_, caption_, message_), inks_of(colours));
    surface.present(dc);
}

LRESULT Splash::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_PAINT: {
            const std::vector<RECT> parts = update_rectangles(window_);
            const PaintCycle cycle(window_);
            if (cycle.dc()) {
                for (const RECT& part : parts) paint(cycle.dc(), &part);
            }
            warm_up_text_after_paint(window_);
            return 0;
        }
        case kMessageWarmUpText:
            warm_up_text(window_);
            return 0;
        case WM_PRINTCLIENT:
            // A print asks for the finished picture, not a quick first frame.
            text_engine().warm_up_direct2d();
            paint(reinterpret_cast<HDC>(wparam));
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_GETOBJECT:
            if (accessible_) return accessible_->answer(wparam, lparam);
            return ::DefWindowProcW(window_, message, wparam, lparam);
        case WM_SETTINGCHANGE:
        case WM_SYSCOLORCHANGE:
            ::InvalidateRect(window_, nullptr, FALSE);  // high contrast may have come or gone
            return 0;
        case WM_NCHITTEST:
            return HTCAPTION;
        case WM_TIMER:
            // Only the bar moves; a settled bar asks for no frames.
            if (wparam == kAnimationTimer && advance_splash(progress_)) {
                invalidate_box(window_, splash_track_box(), scale_);
            }
            return 0;
        case WM_DPICHANGED: {
            const UINT dpi = HIWORD(wparam);
            const auto* suggested = reinterpret_cast<const RECT*>(lparam);
            if (dpi < 48 || !suggested) return 0;
            scale_ = dpi / 96.0;
            ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                           suggested->bottom - suggested->top, SWP_NOACTIVATE | SWP_NOZORDER);
            return 0;
        }
        case WM_CLOSE:
            // In a real update only the end of the run takes the splash away.
            if (closable_) {
                destroy();
                ::PostQuitMessage(0);
            }
            return 0;
        default:
            return ::DefWindowProcW(window_, message, wparam, lparam);
    }
}

LRESULT CALLBACK splash_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* splash = static_cast<Splash*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        splash->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(splash));
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    auto* splash = reinterpret_cast<Splash*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (splash) {
            splash->accessible_.reset();
            splash->window_ = nullptr;
        }
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    if (!splash) return ::DefWindowProcW(window, message, wparam, lparam);
    return splash->handle(message, wparam, lparam);
}

}  // namespace zelkora::ui
