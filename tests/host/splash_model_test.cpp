#include "ui/splash_model.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace zelkora::ui;

struct PlacementCase {
    const char* name;
    ScreenBox work_area;
    double scale;
    ScreenBox expected;
};

TEST(SplashPlacement, IsScaledAndCentredInTheWorkArea) {
    const PlacementCase cases[] = {
        {"100 %, primary", {0, 0, 1920, 1040}, 1.0, {740, 436, 1180, 604}},
        {"150 %, primary", {0, 0, 1920, 1040}, 1.5, {630, 394, 1290, 646}},
        // A monitor left of and above the primary one, its taskbar on top.
        {"125 %, secondary", {-1600, -860, 0, 0}, 1.25, {-1075, -535, -525, -325}},
        // Odd leftovers are halved down, as integer division does.
        {"odd work area", {0, 0, 1001, 501}, 1.0, {280, 166, 720, 334}},
    };
    for (const auto& c : cases) {
        const ScreenBox box = splash_box(c.work_area, c.scale);
        EXPECT_EQ(box, c.expected) << c.name;
        EXPECT_TRUE(splash_box_holds(box, c.work_area, c.scale)) << c.name;
    }
}

TEST(SplashPlacement, CheckRefusesAWrongSizeOrAnOffCentreWindow) {
    const ScreenBox area{0, 0, 1920, 1040};
    const ScreenBox right{740, 436, 1180, 604};
    EXPECT_FALSE(splash_box_holds({740, 436, 1183, 604}, area, 1.0)) << "3 pixels too wide";
    EXPECT_FALSE(splash_box_holds({742, 436, 1182, 604}, area, 1.0)) << "2 pixels right of centre";
    EXPECT_FALSE(splash_box_holds(right, area, 1.5)) << "the 100 % size at 150 %";
    EXPECT_FALSE(splash_box_holds(right, {1920, 0, 3840, 1040}, 1.0)) << "another monitor";
    EXPECT_TRUE(splash_box_holds({741, 436, 1181, 605}, area, 1.0));
}

TEST(SplashStage, ZeroStaysIndeterminateAndSlidesAcrossTheTrack) {
    SplashProgress progress;
    set_splash_stage(progress, 0);
    EXPECT_FALSE(progress.determinate);
    EXPECT_TRUE(splash_step_counter(progress).empty());
    EXPECT_EQ(splash_status_line(progress), u"설치 프로그램을 확인하고 있어요");

    // Phase 0: the bar ends where the track begins; nothing shows.
    EXPECT_DOUBLE_EQ(splash_bar(progress).width, 0.0);
    progress.phase = 0.5;
    const BarExtent middle = splash_bar(progress);
    EXPECT_NEAR(middle.left, 0.5 * 501.76 - 85.76, 1e-9);
    EXPECT_NEAR(middle.width, 109.76, 1e-9);
    progress.phase = 0.95;
    const BarExtent end = splash_bar(progress);
    EXPECT_NEAR(end.left + end.width, 416.0, 1e-9) << "clipped at the track's right end";

    // Every tick moves the phase and wraps it past 1.
    progress.phase = 0.99;
    EXPECT_TRUE(advance_splash(progress));
    EXPECT_NEAR(progress.phase, 0.012, 1e-9);
}

TEST(SplashStage, OneEasesInOverSuccessiveTicks) {
    SplashProgress progress;
    set_splash_stage(progress, 1);
    ASSERT_TRUE(progress.determinate);
    EXPECT_EQ(splash_step_counter(progress), u"1 / 6");
    EXPECT_EQ(splash_status_line(progress), u"프로그램 파일을 배치하고 있어요");
    EXPECT_DOUBLE_EQ(splash_bar(progress).width, 6.0) << "the shortest bar before any tick";

    double previous = 0;
    for (int tick = 0; tick < 5; ++tick) {
        ASSERT_TRUE(advance_splash(progress));
        EXPECT_GT(progress.shown, previous);
        EXPECT_LT(progress.shown, 1.0 / 6);
        previous = progress.shown;
    }
    EXPECT_NEAR(progress.shown, (1 - std::pow(0.78, 5)) / 6, 1e-12);
    int ticks = 0;
    while (advance_splash(progress)) ++ticks;
    EXPECT_LT(ticks, 40) << "the easing settles";
    EXPECT_NEAR(progress.shown, 1.0 / 6, 0.001);
}

TEST(SplashStage, StagesBeyondSixCountAsSixAndNegativeAsZero) {
    SplashProgress progress;
    set_splash_stage(progress, 9);
    EXPECT_EQ(progress.stage, 6);
    EXPECT_DOUBLE_EQ(progress.target, 1.0);
    EXPECT_EQ(splash_step_counter(progress), u"6 / 6");
    EXPECT_EQ(splash_title_line(progress), u"업데이트를 마무리하고 있어요");
    EXPECT_EQ(splash_status_line(progress), u"완료 · 새 버전을 열고 있어요");

    set_splash_stage(progress, -3);
    EXPECT_FALSE(progress.determinate);
    EXPECT_EQ(progress.stage, 0);
    EXPECT_EQ(splash_title_line(progress), u"업데이트 적용 중…");
}

TEST(SplashTexts, CaptionShowsBothVersions) {
    EXPECT_EQ(splash_caption("0.4.61", "0.4.62"), u"Zelkora  0.4.61  →  0.4.62");
}

}  // namespace
