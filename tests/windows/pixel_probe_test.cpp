// The setup window under Wine, drawn into a DIB through WM_PRINTCLIENT and
// probed pixel by pixel at points whose colour the design fixes: the middle
// of an area, or a line within a pixel of where it belongs. Positions are in
// DIPs of the client area and scaled by the screen's DPI, so the same table
// holds at 96 and 144 DPI; ZELKORA_PROBE_DPI names the DPI the prefix was
// made with, and a prefix at another DPI fails the test.
//
// The window is the setup's own, made in this process with the preview
// fixtures and the shipped faces (windows_tests embeds them too): WM_PRINTCLIENT
// cannot cross processes, Wine's WM_PRINT leaves the child buttons out, and
// the screen of Wine's virtual desktop does not show other processes' windows.
// Each button is printed at its place in the client area, as the screen shows it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <commctrl.h>
#include <gdiplus.h>

#include "core/owners_win32.h"
#include "design_palette.h"
#include "gdiplus_suite.h"
#include "ui/gdi_scopes_win32.h"
#include "ui/preview_fixtures_win32.h"
#include "ui/setup_window_win32.h"
#include "ui/text_engine_win32.h"
#include "ui/window_state_win32.h"

namespace {

using namespace std::chrono_literals;
namespace design = zelkora::test::design;

UINT probe_dpi() {
    const char* named = std::getenv("ZELKORA_PROBE_DPI");
    return named ? static_cast<UINT>(std::strtoul(named, nullptr, 10)) : 96;
}

std::uint32_t rgb(COLORREF colour) { return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour); }

std::string hex(std::uint32_t pixel) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", pixel & 0xFFFFFF);
    return text;
}

void print_client(HWND window, HDC dc) {
    ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
}

// An owner-drawn button draws itself through its parent's WM_DRAWITEM, in
// the state it shows; here at its place in the parent's client area.
void draw_child(HWND window, HWND child, HDC dc, const RECT& box) {
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<UINT>(::GetDlgCtrlID(child));
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = (::IsWindowEnabled(child) ? 0 : ODS_DISABLED) | (::GetFocus() == child ? ODS_FOCUS : 0);
    item.hwndItem = child;
    item.hDC = dc;
    item.rcItem = box;
    ::SendMessageW(window, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
}

// The client area of the window with its visible children, as the screen shows it.
class ClientPixels {
public:
    explicit ClientPixels(HWND window) {
        RECT client{};
        ::GetClientRect(window, &client);
        width_ = client.right;
        height_ = client.bottom;
        if (width_ <= 0 || height_ <= 0) return;
        const zelkora::UniqueMemoryDc memory(::CreateCompatibleDC(nullptr));
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(info.bmiHeader), width_, -height_, 1, 32, BI_RGB};
        void* bits = nullptr;
        const zelkora::UniqueBitmap bitmap(::CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap) return;
        const zelkora::ui::GdiSelection selected(memory.get(), bitmap.get());
        print_client(window, memory.get());
        for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            wchar_t name[16] = {};
            ::GetClassNameW(child, name, 16);
            if (!::IsWindowVisible(child) || ::lstrcmpiW(name, L"Button") != 0) continue;
            RECT box{};
            ::GetWindowRect(child, &box);
            ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&box), 2);
            draw_child(window, child, memory.get(), box);
        }
        ::GdiFlush();
        const auto* first = static_cast<const std::uint32_t*>(bits);
        pixels_.assign(first, first + static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    }

    int width() const { return width_; }
    int height() const { return height_; }

    std::uint32_t at(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0xFF000000u;  // no colour of ours
        return pixels_[static_cast<std::size_t>(y) * width_ + x] & 0xFFFFFF;
    }

    // How many pixels of the box (DIPs, scaled) show the colour.
    int count(double left, double top, double width, double height, double scale, COLORREF colour) const {
        int found = 0;
        for (int y = static_cast<int>(top * scale); y < static_cast<int>((top + height) * scale); ++y) {
            for (int x = static_cast<int>(left * scale); x < static_cast<int>((left + width) * scale); ++x) {
                found += at(x, y) == rgb(colour);
            }
        }
        return found;
    }

    // Whether the colour lies within `slack` pixels of the scaled point.
    bool shows(double x_dips, double y_dips, double scale, COLORREF colour, int slack) const {
        const int cx = static_cast<int>(x_dips * scale);
        const int cy = static_cast<int>(y_dips * scale);
        for (int y = cy - slack; y <= cy + slack; ++y) {
            for (int x = cx - slack; x <= cx + slack; ++x) {
                if (at(x, y) == rgb(colour)) return true;
            }
        }
        return false;
    }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

struct Probe {
    const char* what;
    double x, y;  // DIPs in the client area
    COLORREF colour;
    int slack = 0;  // pixels; a line of one DIP may fall on either side
};

void expect_probes(const ClientPixels& pixels, double scale, const std::vector<Probe>& probes) {
    for (const Probe& probe : probes) {
        const int x = static_cast<int>(probe.x * scale);
        const int y = static_cast<int>(probe.y * scale);
        EXPECT_TRUE(pixels.shows(probe.x, probe.y, scale, probe.colour, probe.slack))
            << probe.what << " at (" << x << ", " << y << ") is " << hex(pixels.at(x, y)) << ", not "
            << hex(rgb(probe.colour));
    }
}

// Step markers of the progress card (full layout): card top 166, height 161,
// pitch 24.5, radius 9, centres at x 52.
double marker_centre(int step) { return 166 + 7 + step * 24.5 + 12.25; }

// Of four points on the marker's ring, how many show the colour.
int ring_hits(const ClientPixels& pixels, double scale, int step, COLORREF colour) {
    const double y = marker_centre(step);
    int hits = 0;
    for (const auto& [dx, dy] : {std::pair{0.0, -8.0}, {0.0, 8.0}, {-8.0, 0.0}, {8.0, 0.0}}) {
        hits += pixels.shows(52 + dx, y + dy, scale, colour, 1);
    }
    return hits;
}

// The primary button's face left of its label, clear of the focus ring.
constexpr double kPrimaryFaceX = 560 - 176 + 10;
constexpr double kPrimaryFaceY = 405 + 19;
constexpr double kTrackY = 405 - 22 + 3;

// The primary button's label, inside its face: ink of the label's colour.
void expect_primary_label(const ClientPixels& pixels, double scale, COLORREF colour) {
    EXPECT_GT(pixels.count(560 - 176 + 4, 405 + 4, 148 - 8, 38 - 8, scale, colour), 10)
        << "the primary button's label is not in " << hex(rgb(colour));
}

const std::vector<Probe> kHeaderProbes = {
    {"background", 14, 300, design::kBackground},
    {"header separator", 300, 72, design::kLine, 1},
    {"logo card", 31, 40, design::kCard},
    {"preview badge", 437, 40, design::kAmberTint},
    {"preview badge border", 432, 40, design::kAmberBorder, 1},
};

// The setup window of this process in a fixed state, shown, with its
// messages (the animation's timer among them) handled for a while.
class WindowUnderTest {
public:
    explicit WindowUnderTest(int preview_case, void (*adjust)(zelkora::ui::WindowState&) = nullptr) {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
        state_.scale = ::GetDpiForSystem() / 96.0;
        state_.preview_case = static_cast<std::int8_t>(preview_case);
        zelkora::ui::apply_preview_fixture(state_);
        if (adjust) adjust(state_);
        state_.embedded_fonts_in_gdi = zelkora::ui::text_engine().gdi_fonts_registered();
        const HINSTANCE instance = ::GetModuleHandleW(nullptr);
        static_cast<void>(zelkora::ui::register_setup_window_class(instance));  // a repeat within one process fails harmlessly
        window_ = zelkora::ui::create_setup_window(state_, instance, L"Zelkora");
        if (!window_) return;
        ::ShowWindow(window_, SW_SHOW);
        pump(300ms);
        // The bar eases towards its target on the animation's timer, which a
        // busy machine slows down.
        const double target = state_.run.progress.highest_step / 6.0;
        for (int i = 0; i < 100 && state_.view == zelkora::core::kRunInstalling &&
                        std::abs(state_.run.shown_progress - target) > 0.002;
             ++i) {
            pump(100ms);
        }
    }
    ~WindowUnderTest() {
        if (window_) ::DestroyWindow(window_);
        pump(0ms);
        state_.ui_font.reset();
        for (auto& brush : state_.tint_brushes) brush.reset();
    }
    WindowUnderTest(const WindowUnderTest&) = delete;
    WindowUnderTest& operator=(const WindowUnderTest&) = delete;

    HWND window() const { return window_; }
    const zelkora::ui::WindowState& state() const { return state_; }

private:
    static void pump(std::chrono::milliseconds span) {
        const auto until = std::chrono::steady_clock::now() + span;
        do {
            MSG message{};
            // The animation's timer may keep the queue from ever running empty.
            while (std::chrono::steady_clock::now() < until && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
            std::this_thread::sleep_for(10ms);
        } while (std::chrono::steady_clock::now() < until);
    }

    zelkora::ui::WindowState state_;
    HWND window_ = nullptr;
};

struct PreviewProbes {
    const char* name;
    int preview_case;
    std::vector<Probe> probes;
};

class PixelProbes : public zelkora::test::WithGdiplus<testing::TestWithParam<PreviewProbes>> {
protected:
    void SetUp() override {
        ASSERT_EQ(::GetDpiForSystem(), probe_dpi()) << "the prefix is not at the DPI this run probes";
        ASSERT_TRUE(zelkora::ui::text_engine().has_private_fonts()) << "the shipped faces are not embedded";
        scale_ = probe_dpi() / 96.0;
    }

    ClientPixels capture(const WindowUnderTest& window) const {
        ClientPixels pixels(window.window());
        EXPECT_EQ(pixels.width(), static_cast<int>(560 * scale_));
        EXPECT_EQ(pixels.height(), static_cast<int>(470 * scale_));
        return pixels;
    }

    double scale_ = 1;
};

TEST_P(PixelProbes, ShowTheColoursOfTheDesign) {
    const WindowUnderTest window(GetParam().preview_case);
    ASSERT_NE(window.window(), nullptr);
    const ClientPixels pixels = capture(window);
    expect_probes(pixels, scale_, kHeaderProbes);
    expect_probes(pixels, scale_, GetParam().probes);
    expect_primary_label(pixels, scale_, design::kPrimaryText);
}

INSTANTIATE_TEST_SUITE_P(
    Previews, PixelProbes,
    testing::Values(
        PreviewProbes{"ready", 0,
                      {{"card", 520, 322, design::kCard},
                       {"card border", 28, 250, design::kLine, 1},
                       {"number badge", 49, 200, design::kAmberTint},
                       {"primary button", kPrimaryFaceX, kPrimaryFaceY, design::kAccent}}},
        PreviewProbes{"progress", 1,
                      {{"card", 520, 200, design::kCard},
                       {"progress fill", 100, kTrackY, design::kAccent},
                       {"progress track", 450, kTrackY, design::kLine},
                       {"done step", 52, marker_centre(0) - 6, design::kSuccess},
                       {"last done step", 52, marker_centre(2) - 6, design::kSuccess},
                       {"done connector", 52, marker_centre(1) + 12.25, design::kGreenBorder, 1},
                       {"pending step ring", 52, marker_centre(5) - 8, design::kLine, 1},
                       {"pending connector", 52, marker_centre(4) + 12.25, design::kLine, 1},
                       {"primary button", kPrimaryFaceX, kPrimaryFaceY, design::kAccent}}},
        PreviewProbes{"failure", 3,
                      {{"error panel", 34, 200, design::kRedTint},
                       {"error panel border", 28, 200, design::kRedBorder, 1},
                       {"primary button", kPrimaryFaceX, kPrimaryFaceY, design::kAccent}}},
        PreviewProbes{"attention", 5,
                      {{"caution panel", 34, 200, design::kAmberTint},
                       {"caution panel border", 28, 200, design::kAmberBorder, 1}}},
        PreviewProbes{"complete", 2, {{"success icon", 280, 169.5 + 8, design::kSuccess}}}),
    [](const auto& info) { return std::string(info.param.name); });

// The current step: its ring in the amber border and the accent spinner,
// which turns, so a few points of the ring are looked at.
TEST_F(PixelProbes, CurrentStepShowsItsRingAndSpinner) {
    const WindowUnderTest window(1);
    ASSERT_NE(window.window(), nullptr);
    const ClientPixels pixels = capture(window);
    EXPECT_GE(ring_hits(pixels, scale_, 3, design::kAmberBorder), 2);
    EXPECT_GE(ring_hits(pixels, scale_, 3, design::kAccent), 1);
    EXPECT_EQ(ring_hits(pixels, scale_, 4, design::kAmberBorder), 0) << "a pending step drawn as current";
    EXPECT_TRUE(pixels.shows(52, marker_centre(3), scale_, design::kCard, 0)) << "the current marker is filled";
}

// Outside a preview the installing view disables button 1, and the bar
// shows the steps reported so far (2 of 6) against its track.
TEST_F(PixelProbes, InstallingViewDisablesThePrimaryButton) {
    const WindowUnderTest window(-1, [](zelkora::ui::WindowState& state) {
        state.view = zelkora::core::kRunInstalling;
        state.run.progress.highest_step = 2;
    });
    ASSERT_NE(window.window(), nullptr);
    ASSERT_FALSE(::IsWindowEnabled(::GetDlgItem(window.window(), 1)));
    const ClientPixels pixels = capture(window);
    expect_probes(pixels, scale_,
                  {{"disabled primary button", kPrimaryFaceX, kPrimaryFaceY, design::kLine},
                   {"progress fill", 28 + 504 * 2 / 6.0 - 20, kTrackY, design::kAccent},
                   {"progress track", 28 + 504 * 2 / 6.0 + 20, kTrackY, design::kLine},
                   {"done step", 52, marker_centre(1) - 6, design::kSuccess}});
    expect_primary_label(pixels, scale_, design::kFaint);
    EXPECT_GE(ring_hits(pixels, scale_, 2, design::kAmberBorder) + ring_hits(pixels, scale_, 2, design::kAccent), 3)
        << "step 3 is not the current one";
}

// The failure view with its diagnostics field open, and the logo's corners.
// Colours are the design's, written out: #2A1618 the red panel's tint,
// #BECBD0 the field's text, #1F2B32 the scroll track, #8FA1A9 its thumb,
// #F5A623 the logo.
constexpr COLORREF kRedTintColour = RGB(0x2A, 0x16, 0x18);
constexpr COLORREF kFieldTextColour = RGB(0xBE, 0xCB, 0xD0);
constexpr COLORREF kScrollTrackColour = RGB(0x1F, 0x2B, 0x32);
constexpr COLORREF kScrollThumbColour = RGB(0x8F, 0xA1, 0xA9);
constexpr COLORREF kLogoColour = RGB(0xF5, 0xA6, 0x23);

// The field's own client area, which paints itself in the colours its
// parent hands it; counts of the two colours a user sees in it.
struct FieldColours {
    long tint = 0;
    long text = 0;
    long all = 0;
};

FieldColours field_colours(HWND field) {
    RECT client{};
    ::GetClientRect(field, &client);
    FieldColours counted;
    const zelkora::UniqueMemoryDc memory(::CreateCompatibleDC(nullptr));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), client.right, -client.bottom, 1, 32, BI_RGB};
    void* bits = nullptr;
    const zelkora::UniqueBitmap bitmap(::CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) return counted;
    const zelkora::ui::GdiSelection selected(memory.get(), bitmap.get());
    ::SendMessageW(field, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.get()), PRF_CLIENT);
    ::GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    counted.all = static_cast<long>(client.right) * client.bottom;
    for (long i = 0; i < counted.all; ++i) {
        counted.tint += (pixels[i] & 0xFFFFFF) == rgb(kRedTintColour);
        counted.text += (pixels[i] & 0xFFFFFF) == rgb(kFieldTextColour);
    }
    return counted;
}

// A failed run whose script left a PowerShell error record: the notes leave
// out what stands in braces, the details show all of it, more than fits.
void fail_with_an_error_record(zelkora::ui::WindowState& state) {
    state.view = zelkora::core::kRunFailed;
    state.run.progress.highest_step = 1;
    state.run.progress.status_text =
        u"프로그램 파일을 배치하지 못했어요. 다른 프로그램이 Zelkora.exe를 쓰고 있어요. {Move-Item : The process "
        u"cannot access the file 'C:\\Program Files\\Zelkora\\Client\\1.0.0\\Zelkora.exe' because it is being "
        u"used by another process. At C:\\Zelkora-Setup\\Install-Client.ps1:212 char:5 + Move-Item -LiteralPath "
        u"$staged -Destination $target -Force + CategoryInfo : WriteError: (C:\\Program File...\\Zelkora.exe:"
        u"FileInfo) [Move-Item], IOException + FullyQualifiedErrorId : MoveFileInfoItemIOError,Microsoft.PowerShell."
        u"Commands.MoveItemCommand Get-Item : Cannot find path 'C:\\Program Files\\Zelkora\\Client\\1.0.0\\"
        u"Zelkora.exe.new' because it does not exist. At C:\\Zelkora-Setup\\Install-Client.ps1:218 char:9 + $placed "
        u"= Get-Item -LiteralPath '$target.new' + CategoryInfo : ObjectNotFound: (C:\\Program File...\\Zelkora.exe."
        u"new:String) [Get-Item], ItemNotFoundException + FullyQualifiedErrorId : PathNotFound,Microsoft.PowerShell."
        u"Commands.GetItemCommand}";
}

TEST_F(PixelProbes, OpenDetailsShowTheTintedFieldAndItsScrollIndicator) {
    const WindowUnderTest window(-1, fail_with_an_error_record);
    ASSERT_NE(window.window(), nullptr);
    const HWND details = ::GetDlgItem(window.window(), 4);
    ::SendMessageW(window.window(), WM_COMMAND, MAKEWPARAM(4, BN_CLICKED), reinterpret_cast<LPARAM>(details));
    const HWND field = ::GetDlgItem(window.window(), 5);
    ASSERT_TRUE(::IsWindowVisible(field)) << "the details did not open";

    const FieldColours colours = field_colours(field);
    EXPECT_GT(colours.tint, colours.all / 2) << "the field is not on the red tint";
    EXPECT_GT(colours.text, 0) << "no text in the field's colour";

    RECT box{};
    ::GetWindowRect(field, &box);
    ::MapWindowPoints(nullptr, window.window(), reinterpret_cast<POINT*>(&box), 2);
    const double top = box.top / scale_;
    const double bottom = box.bottom / scale_;
    const double track_x = 560 - 41 + 1.5;
    const std::vector<Probe> panel = {{"panel tint beside the field", 36, (top + bottom) / 2, kRedTintColour}};
    expect_probes(capture(window), scale_, panel);

    // Scrolled to the top, the thumb stands at the top of the track; after
    // the wheel has scrolled to the end, at its bottom.
    expect_probes(capture(window), scale_,
                  {{"thumb at the top", track_x, top + 3, kScrollThumbColour, 1},
                   {"track below the thumb", track_x, bottom - 3, kScrollTrackColour, 1}});
    ::SendMessageW(window.window(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120 * 20)),
                   MAKELPARAM(box.left + 4, box.top + 4));
    ASSERT_GT(::SendMessageW(field, EM_GETFIRSTVISIBLELINE, 0, 0), 0) << "the wheel did not scroll the field";
    expect_probes(capture(window), scale_,
                  {{"track above the thumb", track_x, top + 3, kScrollTrackColour, 1},
                   {"thumb at the bottom", track_x, bottom - 3, kScrollThumbColour, 1}});
}

// The logo's monitor is drawn with round joins: its outer corner pixel is
// only partly covered, where a mitred corner would fill it, while the
// middle of the top edge is the logo's colour.
TEST_F(PixelProbes, LogoMonitorHasRoundCorners) {
    const WindowUnderTest window(0);
    ASSERT_NE(window.window(), nullptr);
    const ClientPixels pixels = capture(window);
    expect_probes(pixels, scale_, {{"logo top edge", 48, 29, kLogoColour}});
    const int corner_x = static_cast<int>(36 * scale_);
    const int corner_y = static_cast<int>(28 * scale_);
    EXPECT_NE(pixels.at(corner_x, corner_y), rgb(kLogoColour)) << "the logo's top-left corner is mitred";
    EXPECT_NE(pixels.at(static_cast<int>(59 * scale_ + scale_ - 1), corner_y), rgb(kLogoColour))
        << "the logo's top-right corner is mitred";
}

}  // namespace
