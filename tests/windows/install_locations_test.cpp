// Installed versions, their metadata and file versions, and the launch target,
// on real folders of the Wine prefix. The update probe's version resource
// (1.2.3.5) makes it the Zelkora.exe of version 1.2.3.
#include <gtest/gtest.h>

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "core/file_paths_win32.h"
#include "core/trust_rules_win32.h"
#include "file_tree.h"
#include "state/install_locations_win32.h"
#include "test_support.h"

namespace {

using namespace zelkora;
using namespace zelkora::state;
using namespace std::chrono_literals;

std::wstring probe_exe() { return test::windows_path_from_env("ZELKORA_UPDATE_PROBE_EXE"); }

std::string metadata(std::string_view product, std::string_view version) {
    return "{\"product\": \"" + std::string(product) + "\", \"version\": \"" + std::string(version) + "\"}";
}

// {root}\Zelkora\Client\{folder} with metadata naming version and, when
// wanted, the probe as Zelkora.exe.
void install_client(const std::wstring& root, const std::wstring& folder, std::string_view version,
                    bool with_program = true) {
    const std::wstring version_folder = root + L"\\Zelkora\\Client\\" + folder;
    test::write_file(version_folder + L"\\zelkora-client.json", metadata("Zelkora", version));
    if (with_program) ASSERT_TRUE(::CopyFileW(probe_exe().c_str(), (version_folder + L"\\Zelkora.exe").c_str(), FALSE));
}

TEST(FileVersion, ComparesThreePartsAndTheFourthOnlyWhenStrict) {
    test::ScratchFolder scratch;
    test::write_file(scratch / L"plain.exe", "not a program");
    struct Case {
        std::wstring exe;
        const char* version;
        bool strict;
        bool equal;
    };
    const Case cases[] = {
        {probe_exe(), "1.2.3", false, true},
        {probe_exe(), "1.2.3", true, false},
        {probe_exe(), "01.002.3", false, true},
        {probe_exe(), "1.2.4", false, false},
        {probe_exe(), "1.2.5", false, false},
        {probe_exe(), "1.2", false, false},
        {probe_exe(), "65537.2.3", false, false},
        {scratch / L"plain.exe", "1.2.3", false, false},
        {scratch / L"missing.exe", "1.2.3", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(file_version_equals(c.exe, c.version, c.strict), c.equal)
            << testing::PrintToString(c.exe) << " " << c.version << (c.strict ? " strict" : "");
    }
}

TEST(MetadataFile, AtMostFourKilobytesAndAPlainFile) {
    test::ScratchFolder scratch;
    const std::string members = metadata("Zelkora", "1.2.3");
    test::write_file(scratch / L"4096.json", members + std::string(4096 - members.size(), ' '));
    test::write_file(scratch / L"4097.json", members + std::string(4097 - members.size(), ' '));
    test::write_file(scratch / L"host.json", metadata("ZelkoraHost", "1.2.3"));
    test::make_folders(scratch / L"folder.json");
    EXPECT_TRUE(metadata_file_matches(scratch / L"4096.json", "Zelkora", "1.2.3"));
    EXPECT_FALSE(metadata_file_matches(scratch / L"4097.json", "Zelkora", "1.2.3"));
    EXPECT_FALSE(metadata_file_matches(scratch / L"host.json", "Zelkora", "1.2.3"));
    EXPECT_TRUE(metadata_file_matches(scratch / L"host.json", "ZelkoraHost", "1.2.3"));
    EXPECT_FALSE(metadata_file_matches(scratch / L"folder.json", "Zelkora", "1.2.3"));
    EXPECT_FALSE(metadata_file_matches(scratch / L"missing.json", "Zelkora", "1.2.3"));
}

// The folder names in the order the file system lists them.
std::vector<std::wstring> listed_names(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    const UniqueFind search(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!search) return names;
    do {
        names.push_back(entry.cFileName);
    } while (::FindNextFileW(search.get(), &entry));
    return names;
}

TEST(HighestInstalledVersion, NewestFolderThatProvesItsVersion) {
    test::ScratchFolder scratch;
    EXPECT_FALSE(highest_installed_version(scratch.path(), Product::client));
    EXPECT_FALSE(highest_installed_version(L"", Product::client));

    install_client(scratch.path(), L"0.9.0", "0.9.0", false);
    install_client(scratch.path(), L"1.9.9", "1.9.9", false);
    install_client(scratch.path(), L"1.10.0", "1.10.0", false);
    EXPECT_EQ(highest_installed_version(scratch.path(), Product::client), "1.10.0");
    EXPECT_FALSE(highest_installed_version(scratch.path(), Product::host));

    // Folders that do not prove a newer version are passed over.
    install_client(scratch.path(), L"2.0.0", "1.10.0", false);
    test::write_file(scratch / L"Zelkora\\Client\\3.0.0", metadata("Zelkora", "3.0.0"));
    test::make_folders(scratch / L"Zelkora\\Client\\4.0.0");
    test::write_file(scratch / L"Zelkora\\Client\\5.0.0\\zelkora-client.json", metadata("ZelkoraHost", "5.0.0"));
    install_client(scratch.path(), L"v6.0.0", "6.0.0", false);
    EXPECT_EQ(highest_installed_version(scratch.path(), Product::client), "1.10.0");
}

TEST(HighestInstalledVersion, FirstOfTwoEqualVersionsStays) {
    test::ScratchFolder scratch;
    install_client(scratch.path(), L"01.2.3", "01.2.3", false);
    install_client(scratch.path(), L"1.2.3", "1.2.3", false);
    const auto names = listed_names(scratch / L"Zelkora\\Client");
    std::string first;
    for (const auto& name : names) {
        if (name == L"01.2.3" || name == L"1.2.3") {
            first.assign(name.begin(), name.end());
            break;
        }
    }
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(highest_installed_version(scratch.path(), Product::client), first);
}

TEST(HighestInstalledVersion, HostFoldersNeedHostMetadata) {
    test::ScratchFolder scratch;
    test::write_file(scratch / L"Zelkora\\Host\\2.1.0\\zelkora-host.json", metadata("ZelkoraHost", "2.1.0"));
    test::write_file(scratch / L"Zelkora\\Host\\2.2.0\\zelkora-host.json", metadata("Zelkora", "2.2.0"));
    EXPECT_EQ(highest_installed_version(scratch.path(), Product::host), "2.1.0");
    EXPECT_FALSE(highest_installed_version(scratch.path(), Product::client));
}

TEST(InstalledClientNewer, OnlyAStrictlyNewerVersionCounts) {
    struct Case {
        const wchar_t* installed;  // nothing when null
        const char* own;
        bool newer;
    };
    const Case cases[] = {
        {nullptr, "1.0.0", false},
        {L"1.0.0", "1.0.0", false},
        {L"0.9.9", "1.0.0", false},
        {L"1.0.1", "1.0.0", true},
        {L"1.0.0", "not a version", true},
    };
    for (const auto& c : cases) {
        test::ScratchFolder scratch;
        if (c.installed) {
            const std::wstring folder = c.installed;
            install_client(scratch.path(), folder, std::string(folder.begin(), folder.end()), false);
        }
        EXPECT_EQ(installed_client_newer_than(scratch.path(), c.own), c.newer)
            << (c.installed ? "installed" : "none") << " vs " << c.own;
    }
}

class LaunchTargets : public testing::Test {
protected:
    test::ScratchFolder program_files;
    test::ScratchFolder per_user;

    std::optional<LaunchTarget> resolve(Product product, std::string_view version, const core::TrustData& trust) {
        return resolve_launch_target_under(product, version, program_files.path(), per_user.path(), trust);
    }
};

// Under Wine every file is the current user's: the release's trust refuses
// the program-files copy, as it refuses one that users may write, and the
// per-user copy is used; the test variant's trust takes the program-files one.
TEST_F(LaunchTargets, ProgramFilesCopyOnlyWhenProtected) {
    install_client(program_files.path(), L"1.2.3", "1.2.3");
    install_client(per_user.path(), L"1.2.3", "1.2.3");

    const auto fallback = resolve(Product::client, "1.2.3", core::product_trust());
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fallback->program, per_user / L"Zelkora\\Client\\1.2.3\\Zelkora.exe");
    EXPECT_EQ(fallback->working_folder, per_user / L"Zelkora\\Client\\1.2.3");
    EXPECT_EQ(fallback->arguments, L"");
    EXPECT_FALSE(fallback->host_settings);

    const auto protected_copy = resolve(Product::client, "1.2.3", core::test_variant_trust());
    ASSERT_TRUE(protected_copy);
    EXPECT_EQ(protected_copy->program, program_files / L"Zelkora\\Client\\1.2.3\\Zelkora.exe");
}

TEST_F(LaunchTargets, EveryCheckOfTheVersionFolderMustPass) {
    install_client(per_user.path(), L"1.2.3", "1.2.3");
    install_client(per_user.path(), L"1.2.4", "1.2.4");    // the program is 1.2.3
    install_client(per_user.path(), L"1.2.5", "1.2.4");    // metadata of another version
    install_client(per_user.path(), L"1.2.6", "1.2.6", false);
    test::make_folders(per_user / L"Zelkora\\Client\\1.2.6\\Zelkora.exe");
    const core::TrustData trust = core::test_variant_trust();
    EXPECT_TRUE(resolve(Product::client, "1.2.3", trust));
    for (const char* version : {"1.2.4", "1.2.5", "1.2.6", "1.2.7", "1.2", "01.2.3"}) {
        EXPECT_FALSE(resolve(Product::client, version, trust)) << version;
    }
    EXPECT_FALSE(resolve_launch_target_under(Product::client, "1.2.3", L"", L"", trust));
}

// Client folders reached through links (tests/wine/make-link-fixtures), one
// with the version folder a link and one with the Client folder a link: with
// the release's trust and with the test variant's, neither the program-files
// copy nor the per-user copy may be started from there.
TEST_F(LaunchTargets, NoneReachedThroughALink) {
    for (const std::wstring root : {L"C:\\zelkora-links\\launch\\version-link",
                                    L"C:\\zelkora-links\\launch\\client-link"}) {
        install_client(root, L"1.2.3", "1.2.3");
        ASSERT_TRUE(test::read_file(root + L"\\Zelkora\\Client\\1.2.3\\zelkora-client.json"));
        for (const core::TrustData& trust : {core::product_trust(), core::test_variant_trust()}) {
            EXPECT_FALSE(resolve_launch_target_under(Product::client, "1.2.3", root, per_user.path(), trust))
                << testing::PrintToString(root) << " as program files";
            EXPECT_FALSE(resolve_launch_target_under(Product::client, "1.2.3", program_files.path(), root, trust))
                << testing::PrintToString(root) << " as the per-user root";
        }
    }
}

TEST_F(LaunchTargets, HostSettingsUnderProgramFiles) {
    const std::wstring version_folder = program_files / L"Zelkora\\Host\\2.1.0";
    test::write_file(version_folder + L"\\zelkora-host.json", metadata("ZelkoraHost", "2.1.0"));
    EXPECT_FALSE(resolve(Product::host, "2.1.0", core::product_trust()));
    test::write_file(version_folder + L"\\bin\\ZelkoraHostSettings.exe", "no version resource needed");
    const auto target = resolve(Product::host, "2.1.0", core::product_trust());
    ASSERT_TRUE(target);
    EXPECT_EQ(target->program, version_folder + L"\\bin\\ZelkoraHostSettings.exe");
    EXPECT_EQ(target->working_folder, version_folder + L"\\bin");
    EXPECT_EQ(target->arguments, L"--host-settings");
    EXPECT_TRUE(target->host_settings);
}

// Installs a Client version folder under the prefix's program files for one
// test and removes what it made, leaving whatever was there before.
class InstalledUnderProgramFiles {
public:
    explicit InstalledUnderProgramFiles(const std::wstring& version) {
        const std::wstring zelkora = zelkora::core::known_folder_path(FOLDERID_ProgramFiles) + L"\\Zelkora";
        for (const std::wstring& folder : {zelkora, zelkora + L"\\Client", zelkora + L"\\Client\\" + version}) {
            if (::CreateDirectoryW(folder.c_str(), nullptr)) made_.insert(made_.begin(), folder);
        }
        test::write_file(zelkora + L"\\Client\\" + version + L"\\zelkora-client.json",
                         metadata("Zelkora", std::string(version.begin(), version.end())));
    }
    ~InstalledUnderProgramFiles() {
        for (const auto& folder : made_) test::remove_tree(folder);
    }
    InstalledUnderProgramFiles(const InstalledUnderProgramFiles&) = delete;
    InstalledUnderProgramFiles& operator=(const InstalledUnderProgramFiles&) = delete;

private:
    std::vector<std::wstring> made_;
};

// Only a real update asks whether the installed Client is newer (see
// update_launcher_test.cpp): with 1.0.1 installed, the update self-test and
// the ordinary self-test still start their script and pass.
TEST(UpdateNotNewer, SelfTestsNeverAskEvenWithANewerClientInstalled) {
    const InstalledUnderProgramFiles installed(L"1.0.1");
    ASSERT_TRUE(installed_client_newer_than_setup());
    for (const wchar_t* argument : {L"--selftest-update", L"--selftest"}) {
        const auto run = test::run_capturing_output(test::setup_exe_path(), argument, 60s);
        ASSERT_TRUE(run);
        EXPECT_NE(run->output.find("passed=1"), std::string::npos) << run->output;
        EXPECT_EQ(run->output.find("startFailed="), std::string::npos) << run->output;
        EXPECT_EQ(run->exit_code, 0u) << run->output;
    }
}

}  // namespace
