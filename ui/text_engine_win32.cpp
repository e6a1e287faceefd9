#include "ui/text_engine_win32.h"

#include <algorithm>
#include <cmath>

#include "resources/resource_ids.h"
#include "ui/gdi_scopes_win32.h"

namespace zelkora::ui {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

const wchar_t* wide(std::u16string_view text) { return reinterpret_cast<const wchar_t*>(text.data()); }
UINT32 length(std::u16string_view text) { return static_cast<UINT32>(text.size()); }

struct ResourceBytes {
    const void* data = nullptr;
    DWORD size = 0;
};

// The bytes stay mapped as long as the module is loaded.
ResourceBytes font_resource(HMODULE module, int id) {
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!resource) return {};
    HGLOBAL loaded = ::LoadResource(module, resource);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(module, resource);
    if (!data || size == 0) return {};
    return {data, size};
}

constexpr int kFontIds[] = {IDR_FONT_REGULAR, IDR_FONT_SEMIBOLD, IDR_FONT_BOLD};
constexpr std::size_t kCachedFormats = 32;
constexpr std::size_t kCachedLineCounts = 32;

DWRITE_FONT_WEIGHT font_weight(unsigned style) { return static_cast<DWRITE_FONT_WEIGHT>(text_weight(style)); }

D2D1_COLOR_F colour_of(std::uint32_t colour) {
    return {static_cast<float>(colour & 0xFF) / 255.0f, static_cast<float>((colour >> 8) & 0xFF) / 255.0f,
            static_cast<float>((colour >> 16) & 0xFF) / 255.0f, 1.0f};
}

DWRITE_TEXT_ALIGNMENT alignment(unsigned style) {
    if (style & text_style::kCentred) return DWRITE_TEXT_ALIGNMENT_CENTER;
    if (style & text_style::kRight) return DWRITE_TEXT_ALIGNMENT_TRAILING;
    return DWRITE_TEXT_ALIGNMENT_LEADING;
}

UINT gdi_format(unsigned style) {
    UINT format = DT_NOPREFIX | DT_END_ELLIPSIS;
    if (style & text_style::kCentred) format |= DT_CENTER;
    if (style & text_style::kRight) format |= DT_RIGHT;
    if (style & text_style::kSingleLine) {
        format |= DT_SINGLELINE;
        if (style & text_style::kMiddle) format |= DT_VCENTER;
    } else {
        format |= DT_WORDBREAK;
    }
    return format;
}

// Windows starts a DC render target from the bits already in the DC; Wine
// starts it blank and would wipe the shapes. Drawing the bits first gives the
// same picture on both.
void draw_existing_pixels(ID2D1RenderTarget* target, int width, int height, const std::uint32_t* pixels) {
    const D2D1_BITMAP_PROPERTIES properties{{DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE}, 96.0f, 96.0f};
    ComPtr<ID2D1Bitmap> bitmap;
    const D2D1_SIZE_U size{static_cast<UINT32>(width), static_cast<UINT32>(height)};
    if (FAILED(target->CreateBitmap(size, pixels, static_cast<UINT32>(width) * 4, &properties, bitmap.put()))) return;
    const D2D1_RECT_F whole{0, 0, static_cast<float>(width), static_cast<float>(height)};
    target->DrawBitmap(bitmap.get(), &whole, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR, nullptr);
}

}  // namespace

TextEngine::TextEngine(const TextEngineOptions& options)
    : end_draw_result_(options.end_draw_result), direct2d_deferred_(options.defer_direct2d) {
    if (FAILED(::DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                     reinterpret_cast<IUnknown**>(dwrite_.put())))) {
        dwrite_.reset();
    }
    if (options.direct2d && FAILED(::D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory),
                                                       nullptr, reinterpret_cast<void**>(d2d_.put())))) {
        d2d_.reset();
    }
    if (options.fonts_module) {
        load_private_fonts(options.fonts_module);
        register_gdi_fonts(options.fonts_module);
    }
    read_cap_heights();
}

TextEngine::~TextEngine() {
    target_.reset();
    collection_.reset();
    if (loader_) dwrite_->UnregisterFontFileLoader(loader_.get());
}

// All three faces or none: a collection with a missing weight would let
// DirectWrite synthesise it while GDI draws the real one.
void TextEngine::load_private_fonts(HMODULE module) {
    const auto factory = dwrite_.query<IDWriteFactory5>();
    if (!factory) return;
    ComPtr<IDWriteInMemoryFontFileLoader> loader;
    if (FAILED(factory->CreateInMemoryFontFileLoader(loader.put()))) return;
    if (FAILED(factory->RegisterFontFileLoader(loader.get()))) return;
    loader_ = loader.query<IDWriteFontFileLoader>();
    ComPtr<IDWriteFontSetBuilder1> builder;
    if (FAILED(factory->CreateFontSetBuilder(builder.put()))) return;
    for (const int id : kFontIds) {
        const ResourceBytes bytes = font_resource(module, id);
        if (!bytes.data) return;
        ComPtr<IDWriteFontFile> file;
        if (FAILED(loader->CreateInMemoryFontFileReference(factory.get(), bytes.data, bytes.size, nullptr,
                                                            file.put())) ||
            FAILED(builder->AddFontFile(file.get()))) {
            return;
        }
    }
    ComPtr<IDWriteFontSet> set;
    ComPtr<IDWriteFontCollection1> collection;
    if (FAILED(builder->CreateFontSet(set.put())) ||
        FAILED(factory->CreateFontCollectionFromFontSet(set.get(), collection.put()))) {
        return;
    }
    UINT32 index = 0;
    BOOL exists = FALSE;
    if (FAILED(collection->FindFamilyName(L"Pretendard", &index, &exists)) || !exists) return;
    collection_ = collection.query<IDWriteFontCollection>();
    if (collection_) family_ = L"Pretendard";
}

void TextEngine::register_gdi_fonts(HMODULE module) {
    for (const int id : kFontIds) {
        const ResourceBytes bytes = font_resource(module, id);
        if (!bytes.data) continue;
        DWORD installed = 0;
        UniqueFontResource font(
            ::AddFontMemResourceEx(const_cast<void*>(bytes.data), bytes.size, nullptr, &installed));
        if (font && installed > 0) gdi_fonts_.push_back(std::move(font));
    }
}

void TextEngine::read_cap_heights() {
    if (!dwrite_) return;
    ComPtr<IDWriteFontCollection> collection;
    if (collection_) {
        collection = collection_.query<IDWriteFontCollection>();
    } else if (FAILED(dwrite_->GetSystemFontCollection(collection.put(), FALSE))) {
        return;
    }
    UINT32 index = 0;
    BOOL exists = FALSE;
    ComPtr<IDWriteFontFamily> family;
    if (FAILED(collection->FindFamilyName(family_.c_str(), &index, &exists)) || !exists ||
        FAILED(collection->GetFontFamily(index, family.put()))) {
        return;
    }
    const DWRITE_FONT_WEIGHT weights[] = {DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_WEIGHT_SEMI_BOLD,
                                          DWRITE_FONT_WEIGHT_BOLD};
    for (int i = 0; i < 3; ++i) {
        ComPtr<IDWriteFont> font;
        if (FAILED(family->GetFirstMatchingFont(weights[i], DWRITE_FONT_STRETCH_NORMAL, DWRITE_FONT_STYLE_NORMAL,
                                                font.put()))) {
            continue;
        }
        DWRITE_FONT_METRICS metrics{};
        font->GetMetrics(&metrics);
        if (metrics.designUnitsPerEm != 0 && metrics.capHeight != 0) {
            cap_height_ratios_[i] = static_cast<double>(metrics.capHeight) / metrics.designUnitsPerEm;
        }
    }
}

double TextEngine::cap_height_ratio(unsigned style) const {
    if (style & text_style::kMonospace) return cap_height_ratios_[0];
    switch (text_weight(style)) {
        case 700: return cap_height_ratios_[2];
        case 600: return cap_height_ratios_[1];
        default: return cap_height_ratios_[0];
    }
}

ComPtr<IDWriteTextFormat> TextEngine::text_format(double size_px, unsigned style) const {
    for (const CachedFormat& cached : formats_) {
        if (cached.size_px == size_px && cached.style == style) return cached.format.query<IDWriteTextFormat>();
    }
    ComPtr<IDWriteTextFormat> format;
    if (!dwrite_) return format;
    const bool monospace = style & text_style::kMonospace;
    if (FAILED(dwrite_->CreateTextFormat(monospace ? L"Consolas" : family_.c_str(),
                                         monospace ? nullptr : collection_.get(), font_weight(style),
                                         DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                         static_cast<float>(size_px), L"ko-kr", format.put()))) {
        format.reset();
        return format;
    }
    format->SetWordWrapping(DWRITE_WORD_WRAPPING_NO_WRAP);
    ComPtr<IDWriteInlineObject> ellipsis;
    if (SUCCEEDED(dwrite_->CreateEllipsisTrimmingSign(format.get(), ellipsis.put()))) {
        const DWRITE_TRIMMING trimming{DWRITE_TRIMMING_GRANULARITY_CHARACTER, 0, 0};
        format->SetTrimming(&trimming, ellipsis.get());
    }
    // A window uses a dozen formats; a screen of many sizes only evicts the oldest.
    if (formats_.size() >= kCachedFormats) formats_.erase(formats_.begin());
    formats_.push_back({size_px, style, format.query<IDWriteTextFormat>()});
    return format;
}

double TextEngine::measure(IDWriteTextFormat* format, std::u16string_view text) const {
    ComPtr<IDWriteTextLayout> layout;
    if (FAILED(dwrite_->CreateTextLayout(wide(text), length(text), format, 1000000.0f, 10000.0f, layout.put()))) {
        return 0;
    }
    DWRITE_TEXT_METRICS metrics{};
    if (FAILED(layout->GetMetrics(&metrics))) return 0;
    return metrics.widthIncludingTrailingWhitespace;
}

int TextEngine::line_count(std::u16string_view text, double width_dips, double size_dips, unsigned style,
                           double scale) const {
    if (text.empty()) return 0;
    for (const CachedLineCount& cached : line_counts_) {
        if (cached.text == text && cached.width_dips == width_dips && cached.size_dips == size_dips &&
            cached.style == style && cached.scale == scale) {
            return cached.lines;
        }
    }
    const auto format = text_format(size_dips * scale, style);
    TextMeasurer measurer;
    if (format) measurer = [&](std::u16string_view part) { return measure(format.get(), part); };
    const int lines = wrapped_line_count(text, width_dips, size_dips, scale, measurer);
    if (line_counts_.size() >= kCachedLineCounts) line_counts_.erase(line_counts_.begin());
    line_counts_.push_back({std::u16string(text), width_dips, size_dips, scale, style, lines});
    return lines;
}

void TextEngine::draw(HDC dc, int width, int height, const std::uint32_t* pixels, double scale,
                      const std::vector<TextItem>& items, POINT origin) {
    if (items.empty() || draw_with_direct2d(dc, width, height, pixels, scale, items, origin)) return;
    ::SetBkMode(dc, TRANSPARENT);
    for (const TextItem& item : items) draw_item_with_gdi(dc, item, scale, origin);
}

bool TextEngine::make_render_target() {
    if (target_) return true;
    const D2D1_RENDER_TARGET_PROPERTIES properties{
        D2D1_RENDER_TARGET_TYPE_SOFTWARE, {DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE}, 96.0f, 96.0f,
        D2D1_RENDER_TARGET_USAGE_NONE, D2D1_FEATURE_LEVEL_DEFAULT};
    if (FAILED(d2d_->CreateDCRenderTarget(&properties, target_.put()))) {
        target_.reset();
        return false;
    }
    ++render_targets_made_;
    return true;
}

// Binds a small bitmap of one colour, draws nothing, and looks whether the
// colour is still there.
bool TextEngine::target_keeps_dc_pixels() {
    if (target_keeps_dc_pixels_) return *target_keeps_dc_pixels_;
    if (!draws_with_direct2d() || !make_render_target()) return false;
    constexpr int kSide = 4;
    constexpr std::uint32_t kMark = 0x00123456;
    bool kept = false;
    const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), kSide, -kSide, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const UniqueBitmap bitmap(dc ? ::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr);
    if (bitmap && bits) {
        auto* pixels = static_cast<std::uint32_t*>(bits);
        std::fill_n(pixels, kSide * kSide, kMark);
        const GdiSelection selected(dc.get(), bitmap.get());
        const RECT whole{0, 0, kSide, kSide};
        if (SUCCEEDED(target_->BindDC(dc.get(), &whole))) {
            target_->BeginDraw();
            const HRESULT ended = target_->EndDraw(nullptr, nullptr);
            ::GdiFlush();
            kept = SUCCEEDED(ended) && std::all_of(pixels, pixels + kSide * kSide, [](std::uint32_t pixel) {
                       return (pixel & 0x00FFFFFFu) == kMark;
                   });
        }
    }
    target_keeps_dc_pixels_ = kept;
    return kept;
}

bool TextEngine::draw_with_direct2d(HDC dc, int width, int height, const std::uint32_t* pixels, double scale,
                                    const std::vector<TextItem>& items, POINT origin) {
    if (!draws_with_direct2d()) return false;
    const bool copy_in = !target_keeps_dc_pixels();
    if (!make_render_target()) return false;
    const RECT whole{0, 0, width, height};
    if (FAILED(target_->BindDC(dc, &whole))) return false;
    target_->BeginDraw();
    const D2D1_MATRIX_3X2_F identity{1, 0, 0, 1, 0, 0};
    target_->SetTransform(&identity);
    if (copy_in) draw_existing_pixels(target_.get(), width, height, pixels);
    // Whole pixels, so a text on a part of the window lands as on the whole.
    const D2D1_MATRIX_3X2_F shift{1, 0, 0, 1, static_cast<float>(-origin.x), static_cast<float>(-origin.y)};
    target_->SetTransform(&shift);
    target_->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
    for (const TextItem& item : items) draw_item(target_.get(), item, scale);
    HRESULT ended = target_->EndDraw(nullptr, nullptr);
    if (end_draw_result_) ended = end_draw_result_(ended);
    // The device behind the target is gone; the next flush makes a new one.
    if (ended == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) target_.reset();
    return true;
}

void TextEngine::draw_item(ID2D1RenderTarget* target, const TextItem& item, double scale) const {
    const auto format = text_format(item.size * scale, item.style);
    if (!format) return;
    const TextPlacement placement =
        place_text(item, scale, cap_height_ratio(item.style),
                   [&](std::u16string_view part) { return measure(format.get(), part); });
    ComPtr<ID2D1SolidColorBrush> brush;
    const D2D1_COLOR_F colour = colour_of(item.colour);
    if (FAILED(target->CreateSolidColorBrush(&colour, nullptr, brush.put()))) return;
    const auto max_width = static_cast<float>(std::max(item.width * scale, 1.0));
    const auto line_height = static_cast<float>(placement.line_height);
    for (std::size_t i = 0; i < placement.lines.size(); ++i) {
        const std::u16string& line = placement.lines[i];
        ComPtr<IDWriteTextLayout> layout;
        if (FAILED(dwrite_->CreateTextLayout(wide(line), length(line), format.get(), max_width, line_height,
                                             layout.put()))) {
            continue;
        }
        layout->SetTextAlignment(alignment(item.style));
        layout->SetLineSpacing(DWRITE_LINE_SPACING_METHOD_UNIFORM, line_height,
                               static_cast<float>(placement.baseline));
        const D2D1_POINT_2F origin{static_cast<float>(item.x * scale),
                                   static_cast<float>(placement.first_top + static_cast<double>(i) * line_height)};
        target->DrawTextLayout(origin, layout.get(), brush.get(), D2D1_DRAW_TEXT_OPTIONS_NONE);
    }
}

void TextEngine::draw_item_with_gdi(HDC dc, const TextItem& item, double scale, POINT origin) const {
    const wchar_t* face = (item.style & text_style::kMonospace) ? L"Consolas"
                          : gdi_fonts_registered()                ? L"Pretendard"
                                                                  : L"Malgun Gothic";
    const UniqueFont font(::CreateFontW(-static_cast<int>(std::lround(item.size * scale)), 0, 0, 0,
                                        text_weight(item.style), FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH,
                                        face));
    const GdiSelection selected(dc, font.get());
    ::SetTextColor(dc, item.colour);
    RECT box{static_cast<LONG>(item.x * scale), static_cast<LONG>(item.y * scale),
             static_cast<LONG>((item.x + item.width) * scale), static_cast<LONG>((item.y + item.height) * scale)};
    ::OffsetRect(&box, -origin.x, -origin.y);
    ::DrawTextW(dc, wide(item.text), static_cast<int>(item.text.size()), &box, gdi_format(item.style));
}

void TextEngine::warm_up_direct2d() {
    if (!direct2d_deferred_) return;
    direct2d_deferred_ = false;
    if (!draws_with_direct2d() || !make_render_target()) return;
    target_keeps_dc_pixels();
    const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), 32, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const UniqueBitmap bitmap(dc ? ::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr);
    if (!bitmap || !bits) return;
    const GdiSelection selected(dc.get(), bitmap.get());
    const std::vector<TextItem> items{{u"설치", 0, 0, 32, 16, 12, 0, 0, text_style::kSingleLine}};
    draw(dc.get(), 32, 16, static_cast<const std::uint32_t*>(bits), 1.0, items);
}

TextEngine& text_engine() {
    TextEngineOptions options;
    options.fonts_module = ::GetModuleHandleW(nullptr);
    options.defer_direct2d = true;
    static TextEngine engine(options);
    return engine;
}

TextEngine& warm_text_engine() {
    TextEngine& engine = text_engine();
    engine.warm_up_direct2d();
    return engine;
}

void warm_up_text_after_paint(HWND window) {
    if (text_engine().direct2d_pending()) ::PostMessageW(window, kMessageWarmUpText, 0, 0);
}

// The window posted this because it painted its texts with GDI.
void warm_up_text(HWND window) {
    text_engine().warm_up_direct2d();
    ::InvalidateRect(window, nullptr, FALSE);
}

}  // namespace zelkora::ui
