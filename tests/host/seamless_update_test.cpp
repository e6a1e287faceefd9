#include "state/seamless_update.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelkora::state {
bool operator==(const PublishedOutcome& a, const PublishedOutcome& b) {
    return a.outcome == b.outcome && a.code == b.code && a.stage == b.stage && a.attention == b.attention &&
           a.restart_required == b.restart_required;
}
}  // namespace zelkora::state

namespace {

using namespace zelkora::state;

// Records what the flow asks of the registry, the event and the shell.
struct Fakes {
    std::vector<PublishedOutcome> published;
    int event_sets = 0;
    bool client_running = false;
    bool launch_works = true;
    std::vector<std::string> starts;  // "previous:0.9.0", "updated:1.0.0"
    int launch_attempts = 0;

    SeamlessUpdate flow() {
        HandoffRecord record;
        record.from_version = "0.9.0";
        record.to_version = "1.0.0";
        record.process_id = 4242;
        SeamlessServices services;
        services.publish = [this](const PublishedOutcome& answer) { published.push_back(answer); };
        services.signal_event = [this] { ++event_sets; };
        services.product_running = [this](std::uint32_t id) { return id == 4242 && client_running; };
        services.launch = [this](ProductVersion which, std::string_view version) {
            ++launch_attempts;
            if (!launch_works) return false;
            starts.push_back((which == ProductVersion::previous ? "previous:" : "updated:") + std::string(version));
            return true;
        };
        return SeamlessUpdate(record, "1.0.0", services);
    }
};

TEST(SeamlessReady, IsPublishedOnceWithTheStepAndSetsTheEvent) {
    Fakes fakes;
    auto flow = fakes.flow();
    flow.send_ready(2);
    flow.send_ready(4);
    ASSERT_EQ(fakes.published.size(), 1u);
    EXPECT_EQ(fakes.published[0], (PublishedOutcome{"ready", "", 2}));
    EXPECT_EQ(fakes.event_sets, 1);
    EXPECT_TRUE(flow.ready_sent());
    EXPECT_EQ(flow.stage_at_ready(), 2);
    EXPECT_FALSE(flow.final_answer()) << "ready is no final answer";
}

TEST(SeamlessFinish, CompletedRunReopensTheNewVersion) {
    Fakes fakes;
    auto flow = fakes.flow();
    flow.send_ready(0);
    EXPECT_EQ(flow.finish(true, "", 6), SeamlessEnd::close_window);
    EXPECT_EQ(fakes.published.back(), (PublishedOutcome{"completed", "", 6}));
    EXPECT_EQ(fakes.starts, std::vector<std::string>{"updated:1.0.0"});
    EXPECT_EQ(flow.final_answer(), (PublishedOutcome{"completed", "", 6}));
    EXPECT_FALSE(flow.owes_result());
}

TEST(SeamlessFinish, CompletedRunWhoseNewVersionDoesNotOpenShowsTheWindow) {
    Fakes fakes;
    fakes.launch_works = false;
    auto flow = fakes.flow();
    flow.send_ready(1);
    EXPECT_EQ(flow.finish(true, "", 6), SeamlessEnd::show_completed);
    EXPECT_EQ(fakes.published.back().outcome, "completed");
    EXPECT_FALSE(flow.launched());
}

// Whatever the end, the event is set exactly once: by "ready" when it came,
// otherwise with the final answer, so the Client is never left waiting.
TEST(SeamlessFinish, TheEventIsSetOnceForEveryEnd) {
    const struct {
        const char* name;
        bool ready_first;
        bool succeeded;
        const char* code;
        const char* outcome;
    } cases[] = {
        {"completed after ready", true, true, "", "completed"},
        {"completed without ready", false, true, "", "completed"},
        {"failed before ready", false, false, "install_failed", "failed"},
        {"blocked before ready", false, false, "existing_install_required", "blocked"},
        {"failed after ready", true, false, "install_failed", "failed"},
    };
    for (const auto& c : cases) {
        Fakes fakes;
        auto flow = fakes.flow();
        if (c.ready_first) flow.send_ready(1);
        flow.finish(c.succeeded, c.code, 2);
        EXPECT_EQ(fakes.event_sets, 1) << c.name;
        EXPECT_EQ(fakes.published.back().outcome, c.outcome) << c.name;
    }
}

TEST(SeamlessFinish, ACompletedRunThatNeedsARestartSaysSo) {
    Fakes fakes;
    auto flow = fakes.flow();
    flow.send_ready(0);
    flow.finish(true, "", 6, true);
    EXPECT_EQ(fakes.published.back(), (PublishedOutcome{"completed", "", 6, false, true}));
    Fakes failing;
    auto failed = failing.flow();
    failed.finish(false, "install_failed", 3, true);
    EXPECT_FALSE(failing.published.back().restart_required) << "a failed run reports no restart";
}

struct FailureCase {
    const char* name;
    bool ready_first;
    bool client_running;
    bool launch_works;
    const char* code;
    PublishedOutcome answer;
    int event_sets;
    std::vector<std::string> starts;
    SeamlessEnd end;
};

TEST(SeamlessFinish, FailureBranches) {
    const FailureCase cases[] = {
        {"before ready, Client still there: quiet exit", false, true, true, "install_failed",
         {"failed", "install_failed", 3}, 1, {}, SeamlessEnd::close_window},
        {"before ready, blocking code", false, true, true, "driver_install_required",
         {"blocked", "driver_install_required", 3}, 1, {}, SeamlessEnd::close_window},
        {"before ready, Client gone: previous reopened", false, false, true, "installer_missing",
         {"failed", "installer_missing", 3}, 1, {"previous:0.9.0"}, SeamlessEnd::close_window},
        {"before ready, Client gone, no start: failed view", false, false, false, "install_failed",
         {"failed", "install_failed", 3}, 1, {}, SeamlessEnd::show_failed},
        // After "ready" the Client has closed or will: the previous version
        // comes back even if its process still shows up.
        {"after ready: previous reopened", true, true, true, "install_failed",
         {"failed", "install_failed", 3}, 1, {"previous:0.9.0"}, SeamlessEnd::close_window},
        {"after ready, a blocking code still reads failed", true, false, true, "certificate_trust_required",
         {"failed", "certificate_trust_required", 3}, 1, {"previous:0.9.0"}, SeamlessEnd::close_window},
        {"after ready, no start: failed view", true, false, false, "rollback_failed",
         {"failed", "rollback_failed", 3}, 1, {}, SeamlessEnd::show_failed},
    };
    for (const auto& c : cases) {
        Fakes fakes;
        fakes.client_running = c.client_running;
        fakes.launch_works = c.launch_works;
        auto flow = fakes.flow();
        if (c.ready_first) flow.send_ready(1);
        EXPECT_EQ(flow.finish(false, c.code, 3), c.end) << c.name;
        EXPECT_EQ(fakes.published.back(), c.answer) << c.name;
        EXPECT_EQ(fakes.event_sets, c.event_sets) << c.name;
        EXPECT_EQ(fakes.starts, c.starts) << c.name;
    }
}

TEST(SeamlessFinish, StageIsClampedIntoTheRecordRange) {
    Fakes fakes;
    auto flow = fakes.flow();
    flow.finish(false, "install_failed", 9);
    EXPECT_EQ(fakes.published.back().stage, 6);
    Fakes more;
    auto other = more.flow();
    other.send_ready(-1);
    EXPECT_EQ(more.published.back().stage, 0);
}

TEST(SeamlessLaunch, TwoRequestsStartTheProgramOnce) {
    Fakes fakes;
    auto flow = fakes.flow();
    EXPECT_TRUE(flow.launch(ProductVersion::updated));
    EXPECT_TRUE(flow.launch(ProductVersion::previous));
    EXPECT_EQ(fakes.launch_attempts, 1);
    EXPECT_EQ(fakes.starts, std::vector<std::string>{"updated:1.0.0"});
}

TEST(SeamlessLaunch, AFailedStartMayBeTriedAgain) {
    Fakes fakes;
    fakes.launch_works = false;
    auto flow = fakes.flow();
    EXPECT_FALSE(flow.launch(ProductVersion::updated));
    fakes.launch_works = true;
    EXPECT_TRUE(flow.launch(ProductVersion::updated));
    EXPECT_EQ(fakes.launch_attempts, 2);
}

TEST(SeamlessOwedResult, WindowGoingAwayAnswersTheWaitingClientOnce) {
    Fakes fakes;
    auto flow = fakes.flow();
    ASSERT_TRUE(flow.owes_result());
    flow.settle_owed_result("installer_start_failed", 0);
    flow.settle_owed_result("install_failed", 0);
    ASSERT_EQ(fakes.published.size(), 1u);
    EXPECT_EQ(fakes.published[0], (PublishedOutcome{"failed", "installer_start_failed", 0}));
    EXPECT_EQ(fakes.event_sets, 1);
    EXPECT_TRUE(fakes.starts.empty());

    Fakes finished;
    auto done = finished.flow();
    done.finish(true, "", 6);
    done.settle_owed_result("install_failed", 6);
    EXPECT_EQ(finished.published.size(), 1u) << "a finished run owes nothing";
}

}  // namespace
