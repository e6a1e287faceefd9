#include "ui/restart_actions.h"

namespace zelkora::ui {

RestartResult run_restart_procedure(bool accepted, RestartActions& actions) {
    if (!accepted) return {RestartOutcome::NotAccepted, 0, std::nullopt};
    if (!actions.Open()) return {RestartOutcome::OpenFailed, 0, std::nullopt};

    if (const std::uint32_t error = actions.AcquirePrivilege(); error != 0) {
        const int released = actions.Release();
        return {RestartOutcome::PrivilegeFailed, error, released};
    }
    const std::uint32_t error = actions.RequestRestart(kRestartFlags, kRestartReason);
    const int released = actions.Release();
    if (error != 0) return {RestartOutcome::RequestFailed, error, released};
    return {RestartOutcome::Requested, 0, released};
}

bool FakeRestartActions::Open() {
    ++open_calls;
    calls.emplace_back("Open");
    return open_result;
}

std::uint32_t FakeRestartActions::AcquirePrivilege() {
    ++privilege_calls;
    calls.emplace_back("AcquirePrivilege");
    return privilege_error;
}

std::uint32_t FakeRestartActions::RequestRestart(std::uint32_t flags, std::uint32_t reason) {
    ++request_calls;
    calls.emplace_back("RequestRestart");
    last_flags = flags;
    last_reason = reason;
    return request_error;
}

int FakeRestartActions::Release() {
    ++release_calls;
    calls.emplace_back("Release");
    return release_value;
}

}  // namespace zelkora::ui
