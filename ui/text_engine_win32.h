#pragma once
// The text engine of the process: DirectWrite with the embedded Pretendard
// faces in a private font collection, Direct2D drawing onto a GDI device
// context, and plain GDI when either is missing.

#include <windows.h>
#include <d2d1.h>
#include <dwrite_3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/com_owners_win32.h"
#include "core/owners_win32.h"
#include "ui/text_item.h"

namespace zelkora::ui {

struct TextEngineOptions {
    HMODULE fonts_module = nullptr;  // holds the faces as RCDATA 201 to 203
    bool direct2d = true;            // false leaves every text to GDI
    // Failure injection for tests: what the flush takes EndDraw to have returned.
    HRESULT (*end_draw_result)(HRESULT returned) = nullptr;
    // GDI draws the texts until warm_up_direct2d(): the first use of
    // Direct2D takes long under Wine, so the first frame goes without it.
    bool defer_direct2d = false;
};

class TextEngine {
public:
    explicit TextEngine(const TextEngineOptions& options);
    ~TextEngine();
    TextEngine(const TextEngine&) = delete;
    TextEngine& operator=(const TextEngine&) = delete;

    // "Pretendard" when the private collection has it, else "Malgun Gothic".
    const std::wstring& family() const { return family_; }
    bool has_private_fonts() const { return static_cast<bool>(collection_); }
    bool gdi_fonts_registered() const { return !gdi_fonts_.empty(); }
    bool draws_with_direct2d() const { return dwrite_ && d2d_ && !direct2d_deferred_; }
    // Direct2D waits for warm_up_direct2d().
    bool direct2d_pending() const { return dwrite_ && d2d_ && direct2d_deferred_; }
    // Makes the render target, probes it and draws one text off-screen, so
    // that the next paint finds Direct2D ready; from then on it draws the texts.
    void warm_up_direct2d();
    // Cap height over the em of the face that draws the style (0.7 unknown).
    double cap_height_ratio(unsigned style) const;

    // Empty when DirectWrite cannot make it.
    ComPtr<IDWriteTextFormat> text_format(double size_px, unsigned style) const;
    // Width of a text in the format, trailing spaces included; 0 on failure.
    double measure(IDWriteTextFormat* format, std::u16string_view text) const;
    // Lines of a text wrapped at width × scale; 0 for an empty text.
    int line_count(std::u16string_view text, double width_dips, double size_dips, unsigned style,
                   double scale) const;

    // Direct2D render targets made so far; a new one follows a lost one.
    int render_targets_made() const { return render_targets_made_; }
    bool has_render_target() const { return static_cast<bool>(target_); }

    // Whether a Direct2D target bound to a device context starts from the
    // context's pixels (Windows) or blank (Wine), probed once per process;
    // only a blank start needs the pixels copied in before the texts.
    bool target_keeps_dc_pixels();

    // Draws the items in order onto dc, whose 32-bit top-down bitmap of
    // width × height pixels lies at pixels and shows the window pixels from origin.
    void draw(HDC dc, int width, int height, const std::uint32_t* pixels, double scale,
              const std::vector<TextItem>& items, POINT origin = {0, 0});

private:
    void load_private_fonts(HMODULE module);
    void register_gdi_fonts(HMODULE module);
    void read_cap_heights();
    bool make_render_target();
    bool draw_with_direct2d(HDC dc, int width, int height, const std::uint32_t* pixels, double scale,
                            const std::vector<TextItem>& items, POINT origin);
    void draw_item(ID2D1RenderTarget* target, const TextItem& item, double scale) const;
    void draw_item_with_gdi(HDC dc, const TextItem& item, double scale, POINT origin) const;

    ComPtr<IDWriteFactory> dwrite_;
    ComPtr<IDWriteFontFileLoader> loader_;  // registered with dwrite_ while held
    ComPtr<IDWriteFontCollection> collection_;
    ComPtr<ID2D1Factory> d2d_;
    ComPtr<ID2D1DCRenderTarget> target_;
    std::wstring family_ = L"Malgun Gothic";
    std::vector<UniqueFontResource> gdi_fonts_;
    double cap_height_ratios_[3] = {0.7, 0.7, 0.7};  // weights 400, 600, 700
    HRESULT (*end_draw_result_)(HRESULT) = nullptr;
    int render_targets_made_ = 0;
    std::optional<bool> target_keeps_dc_pixels_;
    bool direct2d_deferred_ = false;

    // Formats and line counts asked for again and again by every paint.
    struct CachedFormat {
        double size_px;
        unsigned style;
        ComPtr<IDWriteTextFormat> format;
    };
    struct CachedLineCount {
        std::u16string text;
        double width_dips, size_dips, scale;
        unsigned style;
        int lines;
    };
    mutable std::vector<CachedFormat> formats_;
    mutable std::vector<CachedLineCount> line_counts_;
};

// The process's engine over its own module, made on first use; Direct2D
// deferred until the first paint is on the screen.
TextEngine& text_engine();

// A window that painted while Direct2D was pending posts itself this message;
// answering it warms Direct2D up and repaints the whole window with it.
inline constexpr UINT kMessageWarmUpText = WM_APP + 0x7A;
void warm_up_text_after_paint(HWND window);
void warm_up_text(HWND window);
// The process's engine with Direct2D ready, for what comes after the first
// frame (dialogs): it paints once, with the texts as every later frame has them.
TextEngine& warm_text_engine();

}  // namespace zelkora::ui
