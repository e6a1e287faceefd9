#pragma once
// Scope-bound GDI states that are not objects of their own: a selection into
// a device context, a window's device context and a paint cycle.

#include <windows.h>

namespace zelkora::ui {

// Puts the previous object back at the end of the scope, so the selected
// object can be deleted afterwards.
class GdiSelection {
public:
    GdiSelection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~GdiSelection() { ::SelectObject(dc_, previous_); }
    GdiSelection(const GdiSelection&) = delete;
    GdiSelection& operator=(const GdiSelection&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

class PaintCycle {
public:
    explicit PaintCycle(HWND window) : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    ~PaintCycle() { ::EndPaint(window_, &paint_); }
    PaintCycle(const PaintCycle&) = delete;
    PaintCycle& operator=(const PaintCycle&) = delete;

    HDC dc() const noexcept { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

}  // namespace zelkora::ui
