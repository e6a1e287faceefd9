#pragma once
// The update splash: a small borderless window, centred on the monitor where
// the Client's window was, that follows the installer's steps while the
// setup window stays hidden.

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "ui/accessible_win32.h"
#include "ui/splash_model.h"

namespace zelkora::ui {

inline constexpr wchar_t kSplashWindowClass[] = L"ZelkoraUpdateSplash";

struct SplashOptions {
    std::optional<RECT> bounds;  // the Client's window; only selects the monitor
    bool dark = true;
    std::u16string caption;
    std::u16string message{kSplashMessage};
    bool closable = false;  // previews: closing the splash ends the run
};

// Owns the splash window; the window procedure reaches this object through
// GWLP_USERDATA, so it must not move while the window exists.
class Splash {
public:
    Splash() = default;
    ~Splash() { destroy(); }
    Splash(const Splash&) = delete;
    Splash& operator=(const Splash&) = delete;

    // Registers the class, picks the monitor, creates, sizes, styles and
    // shows the window and starts its 33 ms timer. False when there is no
    // monitor information or no window.
    [[nodiscard]] bool create(HINSTANCE instance, const SplashOptions& options);
    void set_stage(int stage);
    // Stops the timer and destroys the window; harmless when there is none.
    void destroy();

    HWND window() const { return window_; }
    const ScreenBox& work_area() const { return work_area_; }
    double scale() const { return scale_; }
    const SplashProgress& progress() const { return progress_; }

    // Draws the client area, or only the part of it in region, into dc with
    // one copy from an off-screen bitmap.
    void paint(HDC dc, const RECT* region = nullptr) const;

private:
    friend LRESULT CALLBACK splash_procedure(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    void place();

    HWND window_ = nullptr;
    ScreenBox work_area_;
    double scale_ = 1.0;
    bool dark_ = true;
    bool closable_ = false;
    std::u16string caption_;
    std::u16string message_;
    SplashProgress progress_;
    std::unique_ptr<AccessibleWindow> accessible_;  // while the window exists
};

}  // namespace zelkora::ui
