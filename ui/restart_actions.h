#pragma once
// The restart that follows an accepted restart confirmation, expressed over
// an abstract set of operations so the procedure is testable without
// restarting anything. Portable: no <windows.h>.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelkora::ui {

// Win32 values, repeated here so this header stays free of <windows.h>.
inline constexpr std::uint32_t kRestartFlags = 2;              // EWX_REBOOT
inline constexpr std::uint32_t kRestartReason = 0x80040002u;   // planned, application, installation

// The virtual slots are in this order on purpose; keep it.
class RestartActions {
public:
    virtual ~RestartActions() = default;
    // True when the actions are usable at all.
    virtual bool Open() = 0;
    // Win32 error code, 0 on success.
    virtual std::uint32_t AcquirePrivilege() = 0;
    // Win32 error code, 0 on success.
    virtual std::uint32_t RequestRestart(std::uint32_t flags, std::uint32_t reason) = 0;
    // Called after every attempt that got past Open.
    virtual int Release() = 0;
};

enum class RestartOutcome : int {
    NotAccepted = 0,
    OpenFailed = 1,
    PrivilegeFailed = 2,
    RequestFailed = 3,
    Requested = 4,
};

struct RestartResult {
    RestartOutcome outcome = RestartOutcome::NotAccepted;
    std::uint32_t error = 0;
    // Empty when Release was not called.
    std::optional<int> released;
};

[[nodiscard]] RestartResult run_restart_procedure(bool accepted, RestartActions& actions);

// Test double: counts every call, answers with configured values and
// remembers the last request.
class FakeRestartActions final : public RestartActions {
public:
    bool open_result = true;
    std::uint32_t privilege_error = 0;
    std::uint32_t request_error = 0;
    int release_value = 0;

    int open_calls = 0;
    int privilege_calls = 0;
    int request_calls = 0;
    int release_calls = 0;
    std::uint32_t last_flags = 0;
    std::uint32_t last_reason = 0;
    // Operation names in call order, so a test can see Release came last.
    std::vector<std::string> calls;

    bool Open() override;
    std::uint32_t AcquirePrivilege() override;
    std::uint32_t RequestRestart(std::uint32_t flags, std::uint32_t reason) override;
    int Release() override;
};

}  // namespace zelkora::ui
