#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/restart_actions.h"

namespace {

using zelkora::ui::FakeRestartActions;
using zelkora::ui::RestartOutcome;
using zelkora::ui::run_restart_procedure;

struct RestartCase {
    const char* name;
    bool accepted;
    bool open_result;
    std::uint32_t privilege_error;
    std::uint32_t request_error;
    int release_value;

    RestartOutcome outcome;
    std::uint32_t error;
    std::optional<int> released;
    std::vector<std::string> calls;
};

TEST(RestartProcedure, CallsTheActionsInOrderAndReportsTheirResults) {
    const RestartCase cases[] = {
        {"not accepted", false, true, 0, 0, 5, RestartOutcome::NotAccepted, 0, std::nullopt, {}},
        {"open fails", true, false, 0, 0, 5, RestartOutcome::OpenFailed, 0, std::nullopt, {"Open"}},
        {"privilege not held", true, true, 1314, 0, 5, RestartOutcome::PrivilegeFailed, 1314, 5,
         {"Open", "AcquirePrivilege", "Release"}},
        {"shutdown in progress", true, true, 0, 1115, 6, RestartOutcome::RequestFailed, 1115, 6,
         {"Open", "AcquirePrivilege", "RequestRestart", "Release"}},
        {"restart requested", true, true, 0, 0, -7, RestartOutcome::Requested, 0, -7,
         {"Open", "AcquirePrivilege", "RequestRestart", "Release"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeRestartActions actions;
        actions.open_result = c.open_result;
        actions.privilege_error = c.privilege_error;
        actions.request_error = c.request_error;
        actions.release_value = c.release_value;

        const auto result = run_restart_procedure(c.accepted, actions);

        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.released, c.released);
        EXPECT_EQ(actions.calls, c.calls);
        EXPECT_EQ(actions.release_calls, c.released ? 1 : 0);
    }
}

TEST(RestartProcedure, AsksForAPlannedInstallationReboot) {
    FakeRestartActions actions;
    static_cast<void>(run_restart_procedure(true, actions));
    ASSERT_EQ(actions.request_calls, 1);
    EXPECT_EQ(actions.last_flags, 2u);           // EWX_REBOOT
    EXPECT_EQ(actions.last_reason, 0x80040002u);  // planned | application | installation
}

}  // namespace
