#pragma once
// The virtual display backend: finds, classifies, creates with its driver,
// relabels and removes the root-enumerated node of the virtual display
// driver. Failures are results; nothing here raises.

#include <cstdint>
#include <string>
#include <string_view>

namespace zelkora::pnp {

// DN_ flags and CM_PROB_ number of a device node; problem -1 when unknown.
struct NodeStatus {
    std::uint32_t status = 0;
    std::int32_t problem = -1;
};

inline constexpr std::string_view kStateUnknown = "unknown";
inline constexpr std::string_view kStateAbsent = "absent";
inline constexpr std::string_view kStatePresent = "present";
inline constexpr std::string_view kStateForeign = "foreign";

struct DeviceState {
    std::string word = std::string(kStateUnknown);
    NodeStatus status;
};

struct InstallResult {
    std::string code;
    std::wstring instance_id;
    bool reboot_required = false;
};

// The new label was written and read back when code is empty; otherwise
// one of the codes below says which step refused.
struct RelabelResult {
    std::string code;
    bool relabelled() const { return code.empty(); }
};

inline constexpr std::string_view kInfInvalid = "pnp_inf_invalid";
inline constexpr std::string_view kUnavailable = "pnp_unavailable";
inline constexpr std::string_view kCreateFailed = "pnp_create_failed";
inline constexpr std::string_view kDriverUnavailable = "pnp_driver_unavailable";
inline constexpr std::string_view kRegisterFailed = "pnp_register_failed";
inline constexpr std::string_view kInstallFailed = "pnp_install_failed";
inline constexpr std::string_view kInstanceInvalid = "pnp_instance_invalid";
inline constexpr std::string_view kDeviceUnowned = "pnp_device_unowned";
inline constexpr std::string_view kLabelFailed = "pnp_label_failed";
inline constexpr std::string_view kLabelUnverified = "pnp_label_unverified";

class Backend {
public:
    virtual ~Backend() = default;
    [[nodiscard]] virtual NodeStatus node_status(const std::wstring& instance_id) const = 0;
    [[nodiscard]] virtual DeviceState device_state(const std::wstring& instance_id) const = 0;
    [[nodiscard]] virtual InstallResult create_and_install(const std::wstring& inf_path) const = 0;
    [[nodiscard]] virtual RelabelResult relabel(const std::wstring& instance_id) const = 0;
    [[nodiscard]] virtual bool remove(const std::wstring& instance_id) const = 0;
};

}  // namespace zelkora::pnp
