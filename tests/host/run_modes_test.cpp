#include <gtest/gtest.h>

#include "app/run_modes.h"

namespace {

using namespace zelkora::app;

struct SwitchCase {
    std::vector<std::u16string> args;
    bool update_requested;
    unsigned selftest;
    int preview;
    bool pickup;
};

TEST(Switches, ExactlyOneArgumentIsExamined) {
    const std::u16string exe = u"C:\\setup\\Zelkora-1.0.0-windows-x64.exe";
    const SwitchCase cases[] = {
        {{exe}, false, 0, -1, true},
        {{}, false, 0, -1, true},
        {{exe, u"--update"}, true, 0, -1, true},
        {{exe, u"--UPDATE"}, false, 0, -1, false},
        {{exe, u"--update=1"}, false, 0, -1, false},
        {{exe, u"--update", u"x"}, false, 0, -1, false},
        {{exe, u"--preview", u"--update"}, false, 0, -1, false},
        {{exe, u"--selftest"}, false, 1, -1, false},
        {{exe, u"--selftest-failure"}, false, 2, -1, false},
        {{exe, u"--selftest-attention"}, false, 3, -1, false},
        {{exe, u"--selftest-restart"}, false, 4, -1, false},
        {{exe, u"--selftest-update"}, false, 5, -1, false},
        {{exe, u"--selftest-update-blocked"}, false, 6, -1, false},
        {{exe, u"--selftest-update-splash"}, false, 7, -1, false},
        {{exe, u"--selftest-update-splash-failure"}, false, 8, -1, false},
        {{exe, u"--selftest-update-splash-blocked"}, false, 9, -1, false},
        {{exe, u"--selftest-update-splash-restart"}, false, 10, -1, false},
        {{exe, u"--selftest-interrupted"}, false, 11, -1, false},
        {{exe, u"--preview"}, false, 0, 0, false},
        {{exe, u"--preview-progress"}, false, 0, 1, false},
        {{exe, u"--preview-complete"}, false, 0, 2, false},
        {{exe, u"--preview-failure"}, false, 0, 3, false},
        {{exe, u"--preview-confirm"}, false, 0, 4, false},
        {{exe, u"--preview-attention"}, false, 0, 5, false},
        {{exe, u"--preview-restart"}, false, 0, 6, false},
        {{exe, u"--preview-restart-confirm"}, false, 0, 7, false},
        {{exe, u"--preview-notice"}, false, 0, 8, false},
        {{exe, u"--preview-update-splash"}, false, 0, 9, false},
        {{exe, u"--preview-update-splash-light"}, false, 0, 10, false},
        // Known but unwired switches select nothing and skip the pick-up.
        {{exe, u"--selftest-payload"}, false, 0, -1, false},
        {{exe, u"--selftest-payload-protocol"}, false, 0, -1, false},
        {{exe, u"--preview-"}, false, 0, -1, false},
        {{exe, u"-preview"}, false, 0, -1, false},
        {{exe, u""}, false, 0, -1, false},
    };
    for (const auto& c : cases) {
        const Switches s = read_switches(c.args);
        const std::string label = c.args.size() > 1 ? std::string(c.args[1].begin(), c.args[1].end()) : "(none)";
        EXPECT_EQ(s.update_requested, c.update_requested) << label;
        EXPECT_EQ(static_cast<unsigned>(s.selftest_case), c.selftest) << label;
        EXPECT_EQ(s.preview_case, c.preview) << label;
        EXPECT_EQ(handoff_pickup_runs(s), c.pickup) << label;
    }
}

constexpr std::uint64_t kMinute = 600'000'000ULL;  // FILETIME units
constexpr std::uint64_t kNow = 133'800'000'000'000'000ULL;

zelkora::state::HandoffRecord fresh_record() {
    zelkora::state::HandoffRecord record;
    record.from_version = "0.9.0";
    record.to_version = "1.0.0";
    record.created = kNow;
    return record;
}

TEST(HandoffAcceptance, TakesOnlyFreshRecordsForThisVersion) {
    struct Case {
        const char* name;
        void (*change)(zelkora::state::HandoffRecord&);
        bool accepted;
    };
    const Case cases[] = {
        {"fresh", [](auto&) {}, true},
        {"four_minutes_ahead", [](auto& r) { r.created = kNow + 4 * kMinute; }, true},
        {"five_minutes_ahead", [](auto& r) { r.created = kNow + 5 * kMinute; }, true},
        {"just_over_five_minutes_ahead", [](auto& r) { r.created = kNow + 5 * kMinute + 1; }, false},
        {"sixty_minutes_old", [](auto& r) { r.created = kNow - 60 * kMinute; }, true},
        {"sixty_one_minutes_old", [](auto& r) { r.created = kNow - 61 * kMinute; }, false},
        {"created_unset", [](auto& r) { r.created = 0; }, false},
        {"other_version", [](auto& r) { r.to_version = "1.0.1"; }, false},
        {"same_version_other_spelling", [](auto& r) { r.to_version = "1.00.0"; }, false},
        {"already_answered", [](auto& r) { r.outcome = "completed"; }, false},
        {"ready_outcome", [](auto& r) { r.outcome = "ready"; }, false},
    };
    for (const auto& c : cases) {
        auto record = fresh_record();
        c.change(record);
        EXPECT_EQ(accept_handoff_record(record, kNow), c.accepted) << c.name;
    }
}

TEST(HandoffAcceptance, ClockNearZeroDoesNotWrapAround) {
    auto record = fresh_record();
    record.created = 1;
    EXPECT_TRUE(accept_handoff_record(record, 5));
    EXPECT_FALSE(accept_handoff_record(record, 0xFFFF'FFFF'FFFF'FFF0ULL));
}

TEST(WindowTitles, FollowTheRunMode) {
    RunRequest request;
    EXPECT_EQ(window_title(window_kind(request)), u"Zelkora Client 설치");
    request.update_flag = true;
    EXPECT_EQ(window_kind(request), WindowKind::AutomaticUpdate);
    EXPECT_EQ(window_title(window_kind(request)), u"Zelkora Client 설치");
    request.handoff = fresh_record();
    EXPECT_EQ(window_title(window_kind(request)), u"Zelkora 업데이트");
    RunRequest selftest;
    selftest.selftest_case = SelfTestCase::update;
    EXPECT_EQ(window_title(window_kind(selftest)), u"Zelkora 설치 화면 검사");
    RunRequest preview;
    preview.preview_case = 0;
    EXPECT_EQ(window_title(window_kind(preview)), u"Zelkora 설치 화면 미리보기");
}

}  // namespace
