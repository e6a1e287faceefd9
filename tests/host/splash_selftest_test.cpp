#include <gtest/gtest.h>

#include "core/selftest_cases.h"

namespace {

using namespace zelkora::core;

SplashSelfTestReport passing_report(SelfTestCase id) {
    SplashSelfTestReport report;
    report.selftest_case = id;
    report.splash_geometry = true;
    report.ready_signalled = true;
    report.event_signalled = true;
    report.launches = {id == SelfTestCase::update_splash ? "new:1.0.0" : "previous:0.0.1"};
    return report;
}

TEST(SplashSelfTestVerdict, EachCaseNeedsItsOneLaunchAfterReadyWithTheSplashInPlace) {
    EXPECT_TRUE(splash_selftest_passed(passing_report(SelfTestCase::update_splash), "1.0.0"));
    EXPECT_TRUE(splash_selftest_passed(passing_report(SelfTestCase::update_splash_failure), "1.0.0"));

    struct Fault {
        const char* name;
        void (*apply)(SplashSelfTestReport&);
    };
    const Fault faults[] = {
        {"no ready", [](SplashSelfTestReport& r) { r.ready_signalled = false; }},
        {"event not set", [](SplashSelfTestReport& r) { r.event_signalled = false; }},
        {"splash misplaced", [](SplashSelfTestReport& r) { r.splash_geometry = false; }},
        {"fell back to the window", [](SplashSelfTestReport& r) { r.splash_fallback = true; }},
        {"window shown", [](SplashSelfTestReport& r) { r.full_window_shown = true; }},
        {"confirmation asked", [](SplashSelfTestReport& r) { r.install_confirmations = 1; }},
        {"nothing launched", [](SplashSelfTestReport& r) { r.launches.clear(); }},
        {"launched twice", [](SplashSelfTestReport& r) { r.launches.push_back(r.launches[0]); }},
        {"the other version", [](SplashSelfTestReport& r) {
             r.launches = {r.launches[0].starts_with("new") ? "previous:0.0.1" : "new:1.0.0"};
         }},
    };
    for (const auto id : {SelfTestCase::update_splash, SelfTestCase::update_splash_failure}) {
        for (const auto& fault : faults) {
            auto report = passing_report(id);
            fault.apply(report);
            EXPECT_FALSE(splash_selftest_passed(report, "1.0.0")) << static_cast<unsigned>(id) << ": " << fault.name;
        }
    }
    EXPECT_FALSE(splash_selftest_passed(passing_report(SelfTestCase::update_splash), "1.0.1")) << "another own version";
}

TEST(SplashSelfTestLine, PrintsEveryFieldWithDashesForEmptyValues) {
    auto report = passing_report(SelfTestCase::update_splash_failure);
    report.ready_stage = 0;
    report.outcome = "failed";
    report.code = "install_failed";
    report.stage = 2;
    report.record_removed = true;
    EXPECT_EQ(splash_selftest_line(report, true),
              "seamlessCase=8 splashGeometry=1 readySignalled=1 readyStage=0 outcome=failed code=install_failed "
              "stage=2 restartRequired=0 launches=previous:0.0.1 fullWindowShown=0 installConfirmations=0 "
              "recordRemoved=1 passed=1\n");

    SplashSelfTestReport empty;
    empty.selftest_case = SelfTestCase::update_splash;
    empty.launches = {"new:1.0.0", "previous:0.0.1"};
    EXPECT_EQ(splash_selftest_line(empty, false),
              "seamlessCase=7 splashGeometry=0 readySignalled=0 readyStage=0 outcome=- code=- stage=0 "
              "restartRequired=0 launches=new:1.0.0,previous:0.0.1 fullWindowShown=0 installConfirmations=0 "
              "recordRemoved=0 passed=0\n");
}

}  // namespace
