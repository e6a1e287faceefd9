// Installations end to end: the setup under Wine runs a scenario as
// Install-Client.ps1 that places a package from the bin folder beside it into
// the Client's folder under Program Files, over the real pipe. Wine reports
// the current user as the owner of every file, so the release, which trusts
// only the system's principals, must refuse, while the test variant, which
// also trusts the current user, must place the files, and a repair over them
// must find every one unchanged.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "core/file_paths_win32.h"
#include "core/owners_win32.h"
#include "core/text_encoding.h"
#include "core/wide.h"
#include "file_tree.h"
#include "payload/file_primitives_win32.h"
#include "test_support.h"

#include <knownfolders.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

#include "core/com_owners_win32.h"

namespace {

using namespace std::chrono_literals;
using namespace zelkora;
using namespace zelkora::test;

constexpr wchar_t kSetupClass[] = L"ZelkoraProductSetup028";
constexpr wchar_t kDialogClass[] = L"ZelkoraSetupConfirmation";
constexpr wchar_t kProductFolder[] = L"C:\\Program Files\\Zelkora";
constexpr wchar_t kDestination[] = L"C:\\Program Files\\Zelkora\\Client\\1.0.0";

// The package as it ships in bin (the executable is larger than one 1 MiB
// copy buffer), then the script's place request for it.
const std::string kPlaceThePackage =
    "mkdir bin\\lib\n"
    "fill bin\\Zelkora.exe 1500000\n"
    "file bin\\zelkora-client.json {\"product\":\"Zelkora\",\"version\":\"1.0.0\"}\n"
    "fill \"bin\\lib\\zelkora core.dll\" 4096 5a\n"
    "send 0|준비\n"
    "send 1|파일 확인\n"
    "send -6|place-v1|client|1.0.0|-\n"
    "send -6|file|${size:bin\\Zelkora.exe}|${sha256:bin\\Zelkora.exe}|Zelkora.exe\n"
    "send -6|file|${size:bin\\zelkora-client.json}|${sha256:bin\\zelkora-client.json}|zelkora-client.json\n"
    "send -6|file|${size:bin\\lib\\zelkora core.dll}|${sha256:bin\\lib\\zelkora core.dll}|lib\\zelkora core.dll\n"
    "request -6|commit\n";

// The script's two ways on after the commit: a real script reads the reply,
// the stand-in cannot, so each case says which way its reply leads.
const std::string kFinishes = "send 2|배치\nsend 3|정보\nsend 4|바로가기\nsend 5|무결성\nsend 6|완료\nexit 0\n";
const std::string kGivesUp = "send -1|파일을 배치하지 못했어요\nexit 1\n";

enum class Executable { release, test_variant };

// How a finished run shows: the primary button's text, the button that closes
// the window, and the exit code then.
struct ResultView {
    const wchar_t* primary_text;
    int close_button;
    DWORD exit_code;
};
constexpr ResultView kCompletedView{L"닫기", 1, 0};
constexpr ResultView kFailedView{L"다시 시도", 2, 1};

// Names with sizes and digests: a failure shows this instead of megabytes.
std::string describe(const TreeSnapshot& tree) {
    std::string text;
    for (const auto& [relative, bytes] : tree) {
        text += utf16_to_utf8(from_wide(relative)) + ": ";
        if (bytes == "<folder>") {
            text += bytes + "\n";
            continue;
        }
        const auto digest = sha256_of(bytes);
        char hex[9];
        std::snprintf(hex, sizeof(hex), "%02x%02x%02x%02x", digest[0], digest[1], digest[2], digest[3]);
        text += std::to_string(bytes.size()) + " bytes, sha256 " + hex + "...\n";
    }
    return text;
}

std::map<std::wstring, payload::FileIdentity> identities(const std::wstring& root, const TreeSnapshot& files) {
    std::map<std::wstring, payload::FileIdentity> result;
    for (const auto& [relative, bytes] : files) {
        if (bytes == "<folder>") continue;
        const UniqueFile file(::CreateFileW((root + L"\\" + relative).c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file) result[relative] = payload::file_identity(file.get());
    }
    return result;
}

// One case folder with one setup executable and the scenario beside it, and
// the Client's folder as an earlier step of the script leaves it: created,
// holding the ownership marker.
class Installation : public testing::Test {
protected:
    void SetUp() override {
        remove_tree(kProductFolder);
        write_file(std::wstring(kDestination) + L"\\zelkora-client.json", "{}");
    }
    void TearDown() override { remove_tree(kProductFolder); }

    void prepare(const std::wstring& name, Executable executable, const std::string& scenario) {
        folder_ = L"C:\\zelkora-e2e\\installation-" + name;
        remove_tree(folder_);
        // Each executable keeps its own name: the variant never poses as the release.
        const std::wstring built = executable == Executable::release ? setup_exe_path()
                                                           : windows_path_from_env("ZELKORA_TEST_VARIANT_EXE");
        ASSERT_FALSE(built.empty());
        setup_path_ = folder_ + built.substr(built.rfind(L'\\'));
        make_folders(folder_);
        ASSERT_TRUE(::CopyFileW(built.c_str(), setup_path_.c_str(), TRUE)) << ::GetLastError();
        write_file(folder_ + L"\\Install-Client.ps1", "transcript transcript.txt\n" + scenario);
    }

    // Runs the setup as a user would: 설치 시작, accept, wait for the result
    // view, close it. Gives the transcript of the run.
    std::string run(const ResultView& view) {
        ::DeleteFileW(transcript_path().c_str());
        auto started = start_process(setup_path_, L"");
        if (!started) {
            ADD_FAILURE() << "the setup did not start: " << ::GetLastError();
            return {};
        }
        if (!act_as_user(started->id, view)) {
            ::TerminateProcess(started->process.get(), 99);
            return transcript();
        }
        EXPECT_EQ(wait_for_exit(*started, 15s), view.exit_code);
        return transcript();
    }

    bool act_as_user(DWORD process_id, const ResultView& view) {
        const HWND window = wait_for_window(process_id, kSetupClass, 15s);
        if (!window) {
            ADD_FAILURE() << "no setup window";
            return false;
        }
        press_button(window, 1);
        const HWND dialog = wait_for_window(process_id, kDialogClass, 10s);
        if (!dialog) {
            ADD_FAILURE() << "no install confirmation";
            return false;
        }
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        if (!wait_for_text(::GetDlgItem(window, 1), view.primary_text, 60s)) {
            ADD_FAILURE() << "not the expected result view; transcript:\n" << transcript();
            return false;
        }
        press_button(window, view.close_button);
        return true;
    }

    std::wstring bin() const { return folder_ + L"\\bin"; }
    std::wstring transcript_path() const { return folder_ + L"\\transcript.txt"; }
    std::string transcript() const { return read_file(transcript_path()).value_or(std::string()); }

    std::wstring folder_;
    std::wstring setup_path_;
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(Installation, TheReleaseRefusesAWineDestinationAndPlacesNothing) {
    prepare(L"release", Executable::release, kPlaceThePackage + kGivesUp);
    const TreeSnapshot before = snapshot_tree(kProductFolder);

    const std::string log = run(kFailedView);

    EXPECT_TRUE(has(log, "received payload-v1|error|payload_destination_unprotected\n")) << log;
    const TreeSnapshot after = snapshot_tree(kProductFolder);
    EXPECT_TRUE(after == before) << describe(after);
}

TEST_F(Installation, TheTestVariantPlacesThePackageAndARepairFindsItUnchanged) {
    prepare(L"test-variant", Executable::test_variant, kPlaceThePackage + kFinishes);

    std::string log = run(kCompletedView);
    EXPECT_TRUE(has(log, "received payload-v1|ok|3|0\n")) << log;
    // Byte for byte, the marker replaced by the package's own, and no
    // temporary or backup file left.
    const TreeSnapshot package = snapshot_tree(bin());
    ASSERT_EQ(package.size(), 4u) << describe(package);
    TreeSnapshot placed_tree = snapshot_tree(kDestination);
    EXPECT_TRUE(placed_tree == package) << describe(placed_tree);
    const auto placed = identities(kDestination, package);
    ASSERT_EQ(placed.size(), 3u);

    log = run(kCompletedView);
    EXPECT_TRUE(has(log, "received payload-v1|ok|0|3\n")) << log;
    placed_tree = snapshot_tree(kDestination);
    EXPECT_TRUE(placed_tree == package) << describe(placed_tree);
    EXPECT_EQ(identities(kDestination, package), placed) << "a repair replaced an unchanged file";
}

std::wstring environment(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

// The program a link file starts, as the shell reads it.
std::wstring link_target(const std::wstring& link_path) {
    const ComApartment apartment;
    ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) {
        return {};
    }
    const auto file = link.query<IPersistFile>(IID_IPersistFile);
    std::vector<wchar_t> path(32768, L'\0');
    if (!file || FAILED(file->Load(link_path.c_str(), STGM_READ)) ||
        FAILED(link->GetPath(path.data(), static_cast<int>(path.size()), nullptr, 0))) {
        return {};
    }
    return path.data();
}

std::string client_metadata(const std::string& version) {
    return "{\"product\": \"Zelkora\", \"version\": \"" + version + "\"}";
}

// A whole installation as the script drives it: place the package, make the
// desktop shortcut, remove an old machine-wide version and a per-user one,
// and ask for the bin folder to go (it is not in the temporary folder here).
class FullInstallation : public Installation {
protected:
    void SetUp() override {
        Installation::SetUp();
        desktop_link_ = zelkora::core::known_folder_path(FOLDERID_Desktop) + L"\\Zelkora.lnk";
        per_user_product_ = environment(L"LOCALAPPDATA") + L"\\Zelkora";
        ASSERT_FALSE(desktop_link_.starts_with(L"\\"));
        // Never a link into the Linux home (tests/wine/wine-env makes it a folder).
        const DWORD desktop = ::GetFileAttributesW(zelkora::core::known_folder_path(FOLDERID_Desktop).c_str());
        ASSERT_TRUE(desktop != INVALID_FILE_ATTRIBUTES && (desktop & FILE_ATTRIBUTE_REPARSE_POINT) == 0);
        ASSERT_FALSE(per_user_product_.starts_with(L"\\"));
        clean();
        for (const std::string version : {"0.9.0", "0.8.0"}) install(std::wstring(kProductFolder) + L"\\Client", version);
        install(per_user_product_ + L"\\Client", "0.7.0");
    }
    void TearDown() override {
        clean();
        Installation::TearDown();
    }

    static void install(const std::wstring& client_folder, const std::string& version) {
        const std::wstring folder = client_folder + L"\\" + std::wstring(version.begin(), version.end());
        write_file(folder + L"\\zelkora-client.json", client_metadata(version));
        write_file(folder + L"\\Zelkora.exe", "MZ " + version);
    }

    void clean() const {
        ::DeleteFileW(desktop_link_.c_str());
        remove_tree(per_user_product_);
    }

    std::wstring desktop_link_;
    std::wstring per_user_product_;
};

TEST_F(FullInstallation, PlacesLinksAndCleansUpAsARealInstallationWould) {
    prepare(L"full", Executable::test_variant,
            kPlaceThePackage +
                "request -6|shortcut-v1|client|1.0.0\n"
                "request -6|old-remove-v1|client|1.0.0|0.9.0\n"
                "request -6|legacy-remove-v1|client|1.0.0\n"
                "request -6|source-remove-v1|client\n" +
                kFinishes);

    const std::string log = run(kCompletedView);

    EXPECT_TRUE(has(log, "received payload-v1|ok|3|0\n"
                         "sent -6|shortcut-v1|client|1.0.0\n"
                         "received payload-v1|ok\n"
                         "sent -6|old-remove-v1|client|1.0.0|0.9.0\n"
                         "received payload-v1|ok|1|0\n"
                         "sent -6|legacy-remove-v1|client|1.0.0\n"
                         "received payload-v1|ok|1|0\n"
                         "sent -6|source-remove-v1|client\n"
                         "received payload-v1|error|source_not_temporary\n"))
        << log;
    // Program Files holds the new version and the previous one, nothing else.
    TreeSnapshot expected = {{L"Client", "<folder>"},
                             {L"Client\\0.9.0", "<folder>"},
                             {L"Client\\0.9.0\\Zelkora.exe", "MZ 0.9.0"},
                             {L"Client\\0.9.0\\zelkora-client.json", client_metadata("0.9.0")},
                             {L"Client\\1.0.0", "<folder>"}};
    for (const auto& [relative, bytes] : snapshot_tree(bin())) expected[L"Client\\1.0.0\\" + relative] = bytes;
    const TreeSnapshot product = snapshot_tree(kProductFolder);
    EXPECT_TRUE(product == expected) << describe(product);
    // The per-user layout is gone but for its empty folders.
    const TreeSnapshot per_user = snapshot_tree(per_user_product_);
    EXPECT_TRUE(per_user == (TreeSnapshot{{L"Client", "<folder>"}})) << describe(per_user);
    // One shortcut on the desktop, to the new version, and no temporary file beside it.
    EXPECT_TRUE(payload::paths_equal(link_target(desktop_link_), std::wstring(kDestination) + L"\\Zelkora.exe"))
        << link_target(desktop_link_);
    for (const auto& [relative, bytes] : snapshot_tree(zelkora::core::known_folder_path(FOLDERID_Desktop))) {
        EXPECT_EQ(relative.find(L".zelkora-"), std::wstring::npos) << relative;
    }
    EXPECT_EQ(snapshot_tree(bin()).size(), 4u) << "the bin folder outside the temporary folder stays";
}

}  // namespace
