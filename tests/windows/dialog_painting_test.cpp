// The confirmation dialog measured with the text engine over the shipped
// faces, and painted from that measurement: its boxes lie where the
// measurement put them, at any scale.
#include <gtest/gtest.h>

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>

#include "core/owners_win32.h"
#include "design_palette.h"
#include "gdiplus_suite.h"
#include "test_support.h"
#include "ui/dialog_painting_win32.h"
#include "ui/gdi_scopes_win32.h"

namespace {

using namespace zelkora::ui;
namespace design = zelkora::test::design;

TextEngine& engine_with_faces() {
    static const zelkora::UniqueLibrary module(::LoadLibraryExW(zelkora::test::setup_exe_path().c_str(), nullptr,
                                                                LOAD_LIBRARY_AS_DATAFILE |
                                                                    LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    static TextEngine engine({module.get(), true});
    return engine;
}

DialogRequest trust_request() {
    DialogRequest request;
    request.heading = L"가상 모니터 드라이버의 서명을 신뢰할까요?";
    request.body = L"첫 문단이에요.\n둘째 문단이에요.";
    request.caution_text = L"동의하지 않으면 기존 Host를 바꾸지 않아요.";
    request.detail_rows = {{L"서명자", L"Sunshine Virtual Display Release Signing", false},
                           {L"지문", L"37E100B2B382866FA7CE04EE33FE53DF53AEDC6D", true}};
    return request;
}

TEST(DialogLayout, StacksHeadingBodyDetailsAndCaution) {
    const DialogLayout m = measure_dialog(trust_request(), engine_with_faces());
    EXPECT_EQ(m.heading_lines, 1);
    EXPECT_EQ(m.heading_top, 31) << "a one-line heading is centred on the 34-DIP icon";
    EXPECT_EQ(m.paragraph_lines, (std::vector<int>{1, 1}));
    EXPECT_EQ(m.details_top, 34 + 42 + 2 * 21 + 6 + 14);
    EXPECT_EQ(m.row_heights, (std::vector<double>{19, 19}));
    EXPECT_EQ(m.details_height, 24 + 2 * 19 + 6);
    EXPECT_EQ(m.caution_lines, 1);
    EXPECT_EQ(m.caution_top, m.details_top + m.details_height + 16);
    EXPECT_EQ(m.height, m.caution_top + 19 + 22 + 24 + 38 + 24);
}

TEST(DialogLayout, LongTextsTakeMoreLinesAndEmptyParagraphsSix) {
    DialogRequest request = trust_request();
    const double before = measure_dialog(request, engine_with_faces()).height;
    request.body = L"첫 문단이에요.\n\n둘째 문단이에요.";
    EXPECT_EQ(measure_dialog(request, engine_with_faces()).height, before + 6);

    request.heading = L"가상 모니터 드라이버의 서명을 신뢰할까요? 가상 모니터 드라이버의 서명을 신뢰할까요?";
    const DialogLayout m = measure_dialog(request, engine_with_faces());
    EXPECT_EQ(m.heading_lines, 2);
    EXPECT_EQ(m.heading_block, 48);
    EXPECT_EQ(m.heading_top, 26);
    // Pretendard: the monospace face of a Windows system is missing under Wine.
    request.detail_rows[0].value = std::wstring(100, L'가');
    EXPECT_GE(measure_dialog(request, engine_with_faces()).row_heights[0], 3 * 19);
}

class DialogPainting : public zelkora::test::WithGdiplus<testing::TestWithParam<double>> {};

std::uint32_t rgb(COLORREF colour) { return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour); }

// Probes in the middle of each box, on a target of the client size.
TEST_P(DialogPainting, BoxesLieWhereTheMeasurementPutThem) {
    const double scale = GetParam();
    const DialogRequest request = trust_request();
    const DialogLayout m = measure_dialog(request, engine_with_faces());
    const int width = static_cast<int>(kDialogMeasureWidth * scale);
    const int height = static_cast<int>(m.height * scale);

    const zelkora::UniqueMemoryDc target(::CreateCompatibleDC(nullptr));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), width, -height, 1, 32, BI_RGB};
    void* bits = nullptr;
    const zelkora::UniqueBitmap bitmap(::CreateDIBSection(target.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    ASSERT_TRUE(bitmap);
    const GdiSelection selected(target.get(), bitmap.get());
    paint_dialog(request, m, target.get(), RECT{0, 0, width, height}, scale);
    ::GdiFlush();
    const auto at = [&](double x, double y) {
        return static_cast<const std::uint32_t*>(bits)[static_cast<int>(y * scale) * width + static_cast<int>(x * scale)] &
               0xFFFFFF;
    };

    EXPECT_EQ(at(34, 43), rgb(design::kAccent)) << "status icon, left of its glyph";
    EXPECT_EQ(at(10, 10), rgb(design::kBackground));
    EXPECT_EQ(at(32, m.details_top + 4), rgb(design::kDetailsBox));
    EXPECT_EQ(at(32, m.details_top + m.details_height - 4), rgb(design::kDetailsBox));
    EXPECT_EQ(at(32, m.caution_top + 5), rgb(design::kAmberTint));
    EXPECT_EQ(at(32, m.caution_top + 19 + 22 - 4), rgb(design::kAmberTint));
    EXPECT_EQ(at(32, m.caution_top + 19 + 22 + 6), rgb(design::kBackground)) << "caution box too tall";
}

INSTANTIATE_TEST_SUITE_P(Scales, DialogPainting, testing::Values(1.0, 1.5, 2.0));

}  // namespace
