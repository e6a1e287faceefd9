#include "ui/splash_model.h"

#include <algorithm>
#include <cmath>

namespace zelkora::ui {
namespace {

constexpr double kEasing = 0.22;
constexpr double kSettled = 0.001;
constexpr double kPhaseStep = 0.022;
// The indeterminate bar ends at the track's left edge at phase 0 and starts
// at its right edge at phase 1.
constexpr double kSlideLength = 501.76;
constexpr double kSlideStart = -85.76;
constexpr double kSlideWidth = 109.76;
constexpr double kShortestBar = 6;

}  // namespace

ScreenBox splash_box(const ScreenBox& work_area, double scale) {
    const int width = static_cast<int>(std::lround(kSplashWidthDips * scale));
    const int height = static_cast<int>(std::lround(kSplashHeightDips * scale));
    const int left = work_area.left + (work_area.width() - width) / 2;
    const int top = work_area.top + (work_area.height() - height) / 2;
    return {left, top, left + width, top + height};
}

bool splash_box_holds(const ScreenBox& window, const ScreenBox& work_area, double scale) {
    if (scale <= 0) return false;
    const bool size_holds = std::abs(window.width() / scale - kSplashWidthDips) <= 1.5 &&
                            std::abs(window.height() / scale - kSplashHeightDips) <= 1.5;
    const double centre_x = (window.left + window.right) / 2.0;
    const double centre_y = (window.top + window.bottom) / 2.0;
    const double area_x = (work_area.left + work_area.right) / 2.0;
    const double area_y = (work_area.top + work_area.bottom) / 2.0;
    return size_holds && std::abs(centre_x - area_x) <= 1 && std::abs(centre_y - area_y) <= 1;
}

void set_splash_stage(SplashProgress& progress, int stage) {
    progress.determinate = stage > 0;
    progress.stage = std::clamp(stage, 0, 6);
    progress.target = progress.stage / 6.0;
}

bool advance_splash(SplashProgress& progress) {
    if (!progress.determinate) {
        progress.phase += kPhaseStep;
        if (progress.phase > 1) progress.phase -= 1;
        return true;
    }
    if (std::abs(progress.target - progress.shown) <= kSettled) return false;
    progress.shown += (progress.target - progress.shown) * kEasing;
    return true;
}

BarExtent splash_bar(const SplashProgress& progress) {
    if (progress.determinate) {
        return {kSplashTrackLeft, std::max(progress.shown * kSplashTrackWidth, kShortestBar)};
    }
    const double start = progress.phase * kSlideLength + kSlideStart;
    const double left = std::max(start, kSplashTrackLeft);
    const double right = std::min(start + kSlideWidth, kSplashTrackLeft + kSplashTrackWidth);
    return {left, std::max(right - left, 0.0)};
}

std::u16string splash_caption(std::string_view from_version, std::string_view to_version) {
    std::u16string caption = u"Zelkora  ";
    caption.append(from_version.begin(), from_version.end());
    caption += u"  →  ";
    caption.append(to_version.begin(), to_version.end());
    return caption;
}

std::u16string_view splash_title_line(const SplashProgress& progress) {
    return progress.stage >= 6 ? u"업데이트를 마무리하고 있어요" : u"업데이트 적용 중…";
}

std::u16string_view splash_status_line(const SplashProgress& progress) {
    if (!progress.determinate) return u"설치 프로그램을 확인하고 있어요";
    if (progress.stage >= 6) return u"완료 · 새 버전을 열고 있어요";
    return kSplashStepNames[static_cast<std::size_t>(progress.stage)];
}

std::u16string splash_step_counter(const SplashProgress& progress) {
    if (!progress.determinate) return {};
    std::u16string counter(1, static_cast<char16_t>(u'0' + progress.stage));
    counter += u" / 6";
    return counter;
}

}  // namespace zelkora::ui
