#include "core/outcome_codes.h"

#include <algorithm>
#include <array>

namespace zelkora::core {
namespace {

constexpr std::array<std::string_view, 3> kTrustedCodes = {
    "existing_install_required",
    "certificate_trust_required",
    "driver_install_required",
};

constexpr std::array<std::string_view, 11> kValidCodes = {
    "install_failed",
    "rollback_failed",
    "installer_missing",
    "progress_channel_failed",
    "installer_start_failed",
    "package_version_mismatch",
    "app_launch_failed",
    "existing_install_required",
    "certificate_trust_required",
    "driver_install_required",
    "update_not_newer",
};

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& table, std::string_view code) {
    return std::find(table.begin(), table.end(), code) != table.end();
}

}  // namespace

bool is_trusted_code(std::string_view code) { return contains(kTrustedCodes, code); }

bool is_trusted_code(std::u16string_view code) {
    return std::any_of(kTrustedCodes.begin(), kTrustedCodes.end(), [&](std::string_view trusted) {
        return std::equal(trusted.begin(), trusted.end(), code.begin(), code.end());
    });
}

bool is_valid_code(std::string_view code) { return code.empty() || contains(kValidCodes, code); }

std::string failure_code(std::u16string_view reported_code, std::string_view setup_code,
                         std::u16string_view status_text) {
    if (!setup_code.empty() && is_valid_code(setup_code)) return std::string(setup_code);
    if (is_trusted_code(reported_code)) return std::string(reported_code.begin(), reported_code.end());
    if (status_text.find(u"Existing-service restoration: False") != std::u16string_view::npos) {
        return "rollback_failed";
    }
    return "install_failed";
}

std::string_view update_mode_code(std::string_view code) {
    if (code == "update_not_newer" || code == "not_newer") return "not_newer";
    if (code == "installer_missing" || code == "stage_failed") return "stage_failed";
    if (code == "progress_channel_failed" || code == "installer_start_failed" ||
        code == "launch_failed") {
        return "launch_failed";
    }
    return {};
}

}  // namespace zelkora::core
