// The update-launcher check end to end: the update probe, copied under the
// release name into a staging folder, starts another probe that asks the check
// with the release's or the test variant's trust. Under Wine no folder passes
// the release's protected-update-folder test, so the release always says no;
// the test variant's trust shows the name and folder rules.
#include <gtest/gtest.h>

#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <thread>
#include <vector>

#include "core/file_paths_win32.h"
#include "core/wide.h"
#include "file_tree.h"
#include "setup_version.h"
#include "test_support.h"

namespace {

using namespace zelkora;
using namespace std::chrono_literals;

constexpr DWORD kStartedByLauncher = 10;
constexpr DWORD kNotStartedByLauncher = 20;

std::wstring probe_exe() { return test::windows_path_from_env("ZELKORA_UPDATE_PROBE_EXE"); }
std::wstring release_name() { return to_wide(kSetupFileName); }

std::wstring fresh_guid(bool upper_case) {
    GUID guid{};
    ::CoCreateGuid(&guid);
    wchar_t text[64] = {};
    ::StringFromGUID2(guid, text, 64);  // braced, upper case
    std::wstring name = text;
    if (!upper_case) {
        for (wchar_t& c : name) c = static_cast<wchar_t>(::towlower(c));
    }
    return name;
}

DWORD run_probe(const std::wstring& launcher, const std::wstring& trust) {
    const auto run = test::run_capturing_output(
        launcher, L"start " + test::quoted_command_line(probe_exe(), L"check " + trust), 60s);
    // The callers compare the code; these say why a run gave neither answer.
    if (!run) {
        ADD_FAILURE() << "the staged launcher did not start: error " << ::GetLastError();
        return 0;
    }
    if (run->exit_code != kStartedByLauncher && run->exit_code != kNotStartedByLauncher) {
        ADD_FAILURE() << "the probe ended with " << run->exit_code << "; its output:\n" << run->output;
    }
    return run->exit_code;
}

// Copies the probe to folder\name, making the folders it needs, and removes
// every folder it made afterwards.
class StagedLauncher {
public:
    StagedLauncher(const std::vector<std::wstring>& folders, const std::wstring& name) {
        for (const auto& folder : folders) {
            if (::CreateDirectoryW(folder.c_str(), nullptr)) made_.insert(made_.begin(), folder);
        }
        path_ = folders.back() + L"\\" + name;
        copied_ = ::CopyFileW(probe_exe().c_str(), path_.c_str(), TRUE) != FALSE;
    }
    ~StagedLauncher() {
        ::DeleteFileW(path_.c_str());
        for (const auto& folder : made_) test::remove_tree(folder);
    }
    StagedLauncher(const StagedLauncher&) = delete;
    StagedLauncher& operator=(const StagedLauncher&) = delete;

    bool copied() const { return copied_; }
    const std::wstring& path() const { return path_; }

private:
    std::vector<std::wstring> made_;
    std::wstring path_;
    bool copied_ = false;
};

TEST(UpdateLauncher, StagedReleaseFileInABracedGuidFolder) {
    const std::wstring updates = zelkora::core::known_folder_path(FOLDERID_ProgramData) + L"\\Zelkora-Updates";
    test::ScratchFolder elsewhere;
    struct Case {
        const char* name;
        std::vector<std::wstring> folders;
        std::wstring file_name;
        bool test_variant_accepts;
    };
    const Case cases[] = {
        {"lower-case braced GUID", {updates, updates + L"\\" + fresh_guid(false)}, release_name(), true},
        {"upper-case braced GUID", {updates, updates + L"\\" + fresh_guid(true)}, release_name(), true},
        {"GUID without braces",
         {updates, updates + L"\\" + fresh_guid(false).substr(1, 36)}, release_name(), false},
        {"directly in Zelkora-Updates", {updates}, release_name(), false},
        {"another release's name", {updates, updates + L"\\" + fresh_guid(false)}, L"Zelkora-1.0.1-windows-x64.exe",
         false},
        // A link that tests/wine/make-link-fixtures made, to a folder elsewhere.
        {"staging folder that is a link",
         {updates, updates + L"\\{5a1c0000-0000-4000-8000-00000000011c}"}, release_name(), false},
        {"Zelkora-Updates outside ProgramData",
         {elsewhere / L"Zelkora-Updates", elsewhere / (L"Zelkora-Updates\\" + fresh_guid(false))}, release_name(),
         false},
    };
    for (const auto& c : cases) {
        const StagedLauncher launcher(c.folders, c.file_name);
        ASSERT_TRUE(launcher.copied()) << c.name;
        EXPECT_EQ(run_probe(launcher.path(), L"test-variant"),
                  c.test_variant_accepts ? kStartedByLauncher : kNotStartedByLauncher)
            << c.name;
        EXPECT_EQ(run_probe(launcher.path(), L"release"), kNotStartedByLauncher) << c.name;
    }
}

TEST(UpdateLauncher, StartedByAnythingButTheStagedFileIsNo) {
    for (const wchar_t* trust : {L"test-variant", L"release"}) {
        const auto run = test::run_capturing_output(probe_exe(), std::wstring(L"check ") + trust, 60s);
        ASSERT_TRUE(run);
        EXPECT_EQ(run->exit_code, kNotStartedByLauncher);
    }
}

HWND wait_for_setup_window(std::chrono::milliseconds limit) {
    HWND window = nullptr;
    test::wait_until(
        [&] {
            window = ::FindWindowW(L"ZelkoraProductSetup028", nullptr);
            return window != nullptr && ::IsWindowVisible(window);
        },
        limit);
    return window;
}

// The setup itself started by the staged launcher with "--update": the
// release refuses the staging folder under Wine and waits for the user as an
// ordinary setup does; the test variant's trust takes it as an automatic
// update, which starts the installer at once and fails for want of the
// script beside it.
TEST(UpdateLauncher, SetupStartedFromTheStagingFolder) {
    const std::wstring updates = zelkora::core::known_folder_path(FOLDERID_ProgramData) + L"\\Zelkora-Updates";
    const StagedLauncher launcher({updates, updates + L"\\" + fresh_guid(false)}, release_name());
    ASSERT_TRUE(launcher.copied());
    struct Case {
        const char* name;
        std::wstring setup;
        bool automatic_update;
    };
    const Case cases[] = {
        {"release", test::setup_exe_path(), false},
        {"test variant", test::windows_path_from_env("ZELKORA_TEST_VARIANT_EXE"), true},
    };
    for (const auto& c : cases) {
        const auto started = test::start_process(launcher.path(), L"start " + test::quoted_command_line(c.setup, L"--update"));
        ASSERT_TRUE(started) << c.name;
        const HWND window = wait_for_setup_window(15s);
        ASSERT_NE(window, nullptr) << c.name;
        const HWND primary = ::GetDlgItem(window, 1);
        if (c.automatic_update) {
            EXPECT_TRUE(test::wait_for_text(primary, L"다시 시도", 15s)) << c.name;
        } else {
            std::this_thread::sleep_for(2s);
            EXPECT_EQ(test::window_text(primary), L"설치 시작") << c.name;
        }
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(test::wait_for_exit(*started, 15s), c.automatic_update ? 1u : 0u) << c.name;
    }
}

// The demo Client of that version under program files, as its setup leaves
// it: Zelkora.exe with its version resource and zelkora-client.json.
class InstalledClient {
public:
    explicit InstalledClient(const std::wstring& version) {
        const std::wstring folder = product_folder_ + L"\\Client\\" + version;
        // What was there before stays; only what this makes goes afterwards.
        made_ = ::GetFileAttributesW(product_folder_.c_str()) == INVALID_FILE_ATTRIBUTES ? product_folder_ : folder;
        test::make_folders(folder);
        const std::wstring built = test::windows_path_from_env("ZELKORA_DEMO_CLIENT_DIR") + L"\\" + version;
        copied_ = ::CopyFileW((built + L"\\Zelkora.exe").c_str(), (folder + L"\\Zelkora.exe").c_str(), FALSE) &&
                  ::CopyFileW((built + L"\\zelkora-client.json").c_str(), (folder + L"\\zelkora-client.json").c_str(),
                              FALSE);
    }
    ~InstalledClient() { test::remove_tree(made_); }
    InstalledClient(const InstalledClient&) = delete;
    InstalledClient& operator=(const InstalledClient&) = delete;

    bool copied() const { return copied_; }

private:
    std::wstring product_folder_ = zelkora::core::known_folder_path(FOLDERID_ProgramFiles) + L"\\Zelkora";
    std::wstring made_;
    bool copied_ = false;
};

// A real update run, the test variant started by the staged launcher from a
// setup folder with its script: over an installed Client 1.0.1 this setup is
// no update, so it starts no script and ends in the failed view saying why;
// over 1.0.0 the update runs and the window closes itself.
TEST(UpdateLauncher, AnUpdateOverANewerInstalledClientStartsNothing) {
    const std::wstring updates = zelkora::core::known_folder_path(FOLDERID_ProgramData) + L"\\Zelkora-Updates";
    const StagedLauncher launcher({updates, updates + L"\\" + fresh_guid(false)}, release_name());
    ASSERT_TRUE(launcher.copied());
    const test::ScratchFolder folder;
    const std::wstring setup = folder / L"zelkora-setup.exe";
    ASSERT_TRUE(::CopyFileW(test::windows_path_from_env("ZELKORA_TEST_VARIANT_EXE").c_str(), setup.c_str(), FALSE));
    test::write_file(folder / L"Install-Client.ps1",
                     "transcript transcript.txt\nsend 0|준비\nsend 1|확인\nsend 2|배치\nsend 3|정보\n"
                     "send 4|바로가기\nsend 5|무결성\nsend 6|완료\nexit 0\n");
    struct Case {
        const wchar_t* installed;
        bool refused;
    };
    for (const Case& c : {Case{L"1.0.1", true}, Case{L"1.0.0", false}}) {
        SCOPED_TRACE(c.installed);
        const InstalledClient installed(c.installed);
        ASSERT_TRUE(installed.copied());
        ::DeleteFileW((folder / L"transcript.txt").c_str());
        const auto started = test::start_process(launcher.path(), L"start " + test::quoted_command_line(setup, L"--update"));
        ASSERT_TRUE(started);
        if (c.refused) {
            const HWND window = wait_for_setup_window(15s);
            ASSERT_NE(window, nullptr);
            EXPECT_TRUE(test::wait_for_text(::GetDlgItem(window, 1), L"다시 시도", 15s));
            const std::wstring diagnostics = test::copied_diagnostics(window);
            EXPECT_NE(diagnostics.find(L"설치된 Zelkora보다 낮은 버전이라 자동 업데이트하지 않았어요"), std::wstring::npos)
                << diagnostics;
            ::PostMessageW(window, WM_CLOSE, 0, 0);
        }
        EXPECT_EQ(test::wait_for_exit(*started, 60s), c.refused ? 1u : 0u);
        const std::string transcript = test::read_file(folder / L"transcript.txt").value_or("");
        if (c.refused) {
            EXPECT_EQ(transcript, "") << "the script ran";
        } else {
            EXPECT_NE(transcript.find("sent 6|완료"), std::string::npos) << transcript;
        }
    }
}

}  // namespace
