#include <gtest/gtest.h>

#include "core/selftest_cases.h"

namespace {

using namespace zelkora::core;

// What each seamless case must end with when the run went right.
SplashSelfTestReport passing_report(SelfTestCase id) {
    SplashSelfTestReport report;
    report.selftest_case = id;
    report.splash_geometry = true;
    report.event_signalled = true;
    switch (id) {
        case SelfTestCase::update_blocked:
            report.outcome = "blocked";
            report.code = "existing_install_required";
            report.launches = {"previous:0.0.1"};
            break;
        case SelfTestCase::update_splash:
            report.ready_signalled = true;
            report.outcome = "completed";
            report.launches = {"new:1.0.0"};
            break;
        case SelfTestCase::update_splash_failure:
            report.ready_signalled = true;
            report.outcome = "failed";
            report.code = "install_failed";
            report.launches = {"previous:0.0.1"};
            break;
        case SelfTestCase::update_splash_blocked:
            report.outcome = "blocked";
            report.code = "driver_install_required";
            break;
        case SelfTestCase::update_splash_restart:
            report.ready_signalled = true;
            report.outcome = "completed";
            report.restart_required = true;
            report.launches = {"new:1.0.0"};
            break;
        default:
            break;
    }
    return report;
}

constexpr SelfTestCase kSeamlessCases[] = {SelfTestCase::update_blocked, SelfTestCase::update_splash,
                                           SelfTestCase::update_splash_failure, SelfTestCase::update_splash_blocked,
                                           SelfTestCase::update_splash_restart};

TEST(SplashSelfTestVerdict, EachCaseNeedsItsAnswerTheEventAndItsLaunchesWithoutTheWindow) {
    struct Fault {
        const char* name;
        void (*apply)(SplashSelfTestReport&);
    };
    const Fault faults[] = {
        {"ready the other way", [](SplashSelfTestReport& r) { r.ready_signalled = !r.ready_signalled; }},
        {"event not set", [](SplashSelfTestReport& r) { r.event_signalled = false; }},
        {"no final answer", [](SplashSelfTestReport& r) { r.outcome.clear(); }},
        {"another outcome", [](SplashSelfTestReport& r) { r.outcome = r.outcome == "failed" ? "blocked" : "failed"; }},
        {"another code", [](SplashSelfTestReport& r) { r.code = r.code.empty() ? "install_failed" : ""; }},
        {"restart the other way", [](SplashSelfTestReport& r) { r.restart_required = !r.restart_required; }},
        {"window shown", [](SplashSelfTestReport& r) { r.full_window_shown = true; }},
        {"confirmation asked", [](SplashSelfTestReport& r) { r.install_confirmations = 1; }},
        {"one launch more", [](SplashSelfTestReport& r) { r.launches.push_back("new:1.0.0"); }},
        {"the other version", [](SplashSelfTestReport& r) {
             for (auto& launch : r.launches) launch = launch.starts_with("new") ? "previous:0.0.1" : "new:1.0.0";
             if (r.launches.empty()) r.launches = {"previous:0.0.1"};
         }},
    };
    for (const auto id : kSeamlessCases) {
        EXPECT_TRUE(splash_selftest_passed(passing_report(id), "1.0.0")) << static_cast<unsigned>(id);
        for (const auto& fault : faults) {
            auto report = passing_report(id);
            fault.apply(report);
            EXPECT_FALSE(splash_selftest_passed(report, "1.0.0")) << static_cast<unsigned>(id) << ": " << fault.name;
        }
    }
    EXPECT_FALSE(splash_selftest_passed(passing_report(SelfTestCase::update_splash), "1.0.1")) << "another own version";
    EXPECT_FALSE(splash_selftest_passed(passing_report(SelfTestCase::update), "1.0.0")) << "not a seamless case";
}

// Case 6 checks the answer of the update path; the splash cases check the
// splash as well.
TEST(SplashSelfTestVerdict, OnlyTheSplashCasesNeedTheSplashInPlace) {
    for (const auto id : kSeamlessCases) {
        const bool checks_splash = id != SelfTestCase::update_blocked;
        auto misplaced = passing_report(id);
        misplaced.splash_geometry = false;
        EXPECT_EQ(splash_selftest_passed(misplaced, "1.0.0"), !checks_splash) << static_cast<unsigned>(id);
        auto fallback = passing_report(id);
        fallback.splash_fallback = true;
        EXPECT_EQ(splash_selftest_passed(fallback, "1.0.0"), !checks_splash) << static_cast<unsigned>(id);
    }
}

TEST(SplashSelfTestLine, PrintsEveryFieldWithDashesForEmptyValues) {
    auto report = passing_report(SelfTestCase::update_splash_failure);
    report.ready_stage = 0;
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
