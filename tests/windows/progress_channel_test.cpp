// The progress channel in-process: the pipe's security and instance rules,
// and a stop that must end the reader even when no client ever came.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <chrono>

#include "core/progress_channel.h"

namespace {

using namespace std::chrono_literals;

std::wstring dacl_text(HANDLE object) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS) {
        return L"(unreadable)";
    }
    const zelkora::UniqueLocalMemory descriptor_owner(descriptor);
    PWSTR text = nullptr;
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return L"(unconvertible)";
    }
    const zelkora::UniqueLocalMemory text_owner(text);
    return text;
}

TEST(ProgressPipe, AdmitsOnlySystemAdministratorsAndOwnerRightsInOneInstance) {
    const auto pipe = zelkora::core::create_progress_pipe(u"ZelkoraHostSetup-test-security");
    ASSERT_TRUE(pipe) << ::GetLastError();
    EXPECT_EQ(dacl_text(pipe.get()), L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;OW)");
    // A second server for the same name, first instance or not, is refused.
    EXPECT_FALSE(zelkora::core::create_progress_pipe(u"ZelkoraHostSetup-test-security"));
}

TEST(ProgressChannel, StopRightAfterTheStartJoinsTheReaderAndClosesEverything) {
    zelkora::core::ProgressChannel channel;
    zelkora::core::LaunchSettings settings;
    settings.selftest_case = zelkora::core::SelfTestCase::completed;
    ASSERT_FALSE(channel.start(settings).has_value());
    EXPECT_FALSE(channel.reader_finished());
    const auto before = std::chrono::steady_clock::now();
    channel.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s);
    EXPECT_TRUE(channel.reader_finished());
    EXPECT_EQ(channel.installer_process(), nullptr);
}

// PowerShell given no arguments is an interactive host that never ends.
TEST(ProgressChannel, ACaseWithoutAScriptStartsNoProcess) {
    zelkora::core::ProgressChannel channel;
    zelkora::core::LaunchSettings settings;
    settings.selftest_case = zelkora::core::SelfTestCase::update_splash;
    const auto failure = channel.start(settings);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->setup_code, "installer_start_failed");
    EXPECT_EQ(channel.installer_process(), nullptr);
    EXPECT_TRUE(channel.reader_finished());
}

}  // namespace
