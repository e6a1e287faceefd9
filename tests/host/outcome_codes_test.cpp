#include <gtest/gtest.h>

#include "core/outcome_codes.h"

namespace {

using zelkora::core::failure_code;
using zelkora::core::is_trusted_code;
using zelkora::core::is_valid_code;

TEST(TrustedCodes, AreExactlyTheThreeScriptCodes) {
    for (const char16_t* code : {u"existing_install_required", u"certificate_trust_required",
                                 u"driver_install_required"}) {
        EXPECT_TRUE(is_trusted_code(std::u16string_view(code))) << "trusted";
    }
    for (const char16_t* code : {u"", u"install_failed", u"Driver_install_required",
                                 u"driver_install_required ", u"driver_install_require",
                                 u"update_not_newer"}) {
        EXPECT_FALSE(is_trusted_code(std::u16string_view(code)));
    }
}

TEST(ValidCodes, AreTheElevenCodesAndTheEmptyOne) {
    const char* valid[] = {"", "install_failed", "rollback_failed", "installer_missing",
                           "progress_channel_failed", "installer_start_failed",
                           "package_version_mismatch", "app_launch_failed", "existing_install_required",
                           "certificate_trust_required", "driver_install_required", "update_not_newer"};
    for (const char* code : valid) EXPECT_TRUE(is_valid_code(code)) << code;
    for (const char* code : {"not_newer", "stage_failed", "launch_failed", "display_attention",
                             "INSTALL_FAILED", "install_failed\n"}) {
        EXPECT_FALSE(is_valid_code(code)) << code;
    }
}

struct FailureCodeCase {
    std::u16string reported;
    std::string setup;
    std::u16string status;
    std::string expected;
};

TEST(FailureCode, FollowsSetupThenReportedThenRestorationText) {
    const FailureCodeCase cases[] = {
        {u"driver_install_required", "installer_missing", u"", "installer_missing"},
        {u"driver_install_required", "bogus_code", u"", "driver_install_required"},
        {u"driver_install_required", "", u"Existing-service restoration: False", "driver_install_required"},
        {u"install_failed", "", u"", "install_failed"},
        {u"", "", u"Host installation failed: x Existing-service restoration: False.", "rollback_failed"},
        {u"", "", u"Host installation failed: x Existing-service restoration: True.", "install_failed"},
        {u"", "", u"", "install_failed"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(failure_code(c.reported, c.setup, c.status), c.expected);
    }
}

}  // namespace
