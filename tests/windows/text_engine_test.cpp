// The text engine over the setup's own embedded faces and without them, and
// the paint surface that draws its texts: read back pixel by pixel.
#include <gtest/gtest.h>

#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "design_palette.h"
#include "gdiplus_suite.h"
#include "test_support.h"
#include "ui/button_painting_win32.h"
#include "ui/paint_surface_win32.h"
#include "ui/shapes_win32.h"
#include "ui/text_engine_win32.h"

namespace {

using namespace zelkora::ui;
namespace design = zelkora::test::design;
using namespace zelkora::ui::text_style;

// The setup executable as a resource module: the faces it ships.
HMODULE setup_module() {
    static const zelkora::UniqueLibrary module(::LoadLibraryExW(
        zelkora::test::setup_exe_path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    return module.get();
}

TextEngine& engine_with_faces() {
    static TextEngine engine({setup_module(), true});
    return engine;
}

TextEngine& engine_without_faces() {
    static TextEngine engine({::GetModuleHandleW(L"kernel32.dll"), true});
    return engine;
}

TextEngine& gdi_only_engine() {
    static TextEngine engine({setup_module(), false});
    return engine;
}

TEST(TextEngine, EmbeddedFacesFormThePrivateCollection) {
    ASSERT_NE(setup_module(), nullptr);
    const TextEngine& engine = engine_with_faces();
    EXPECT_EQ(engine.family(), L"Pretendard");
    EXPECT_TRUE(engine.has_private_fonts());
    EXPECT_TRUE(engine.gdi_fonts_registered());
    EXPECT_TRUE(engine.draws_with_direct2d());
    for (const unsigned style : {0u, kSemibold, kBold, kMonospace}) {
        const double ratio = engine.cap_height_ratio(style);
        EXPECT_GT(ratio, 0.6) << style;
        EXPECT_LT(ratio, 0.8) << style;
        EXPECT_NE(ratio, 0.7) << style << ": the face's own cap height was not read";
    }
    EXPECT_TRUE(engine.text_format(13, kBold));
    EXPECT_TRUE(engine.text_format(13, kMonospace));
}

TEST(TextEngine, WithoutEmbeddedFacesEverythingFallsBackToMalgunGothic) {
    const TextEngine& engine = engine_without_faces();
    EXPECT_EQ(engine.family(), L"Malgun Gothic");
    EXPECT_FALSE(engine.has_private_fonts());
    EXPECT_FALSE(engine.gdi_fonts_registered());
    EXPECT_TRUE(engine.text_format(13, 0));
    EXPECT_EQ(engine.line_count(u"설치를 준비하고 있어요", 400, 13, 0, 1.0), 1);
}

// Narrow letters take far less than one em each, so a measuring engine fits
// on one line what the estimate (one em per unit) spreads over two.
TEST(TextEngine, LineCountsMeasureTheFace) {
    const std::u16string narrow = u"iiiiiiiiii iiiiiiiiii";
    EXPECT_EQ(wrapped_line_count(narrow, 100, 10, 1.0, {}), 2);
    EXPECT_EQ(engine_with_faces().line_count(narrow, 100, 10, 0, 1.0), 1);
    EXPECT_EQ(engine_with_faces().line_count(narrow, 100, 10, 0, 8.0), 1) << "the scale applies to width and size";
    EXPECT_EQ(engine_with_faces().line_count(u"", 100, 10, 0, 1.0), 0);
    // Each word is wider than the box in any face: "W" is about one em.
    EXPECT_GE(engine_with_faces().line_count(u"WWWWWWWWWWWW WWWWWWWWWWWW", 100, 10, kBold, 1.0), 4);
}

struct Ink {
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;  // inclusive
    bool any() const { return right >= 0; }
    double centre_x() const { return (left + right + 1) / 2.0; }
    double centre_y() const { return (top + bottom + 1) / 2.0; }
};

constexpr COLORREF kBackdrop = design::kBackground;
constexpr std::uint32_t kBackdropPixel = 0x0E1418;

Ink ink_of(const PaintSurface& surface) {
    Ink ink;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            if ((surface.pixels()[y * surface.width() + x] & 0xFFFFFF) == kBackdropPixel) continue;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
        }
    }
    return ink;
}

class PaintSurfaceTest : public zelkora::test::WithGdiplus<testing::Test> {};

using PaintSurfaceTests = PaintSurfaceTest;

TEST_F(PaintSurfaceTests, StartsOpaqueInTheBackgroundColour) {
    PaintSurface surface(engine_with_faces(), 0, -3, 1.0, kBackdrop);
    ASSERT_TRUE(surface.ready());
    EXPECT_EQ(surface.width(), 1);
    EXPECT_EQ(surface.height(), 1);
    EXPECT_EQ(surface.pixels()[0], 0xFF000000u | kBackdropPixel);
}

// A capital H centred both ways: the middle of its ink is the middle of the
// box, which only holds when the baseline uses the face's cap height.
TEST_F(PaintSurfaceTests, CentredCapitalsSitInTheMiddleOfTheirBox) {
    for (const double scale : {1.0, 1.5, 2.0}) {
        PaintSurface surface(engine_with_faces(), static_cast<int>(200 * scale), static_cast<int>(80 * scale), scale,
                             kBackdrop);
        ASSERT_TRUE(surface.ready());
        surface.queue_text({u"HHH", 20, 10, 160, 60, 24, 0, design::kText, kBold | kCentred | kMiddle | kSingleLine});
        surface.flush_texts();
        const Ink ink = ink_of(surface);
        ASSERT_TRUE(ink.any()) << scale;
        EXPECT_NEAR(ink.centre_x(), 100 * scale, 1.5) << scale;
        EXPECT_NEAR(ink.centre_y(), 40 * scale, 1.5) << scale;
        EXPECT_NEAR(ink.bottom + 1 - ink.top, 24 * scale * engine_with_faces().cap_height_ratio(kBold), 2) << scale;
    }
}

struct BackEnd {
    const char* name;
    TextEngine& (*engine)();
};

class TextBackEnds : public PaintSurfaceTest, public testing::WithParamInterface<BackEnd> {};

TEST_P(TextBackEnds, RightAlignedTextEndsAtTheRightOfItsBox) {
    PaintSurface surface(GetParam().engine(), 200, 40, 1.0, kBackdrop);
    surface.queue_text({u"1 / 6", 20, 10, 150, 20, 12, 0, design::kFaint, kRight | kMiddle | kSingleLine});
    surface.flush_texts();
    const Ink ink = ink_of(surface);
    ASSERT_TRUE(ink.any());
    EXPECT_LE(ink.right, 170);
    EXPECT_GE(ink.right, 164);
    EXPECT_GE(ink.left, 120);
}

TEST_P(TextBackEnds, TooLongSingleLineStaysInsideItsBox) {
    PaintSurface surface(GetParam().engine(), 300, 40, 1.0, kBackdrop);
    surface.queue_text({u"설치 파일·대상 경로 확인 설치 파일·대상 경로 확인", 10, 10, 80, 20, 13, 0, design::kText,
                        kMiddle | kSingleLine});
    surface.flush_texts();
    const Ink ink = ink_of(surface);
    ASSERT_TRUE(ink.any());
    EXPECT_GE(ink.left, 10);
    EXPECT_LT(ink.right, 90);
}

TEST_P(TextBackEnds, TextsAreDrawnOverTheShapes) {
    PaintSurface surface(GetParam().engine(), 100, 40, 1.0, kBackdrop);
    Gdiplus::SolidBrush card(Gdiplus::Color(255, 0x14, 0x1C, 0x21));
    surface.remember(surface.graphics().FillRectangle(&card, 0, 0, 100, 40));
    surface.queue_text({u"H", 0, 0, 100, 40, 20, 0, RGB(0xFF, 0xFF, 0xFF), kCentred | kMiddle | kSingleLine});
    surface.flush_texts();
    EXPECT_EQ(surface.last_status(), Gdiplus::Ok);
    int white = 0;
    int card_pixels = 0;
    for (int i = 0; i < 100 * 40; ++i) {
        const std::uint32_t pixel = surface.pixels()[i] & 0xFFFFFF;
        white += pixel == 0xFFFFFF;
        card_pixels += pixel == 0x141C21;
    }
    EXPECT_GT(white, 10) << "the text went under the card";
    EXPECT_GT(card_pixels, 3000);
}

INSTANTIATE_TEST_SUITE_P(Engines, TextBackEnds,
                         testing::Values(BackEnd{"direct2d", engine_with_faces}, BackEnd{"gdi", gdi_only_engine}),
                         [](const auto& info) { return std::string(info.param.name); });

// Direct2D reports a lost device at EndDraw of the first flush only: that
// render target goes, the next flush makes a new one and draws with it.
HRESULT lose_the_first_target(HRESULT returned) {
    static int calls = 0;
    return ++calls == 1 ? static_cast<HRESULT>(D2DERR_RECREATE_TARGET) : returned;
}

TEST_F(PaintSurfaceTests, ALostRenderTargetIsMadeAgainAtTheNextFlush) {
    TextEngine engine({setup_module(), true, lose_the_first_target});
    for (const int flush : {1, 2, 3}) {
        PaintSurface surface(engine, 100, 40, 1.0, kBackdrop);
        surface.queue_text({u"HHH", 0, 0, 100, 40, 20, 0, design::kText, kCentred | kMiddle | kSingleLine});
        surface.flush_texts();
        EXPECT_EQ(engine.has_render_target(), flush > 1) << flush;
        EXPECT_EQ(engine.render_targets_made(), flush == 1 ? 1 : 2) << flush;
        if (flush > 1) EXPECT_TRUE(ink_of(surface).any()) << flush;
    }
}

// The first frame goes without Direct2D; once warmed up, Direct2D draws the
// texts, on the one render target made by the warm-up.
TEST_F(PaintSurfaceTests, DeferredDirect2DLeavesTheTextsToGdiUntilWarmedUp) {
    TextEngineOptions options{setup_module(), true};
    options.defer_direct2d = true;
    TextEngine engine(options);
    const auto flush_one_text = [&] {
        PaintSurface surface(engine, 100, 40, 1.0, kBackdrop);
        surface.queue_text({u"HHH", 0, 0, 100, 40, 20, 0, design::kText, kCentred | kMiddle | kSingleLine});
        surface.flush_texts();
        return ink_of(surface).any();
    };
    EXPECT_TRUE(engine.direct2d_pending());
    EXPECT_TRUE(flush_one_text());
    EXPECT_EQ(engine.render_targets_made(), 0);
    engine.warm_up_direct2d();
    EXPECT_FALSE(engine.direct2d_pending());
    EXPECT_TRUE(engine.draws_with_direct2d());
    EXPECT_EQ(engine.render_targets_made(), 1);
    EXPECT_TRUE(flush_one_text());
    EXPECT_EQ(engine.render_targets_made(), 1);
}

// Only part of a window: the surface is as small as the part, and a text that
// crosses it is drawn there as on the whole window.
TEST_F(PaintSurfaceTests, APartShowsThePixelsOfTheWhole) {
    const auto paint = [](const RECT& region) {
        PaintSurface surface(engine_with_faces(), region, 1.5, kBackdrop);
        rounded_rectangle(surface, 10, 10, 80, 30, 8, design::kCard, Border{design::kLine, 1});
        surface.queue_text({u"설치 중", 12, 12, 76, 26, 13, 0, design::kText, kCentred | kMiddle | kSingleLine});
        surface.flush_texts();
        std::vector<std::uint32_t> pixels(surface.pixels(), surface.pixels() + surface.width() * surface.height());
        return std::make_pair(surface.width(), pixels);
    };
    const auto [whole_width, whole] = paint(RECT{0, 0, 150, 80});
    const RECT part{37, 21, 101, 47};
    const auto [part_width, pixels] = paint(part);
    ASSERT_EQ(part_width, part.right - part.left);
    int differing = 0;
    for (int y = part.top; y < part.bottom; ++y) {
        for (int x = part.left; x < part.right; ++x) {
            const std::uint32_t expected = whole[static_cast<std::size_t>(y * whole_width + x)] & 0xFFFFFF;
            const std::uint32_t got = pixels[static_cast<std::size_t>((y - part.top) * part_width + x - part.left)];
            differing += expected != (got & 0xFFFFFF);
        }
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(PaintSurfaceTests, PresentCopiesTheWholeSurfaceOnceAndLetsGo) {
    const zelkora::UniqueMemoryDc target(::CreateCompatibleDC(nullptr));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), 64, -32, 1, 32, BI_RGB};
    void* bits = nullptr;
    const zelkora::UniqueBitmap bitmap(::CreateDIBSection(target.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ASSERT_TRUE(bitmap);
    const GdiSelection selected(target.get(), bitmap.get());
    std::fill_n(static_cast<std::uint32_t*>(bits), 64 * 32, 0u);

    PaintSurface surface(engine_with_faces(), 20, 10, 1.0, RGB(0x10, 0x20, 0x30));
    surface.queue_text({u"H", 0, 0, 20, 10, 9, 0, RGB(0xFF, 0xFF, 0xFF), kSingleLine});
    surface.present(target.get(), 30, 5);
    EXPECT_EQ(surface.pixels(), nullptr);
    EXPECT_FALSE(surface.ready());

    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    int inside = 0;
    int white = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            const std::uint32_t pixel = pixels[y * 64 + x] & 0xFFFFFF;
            const bool in_surface = x >= 30 && x < 50 && y >= 5 && y < 15;
            if (!in_surface) {
                EXPECT_EQ(pixel, 0u) << x << "," << y;
                continue;
            }
            inside += pixel == 0x102030;
            white += pixel != 0x102030;
        }
    }
    EXPECT_GT(inside, 100);
    EXPECT_GT(white, 0) << "the queued text was not flushed before the copy";
}

}  // namespace

namespace {

using namespace zelkora::ui;

int count_colour(const PaintSurface& surface, COLORREF colour, int left, int top, int right, int bottom) {
    const std::uint32_t wanted = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
    int count = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) count += (surface.pixels()[y * surface.width() + x] & 0xFFFFFF) == wanted;
    }
    return count;
}

struct MarkerCase {
    const char* name;
    int step;
    int highest;
    bool check;    // success disc
    bool spinner;  // accent arc
    bool number;   // faint digit
};

class StepMarkers : public PaintSurfaceTest, public testing::WithParamInterface<MarkerCase> {};

TEST_P(StepMarkers, ShowWhereTheStepStands) {
    const MarkerCase& c = GetParam();
    PaintSurface surface(engine_with_faces(), 40, 40, 2.0, design::kCard);
    step_marker(surface, 10, 10, 9, c.step, c.highest, 0.25);
    surface.flush_texts();
    EXPECT_EQ(count_colour(surface, design::kSuccess, 0, 0, 40, 40) > 50, c.check);
    EXPECT_EQ(count_colour(surface, design::kAccent, 0, 0, 40, 40) > 10, c.spinner);
    // The digit's ink is the only faint colour in the middle of the ring.
    int faint_ink = 0;
    for (int y = 12; y < 28; ++y) {
        for (int x = 12; x < 28; ++x) {
            const std::uint32_t pixel = surface.pixels()[y * 40 + x] & 0xFFFFFF;
            faint_ink += pixel != 0x141C21 && (pixel & 0xFF) > 0x30 && (pixel & 0xFF) <= 0x73;
        }
    }
    EXPECT_EQ(faint_ink > 5, c.number) << faint_ink;
    EXPECT_EQ(surface.last_status(), Gdiplus::Ok);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StepMarkers,
    testing::Values(MarkerCase{"first_step_spins_at_zero", 0, 0, false, true, false},
                    MarkerCase{"later_step_numbered_at_zero", 5, 0, false, false, true},
                    MarkerCase{"done_step_checked", 2, 3, true, false, false},
                    MarkerCase{"last_step_checked_at_six", 5, 6, true, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct ButtonCase {
    const char* name;
    ButtonStyle style;
    UINT item_state;
    COLORREF face;        // near the middle of the left edge
    COLORREF label;       // the label's full-coverage ink
    COLORREF ring;        // the focus ring's colour
    bool ring_expected;
};

class ButtonFaces : public PaintSurfaceTest, public testing::WithParamInterface<ButtonCase> {};

// The button is drawn into a bitmap through a real BUTTON window, whose text
// is the label, at an offset as in a parent's device context.
TEST_P(ButtonFaces, FollowTheDrawItemState) {
    const ButtonCase& c = GetParam();
    const HWND button = ::CreateWindowExW(0, L"BUTTON", L"설치 시작", WS_POPUP | BS_OWNERDRAW, 0, 0, 148, 38, nullptr,
                                          nullptr, nullptr, nullptr);
    ASSERT_NE(button, nullptr);
    PaintSurface target(engine_with_faces(), 200, 60, 1.0, RGB(1, 2, 3));
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = 1;
    item.itemState = c.item_state;
    item.hwndItem = button;
    item.hDC = target.dc();
    item.rcItem = {10, 10, 158, 48};
    draw_button(engine_with_faces(), item, 1.0, c.style, design::kBackground);
    ::GdiFlush();
    ::DestroyWindow(button);

    const auto at = [&](int x, int y) { return target.pixels()[y * 200 + x] & 0xFFFFFF; };
    const auto rgb = [](COLORREF colour) {
        return static_cast<std::uint32_t>((GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour));
    };
    EXPECT_EQ(at(5, 5), 0x010203u) << "drawn outside its rectangle";
    EXPECT_EQ(at(15, 29), rgb(c.face));
    EXPECT_EQ(count_colour(target, c.ring, 10, 10, 158, 48) > 40, c.ring_expected);
    EXPECT_GT(count_colour(target, c.label, 12, 14, 156, 44), 10) << "no label in its colour";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ButtonFaces,
    testing::Values(
        ButtonCase{"primary", ButtonStyle::primary, 0, design::kAccent, design::kPrimaryText, design::kCautionText, false},
        ButtonCase{"primary_pressed", ButtonStyle::primary, ODS_SELECTED, design::kAccentPressed, design::kPrimaryText,
                   design::kCautionText, false},
        ButtonCase{"primary_disabled", ButtonStyle::primary, ODS_DISABLED, design::kLine, design::kFaint,
                   design::kCautionText, false},
        ButtonCase{"primary_focused", ButtonStyle::primary, ODS_FOCUS, design::kAccent, design::kPrimaryText,
                   design::kCautionText, true},
        ButtonCase{"primary_focus_without_rectangle", ButtonStyle::primary, ODS_FOCUS | ODS_NOFOCUSRECT,
                   design::kAccent, design::kPrimaryText, design::kCautionText, false},
        ButtonCase{"secondary", ButtonStyle::secondary, 0, design::kCard, design::kText, design::kMuted, false},
        ButtonCase{"secondary_pressed", ButtonStyle::secondary, ODS_SELECTED, design::kPressedSecondary, design::kText,
                   design::kMuted, false},
        ButtonCase{"secondary_focused", ButtonStyle::secondary, ODS_FOCUS, design::kCard, design::kText, design::kMuted,
                   true},
        ButtonCase{"text_button_focused", ButtonStyle::right_text, ODS_FOCUS, design::kBackground, design::kAccent,
                   design::kMuted, true},
        ButtonCase{"text_button", ButtonStyle::right_text, 0, design::kBackground, design::kAccent, design::kMuted,
                   false},
        ButtonCase{"text_button_pressed", ButtonStyle::right_text, ODS_SELECTED, design::kBackground,
                   design::kAccentPressed, design::kMuted, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
