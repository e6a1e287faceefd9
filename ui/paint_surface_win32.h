#pragma once
// One paint's off-screen surface: a 32-bit top-down bitmap in a memory
// device context, GDI+ for antialiased shapes, and the texts queued for the
// text engine, which draws them after every shape in one batch.
// A surface may cover only a part of its window (the part to repaint): it is
// then as small as that part, everything is drawn translated onto it, and
// shapes and texts that cannot reach it are left out.

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/owners_win32.h"
#include "ui/gdi_scopes_win32.h"
#include "ui/text_engine_win32.h"
#include "ui/text_item.h"
#include "ui/window_geometry_dips.h"

namespace zelkora::ui {

class PaintSurface {
public:
    // Width and height in pixels, each at least 1; cleared to the opaque background.
    PaintSurface(TextEngine& engine, int width, int height, double scale, COLORREF background);
    // Covers only region (window pixels); it is presented at the region's origin.
    PaintSurface(TextEngine& engine, const RECT& region, double scale, COLORREF background);
    PaintSurface(const PaintSurface&) = delete;
    PaintSurface& operator=(const PaintSurface&) = delete;

    bool ready() const { return graphics_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    double scale() const { return scale_; }
    // The window pixel at the surface's top-left corner.
    int origin_x() const { return origin_x_; }
    int origin_y() const { return origin_y_; }
    // Whether a shape inside box (DIPs), with margin DIPs around it, can touch the surface.
    bool reaches(const DipBox& box, double margin_dips = 0) const;
    HDC dc() const { return dc_.get(); }
    Gdiplus::Graphics& graphics() { return *graphics_; }
    // Rows of width() pixels, 0x00RRGGBB, top row first; null once presented.
    const std::uint32_t* pixels() const { return pixels_; }

    // A GDI+ failure does not stop the paint; the last one is kept here.
    void remember(Gdiplus::Status status);
    Gdiplus::Status last_status() const { return last_status_; }

    // Texts that cannot ink the surface are dropped here.
    void queue_text(TextItem item);
    void flush_texts();
    // Flushes the texts, copies the surface to (x, y) of the target with one
    // BitBlt, and releases it.
    void present(HDC target, int x, int y);
    // At the surface's own origin in the target.
    void present(HDC target) { present(target, origin_x_, origin_y_); }

private:
    void release();

    TextEngine& engine_;
    int origin_x_ = 0;
    int origin_y_ = 0;
    int width_;
    int height_;
    double scale_;
    std::uint32_t* pixels_ = nullptr;
    UniqueMemoryDc dc_;
    UniqueBitmap bitmap_;
    std::optional<GdiSelection> selection_;
    std::unique_ptr<Gdiplus::Graphics> graphics_;
    Gdiplus::Status last_status_ = Gdiplus::Ok;
    std::vector<TextItem> texts_;
};

// The parts of the window's update region, to be called before BeginPaint:
// its rectangles, or its bounding box when it has many; empty when nothing
// is invalid.
std::vector<RECT> update_rectangles(HWND window);

// Invalidates, without erasing, every pixel a shape inside box (DIPs) may touch.
void invalidate_box(HWND window, const DipBox& box, double scale);

}  // namespace zelkora::ui
