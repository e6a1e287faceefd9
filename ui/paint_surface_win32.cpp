#include "ui/paint_surface_win32.h"

#include <algorithm>

#include "core/owners_win32.h"

namespace zelkora::ui {

PaintSurface::PaintSurface(TextEngine& engine, int width, int height, double scale, COLORREF background)
    : PaintSurface(engine, RECT{0, 0, width, height}, scale, background) {}

PaintSurface::PaintSurface(TextEngine& engine, const RECT& region, double scale, COLORREF background)
    : engine_(engine),
      origin_x_(region.left),
      origin_y_(region.top),
      width_(std::max(static_cast<int>(region.right - region.left), 1)),
      height_(std::max(static_cast<int>(region.bottom - region.top), 1)),
      scale_(scale) {
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
    // Whole pixels only, so every shape lands on the pixels a full paint gives it.
    if (origin_x_ != 0 || origin_y_ != 0) {
        remember(graphics_->TranslateTransform(static_cast<Gdiplus::REAL>(-origin_x_),
                                               static_cast<Gdiplus::REAL>(-origin_y_)));
    }
}

bool PaintSurface::reaches(const DipBox& box, double margin_dips) const {
    const PixelBox self{origin_x_, origin_y_, origin_x_ + width_, origin_y_ + height_};
    return pixels_touched(box, scale_, margin_dips).intersects(self);
}

void PaintSurface::remember(Gdiplus::Status status) {
    if (status != Gdiplus::Ok) last_status_ = status;
}

void PaintSurface::queue_text(TextItem item) {
    if (!reaches({item.x, item.y, item.width, item.height}, text_ink_margin(item.size))) return;
    texts_.push_back(std::move(item));
}

void PaintSurface::flush_texts() {
    if (!ready()) return;
    graphics_->Flush(Gdiplus::FlushIntentionSync);
    ::GdiFlush();
    engine_.draw(dc_.get(), width_, height_, pixels_, scale_, texts_, POINT{origin_x_, origin_y_});
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

void invalidate_box(HWND window, const DipBox& box, double scale) {
    const PixelBox pixels = pixels_touched(box, scale);
    const RECT part{pixels.left, pixels.top, pixels.right, pixels.bottom};
    ::InvalidateRect(window, &part, FALSE);
}

std::vector<RECT> update_rectangles(HWND window) {
    // A few separate parts (the spinner and the bar) are cheaper painted
    // apart; many small ones (a region torn by a dialog) as one box.
    constexpr DWORD kMostParts = 8;
    std::vector<RECT> parts;
    const UniqueRegion region(::CreateRectRgn(0, 0, 0, 0));
    if (!region) return parts;
    const int kind = ::GetUpdateRgn(window, region.get(), FALSE);
    if (kind == NULLREGION || kind == ERROR) return parts;
    RECT box{};
    ::GetRgnBox(region.get(), &box);
    const DWORD size = ::GetRegionData(region.get(), 0, nullptr);
    std::vector<std::uint8_t> bytes(size);
    auto* data = reinterpret_cast<RGNDATA*>(bytes.data());
    if (kind == COMPLEXREGION && size >= sizeof(RGNDATAHEADER) && ::GetRegionData(region.get(), size, data) == size &&
        data->rdh.nCount <= kMostParts) {
        const auto* rectangles = reinterpret_cast<const RECT*>(data->Buffer);
        parts.assign(rectangles, rectangles + data->rdh.nCount);
    } else {
        parts.push_back(box);
    }
    return parts;
}

}  // namespace zelkora::ui
