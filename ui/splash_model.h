#pragma once
// The update splash without the window: its size and place on a monitor, the
// bar's stage, easing and indeterminate slide, and the texts it shows.
// Portable: no <windows.h>.

#include <array>
#include <string>
#include <string_view>

#include "ui/window_geometry_dips.h"

namespace zelkora::ui {

inline constexpr int kSplashWidthDips = 440;
inline constexpr int kSplashHeightDips = 168;

// Track of the progress bar, in DIPs.
inline constexpr double kSplashTrackLeft = 24;
inline constexpr double kSplashTrackWidth = 392;

// The track at its place in the splash: the only part the animation repaints.
inline DipBox splash_track_box() { return {kSplashTrackLeft, 92, kSplashTrackWidth, 6}; }

struct ScreenBox {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const ScreenBox&) const = default;
};

// The splash's rectangle in pixels: 440 × 168 DIPs at the scale, each side
// rounded, centred in the work area (integer halves, as Windows would).
ScreenBox splash_box(const ScreenBox& work_area, double scale);

// Whether a window rectangle is the splash for that work area: its size in
// DIPs within 1.5 of 440 × 168 and its centre within a pixel of the area's.
bool splash_box_holds(const ScreenBox& window, const ScreenBox& work_area, double scale);

struct SplashProgress {
    bool determinate = false;
    int stage = 0;           // 0..6
    double target = 0;       // stage / 6
    double shown = 0;        // eased towards target
    double phase = 0;        // indeterminate slide, 0..1
};

// Any step above 0 makes the bar determinate; steps are clamped to 0..6.
void set_splash_stage(SplashProgress& progress, int stage);

// One 33 ms tick; true when the bar moved and the splash must be repainted.
bool advance_splash(SplashProgress& progress);

struct BarExtent {
    double left = 0;
    double width = 0;
};

// The accent bar in DIPs, clipped to the track.
BarExtent splash_bar(const SplashProgress& progress);

// "Zelkora  0.4.61  →  0.4.62".
std::u16string splash_caption(std::string_view from_version, std::string_view to_version);

inline constexpr std::u16string_view kSplashTitle = u"Zelkora 업데이트 적용 중";
inline constexpr std::u16string_view kSplashMessage = u"끝나면 Zelkora가 같은 자리에서 다시 열려요.";

// Indexed by stage; entry 0 is never shown, as stage 0 is indeterminate.
inline constexpr std::array<std::u16string_view, 6> kSplashStepNames = {
    u"설치 파일과 대상 경로를 확인하고 있어요", u"프로그램 파일을 배치하고 있어요",
    u"설치 정보를 확인하고 있어요",           u"바로가기를 만들고 있어요",
    u"설치된 파일을 검증하고 있어요",         u"새 버전을 준비하고 있어요",
};

std::u16string_view splash_title_line(const SplashProgress& progress);
std::u16string_view splash_status_line(const SplashProgress& progress);
// "3 / 6"; empty while indeterminate.
std::u16string splash_step_counter(const SplashProgress& progress);

}  // namespace zelkora::ui
