// The progress channel in-process: the pipe's security and instance rules,
// a stop right after the start, and starts that must not leave a PowerShell
// behind: a case without a script, and a start that cannot get its reader.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <chrono>
#include <set>
#include <system_error>

#include "core/progress_channel_win32.h"
#include "file_tree.h"

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
    settings.selftest_case = static_cast<zelkora::core::SelfTestCase>(12);  // selected by no switch
    const auto failure = channel.start(settings);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->setup_code, "installer_start_failed");
    EXPECT_EQ(channel.installer_process(), nullptr);
    EXPECT_TRUE(channel.reader_finished());
}

std::thread refuse_thread(std::function<void()>) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

// Our child processes running as powershell.exe: the stand-in, here.
std::set<DWORD> powershell_children() {
    std::set<DWORD> children;
    const zelkora::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == ::GetCurrentProcessId() && ::lstrcmpiW(entry.szExeFile, L"powershell.exe") == 0) {
            children.insert(entry.th32ProcessID);
        }
    }
    return children;
}

// An installer that nobody reads would run elevated and unwatched: without
// its reader the run is a failed start, and PowerShell never starts.
TEST(ProgressChannel, WithoutAReaderThreadNoInstallerStarts) {
    zelkora::test::ScratchFolder scratch;
    const std::wstring transcript = scratch / L"transcript.txt";
    ::SetEnvironmentVariableW(L"ZELKORA_STANDIN_TRANSCRIPT", transcript.c_str());
    const auto before = powershell_children();

    zelkora::core::ProgressChannel channel(refuse_thread);
    zelkora::core::LaunchSettings settings;
    settings.selftest_case = zelkora::core::SelfTestCase::completed;  // a script that connects and writes
    const auto failure = channel.start(settings);
    const auto after = powershell_children();
    ::Sleep(1000);  // time for a started stand-in to leave its first record
    ::SetEnvironmentVariableW(L"ZELKORA_STANDIN_TRANSCRIPT", nullptr);

    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(failure->status_text == u"설치 진행 채널을 만들지 못했어요. 다시 실행하세요.");
    EXPECT_EQ(failure->setup_code, "progress_channel_failed");
    EXPECT_EQ(after, before) << "a PowerShell was left running";
    EXPECT_FALSE(zelkora::test::read_file(transcript).has_value()) << *zelkora::test::read_file(transcript);
    EXPECT_TRUE(channel.reader_finished());
    EXPECT_EQ(channel.installer_process(), nullptr);
}

}  // namespace
