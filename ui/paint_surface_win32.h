#pragma once
// One paint's off-screen surface: a 32-bit top-down bitmap in a memory
// device context, GDI+ for antialiased shapes, and the texts queued for the
// text engine, which draws them after every shape in one batch.

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/owners.h"
#include "ui/gdi_scopes.h"
#include "ui/text_engine_win32.h"
#include "ui/text_item.h"

namespace zelkora::ui {

class PaintSurface {
public:
    // Width and height in pixels, each at least 1; cleared to the opaque background.
    PaintSurface(TextEngine& engine, int width, int height, double scale, COLORREF background);
    PaintSurface(const PaintSurface&) = delete;
    PaintSurface& operator=(const PaintSurface&) = delete;

    bool ready() const { return graphics_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    double scale() const { return scale_; }
    HDC dc() const { return dc_.get(); }
    Gdiplus::Graphics& graphics() { return *graphics_; }
    // Rows of width() pixels, 0x00RRGGBB, top row first; null once presented.
    const std::uint32_t* pixels() const { return pixels_; }

    // A GDI+ failure does not stop the paint; the last one is kept here.
    void remember(Gdiplus::Status status);
    Gdiplus::Status last_status() const { return last_status_; }

    void queue_text(TextItem item);
    void flush_texts();
    // Flushes the texts, copies the surface to (x, y) of the target with one
    // BitBlt, and releases it.
    void present(HDC target, int x, int y);

private:
    void release();

    TextEngine& engine_;
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

}  // namespace zelkora::ui
