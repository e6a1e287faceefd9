#include "ui/paint_surface_win32.h"

#include <algorithm>

namespace zelkora::ui {

PaintSurface::PaintSurface(TextEngine& engine, int width, int height, double scale, COLORREF background)
    : engine_(engine), width_(std::max(width, 1)), height_(std::max(height, 1)), scale_(scale) {
    dc_.reset(::CreateCompatibleDC(nullptr));
    if (!dc_) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.reset(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap_ || !bits) return;
    pixels_ = static_cast<std::uint32_t*>(bits);
    const std::uint32_t opaque = 0xFF000000u | (GetRValue(background) << 16) | (GetGValue(background) << 8) |
                                 GetBValue(background);
    std::fill_n(pixels_, static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), opaque);
    selection_.emplace(dc_.get(), bitmap_.get());
    graphics_ = std::make_unique<Gdiplus::Graphics>(dc_.get());
    remember(graphics_->GetLastStatus());
    remember(graphics_->SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias));
}

void PaintSurface::remember(Gdiplus::Status status) {
    if (status != Gdiplus::Ok) last_status_ = status;
}

void PaintSurface::queue_text(TextItem item) { texts_.push_back(std::move(item)); }

void PaintSurface::flush_texts() {
    if (!ready()) return;
    graphics_->Flush(Gdiplus::FlushIntentionSync);
    ::GdiFlush();
    engine_.draw(dc_.get(), width_, height_, pixels_, scale_, texts_);
    ::GdiFlush();
    texts_.clear();
}

void PaintSurface::present(HDC target, int x, int y) {
    if (!ready()) return;
    flush_texts();
    ::BitBlt(target, x, y, width_, height_, dc_.get(), 0, 0, SRCCOPY);
    release();
}

void PaintSurface::release() {
    graphics_.reset();
    selection_.reset();
    bitmap_.reset();
    dc_.reset();
    pixels_ = nullptr;
}

}  // namespace zelkora::ui
