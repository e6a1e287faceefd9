// The WinFsp backend on the Wine prefix: real MSI registrations made by
// Wine's own msiexec, a stand-in msiexec.exe in the system folder, stand-in
// WinFsp libraries under a registered install directory.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "backends/winfsp/machine_win32.h"
#include "core/owners_win32.h"
#include "test_support.h"

namespace {

using namespace zelkora;
using namespace zelkora::winfsp;
using namespace std::chrono_literals;

const wchar_t* const kInstallDirKey = L"SOFTWARE\\WOW6432Node\\WinFsp";

std::wstring built_file(const wchar_t* name) {
    return test::windows_path_from_env("ZELKORA_BACKEND_TEST_FILES") + L"\\" + name;
}

std::wstring system_file(const wchar_t* name) {
    wchar_t folder[MAX_PATH]{};
    ::GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + name;
}

std::string read_all(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_all(const std::wstring& path, const std::string& bytes) {
    std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::trunc) << bytes;
}

bool exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string utf8(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Runs Wine's own msiexec (no override in our environment) and waits.
DWORD wine_msiexec(const std::wstring& arguments) {
    const auto process = test::start_process(system_file(L"msiexec.exe"), arguments);
    if (!process) return kInstallerNotStarted;
    return test::wait_for_exit(*process, 120s).value_or(kInstallerNotStarted);
}

void set_install_dir(const std::wstring& folder) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kInstallDirKey, L"InstallDir", REG_SZ, folder.c_str(),
                                static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

void forget_install_dir() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kInstallDirKey); }

// The library stand-in `dll` as the registered WinFsp's bin\winfsp-x64.dll.
class RegisteredLibrary {
public:
    explicit RegisteredLibrary(const wchar_t* dll, bool trailing_backslash = false) {
        ::CreateDirectoryW(kFolder, nullptr);
        ::CreateDirectoryW((std::wstring(kFolder) + L"\\bin").c_str(), nullptr);
        EXPECT_TRUE(::CopyFileW(built_file(dll).c_str(), library().c_str(), FALSE));
        set_install_dir(std::wstring(kFolder) + (trailing_backslash ? L"\\" : L""));
    }
    ~RegisteredLibrary() {
        forget_install_dir();
        ::DeleteFileW(library().c_str());
    }
    static std::wstring library() { return std::wstring(kFolder) + L"\\bin\\winfsp-x64.dll"; }

private:
    static constexpr const wchar_t* kFolder = L"C:\\Program Files (x86)\\WinFsp-stand-in";
};

// Test products carry WinFsp's upgrade code; each test removes what it installed.
class WinFspInstalledVersion : public testing::Test {
protected:
    void install(const wchar_t* msi, const wchar_t* product_code) {
        ASSERT_EQ(wine_msiexec(L"/i \"" + built_file(msi) + L"\" /qn"), 0u) << "installing " << msi;
        installed_.push_back(product_code);
    }
    void TearDown() override {
        for (const auto& code : installed_) EXPECT_EQ(wine_msiexec(L"/x " + code + L" /qn"), 0u);
        forget_install_dir();
    }

    std::vector<std::wstring> installed_;
};

const wchar_t* const kProduct2_0 = L"{7A1C0000-0000-4000-8000-000000020000}";
const wchar_t* const kProduct2_1 = L"{7A1C0000-0000-4000-8000-000000020100}";
const wchar_t* const kProductFourth = L"{7A1C0000-0000-4000-8000-000000020005}";

TEST_F(WinFspInstalledVersion, NothingRegisteredAndNoLibraryIsNotFound) {
    const InstalledVersion installed = Machine().installed_version();
    EXPECT_FALSE(installed.found);
    EXPECT_FALSE(installed.version.valid);
}

TEST_F(WinFspInstalledVersion, FindsTheRegisteredVersionString) {
    install(L"winfsp-2.0.23075.msi", kProduct2_0);
    const InstalledVersion installed = Machine().installed_version();
    EXPECT_TRUE(installed.found);
    ASSERT_TRUE(installed.version.valid);
    EXPECT_EQ(installed.version.major, 2u);
    EXPECT_EQ(installed.version.minor, 0u);
    EXPECT_EQ(installed.version.build, 23075u);
}

TEST_F(WinFspInstalledVersion, KeepsTheHigherOfTwoProducts) {
    install(L"winfsp-2.1.24255.msi", kProduct2_1);
    install(L"winfsp-2.0.23075.msi", kProduct2_0);
    const InstalledVersion installed = Machine().installed_version();
    ASSERT_TRUE(installed.version.valid);
    EXPECT_EQ(installed.version.major, 2u);
    EXPECT_EQ(installed.version.minor, 1u);
    EXPECT_EQ(installed.version.build, 24255u);
}

TEST_F(WinFspInstalledVersion, SkipsANonZeroFourthComponentButStillCountsTheProduct) {
    install(L"winfsp-2.0.23075.5.msi", kProductFourth);
    // A library is registered too: a found product must not fall back to it.
    RegisteredLibrary library(L"winfsp-library.dll");
    const InstalledVersion installed = Machine().installed_version();
    EXPECT_TRUE(installed.found);
    EXPECT_FALSE(installed.version.valid);
}

TEST_F(WinFspInstalledVersion, FallsBackToTheLibraryFileVersion) {
    for (const bool trailing_backslash : {false, true}) {
        RegisteredLibrary library(L"winfsp-library.dll", trailing_backslash);
        const InstalledVersion installed = Machine().installed_version();
        EXPECT_TRUE(installed.found) << trailing_backslash;
        ASSERT_TRUE(installed.version.valid) << trailing_backslash;
        EXPECT_EQ(installed.version.major, 2u);
        EXPECT_EQ(installed.version.minor, 1u);
        EXPECT_EQ(installed.version.build, 24255u);
    }
}

TEST_F(WinFspInstalledVersion, RegisteredFolderWithoutTheLibraryIsNotFound) {
    set_install_dir(L"C:\\Program Files (x86)\\WinFsp-nowhere");
    EXPECT_FALSE(Machine().installed_version().found);
}

// A value that is not an absolute path on a drive would be looked up from the
// current folder or drive: it names no library, even when one is there.
TEST_F(WinFspInstalledVersion, ARelativeInstallDirectoryNamesNoLibrary) {
    const std::wstring folder = L"C:\\zelkora-relative";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::CreateDirectoryW((folder + L"\\bin").c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(built_file(L"winfsp-library.dll").c_str(), (folder + L"\\bin\\winfsp-x64.dll").c_str(), FALSE));
    wchar_t previous[MAX_PATH]{};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.c_str()));
    for (const wchar_t* value : {L".", L"\\zelkora-relative", L"C:."}) {
        set_install_dir(value);
        EXPECT_FALSE(Machine().installed_version().found) << utf8(value);
        EXPECT_EQ(Machine().load_check(), kDllMissing) << utf8(value);
    }
    ::SetCurrentDirectoryW(previous);
    ::DeleteFileW((folder + L"\\bin\\winfsp-x64.dll").c_str());
}

// A package of a pinned size and digest we can make; the signature step is
// the seam, and it records whether it was reached.
class WinFspVerifyPackage : public testing::Test {
protected:
    static constexpr std::uint64_t kSize = 4096;
    // SHA-256 of 4096 bytes of 'w'.
    static constexpr std::string_view kDigest = "7b962f03e77f96fa63cc31c4a1b7f1f6e0e977abb65a19e51d93fe5b74907213";

    void SetUp() override { write_all(package_, std::string(kSize, 'w')); }
    void TearDown() override { ::DeleteFileW(package_.c_str()); }

    Machine machine(bool signature_answer) {
        MachineSeams seams;
        seams.package_size = kSize;
        seams.package_digest = digest_;
        seams.signature_check = [this, signature_answer](const std::wstring& path) {
            signature_calls_.push_back(path);
            return signature_answer;
        };
        return Machine(seams);
    }

    const std::wstring package_ = L"C:\\users\\Public\\winfsp-package.msi";
    std::string digest_ = std::string(kDigest);
    std::vector<std::wstring> signature_calls_;
};

TEST_F(WinFspVerifyPackage, PinnedPackageReachesTheSignatureCheckAndTakesItsAnswer) {
    EXPECT_TRUE(machine(true).verify_package(package_));
    EXPECT_FALSE(machine(false).verify_package(package_));
    EXPECT_EQ(signature_calls_, (std::vector<std::wstring>{package_, package_}));
}

TEST_F(WinFspVerifyPackage, WrongSizeOrOneChangedByteNeverReachesTheSignatureCheck) {
    write_all(package_, std::string(kSize + 1, 'w'));
    EXPECT_FALSE(machine(true).verify_package(package_));
    std::string changed(kSize, 'w');
    changed[kSize / 2] = 'x';
    write_all(package_, changed);
    EXPECT_FALSE(machine(true).verify_package(package_));
    EXPECT_TRUE(signature_calls_.empty());
}

TEST_F(WinFspVerifyPackage, MissingFileOrFolderIsFalse) {
    EXPECT_FALSE(machine(true).verify_package(L"C:\\users\\Public\\no-such-package.msi"));
    EXPECT_FALSE(machine(true).verify_package(L"C:\\users\\Public"));
    EXPECT_TRUE(signature_calls_.empty());
}

TEST_F(WinFspVerifyPackage, RealPinRefusesThisFileAndWinVerifyTrustRefusesUnsignedFiles) {
    EXPECT_FALSE(Machine().verify_package(package_));
    EXPECT_FALSE(authenticode_valid(package_));
}

// Puts the stand-in msiexec in place of the system folder's msiexec.exe, with
// the override that makes Wine run it instead of its builtin, and puts the
// builtin back when it goes, so a case that fails leaves nothing behind. The
// suite runs in a prefix of its own besides, so that even a crash cannot
// leave the stand-in to other groups.
class StandInMsiexec {
public:
    StandInMsiexec() {
        ::CreateDirectoryW(kFolder, nullptr);
        // Saved once: after a crash the system folder may hold the stand-in.
        if (!exists(saved_builtin())) ::CopyFileW(system_file(L"msiexec.exe").c_str(), saved_builtin().c_str(), TRUE);
        const wchar_t native[] = L"native";
        ready_ = exists(saved_builtin()) &&
                 ::CopyFileW(built_file(L"msiexec.exe").c_str(), system_file(L"msiexec.exe").c_str(), FALSE) &&
                 ::RegSetKeyValueW(HKEY_CURRENT_USER, kOverrides, L"msiexec.exe", REG_SZ, native, sizeof(native)) ==
                     ERROR_SUCCESS;
    }
    ~StandInMsiexec() {
        UniqueRegistryKey overrides;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kOverrides, 0, KEY_SET_VALUE, overrides.put()) == ERROR_SUCCESS) {
            ::RegDeleteValueW(overrides.get(), L"msiexec.exe");
        }
        ::CopyFileW(saved_builtin().c_str(), system_file(L"msiexec.exe").c_str(), FALSE);
    }
    StandInMsiexec(const StandInMsiexec&) = delete;
    StandInMsiexec& operator=(const StandInMsiexec&) = delete;

    bool ready() const { return ready_; }
    static constexpr const wchar_t* kFolder = L"C:\\zelkora-msiexec";

private:
    static std::wstring saved_builtin() { return std::wstring(kFolder) + L"\\builtin-msiexec.exe"; }
    static constexpr const wchar_t* kOverrides = L"Software\\Wine\\DllOverrides";
    bool ready_ = false;
};

// An environment variable set for a scope (GetTempPathW reads TMP each time).
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
        wchar_t old[32767];
        const DWORD length = ::GetEnvironmentVariableW(name, old, 32767);
        if (length > 0 && length < 32767) old_ = std::wstring(old, length);
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { ::SetEnvironmentVariableW(name_, old_ ? old_->c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
    std::optional<std::wstring> old_;
};

// The package the installer runs is verified against a pin this file can
// carry (as in WinFspVerifyPackage); the signature step is the seam.
class WinFspRunInstaller : public testing::Test {
protected:
    static constexpr std::uint64_t kSize = 4096;
    static constexpr std::string_view kDigest = "7b962f03e77f96fa63cc31c4a1b7f1f6e0e977abb65a19e51d93fe5b74907213";

    void SetUp() override {
        ASSERT_TRUE(msiexec_.ready());
        ::DeleteFileW(calls().c_str());
        ::DeleteFileW(package_probes().c_str());
        ::DeleteFileW(log_path().c_str());
        ::CreateDirectoryW(L"C:\\kit", nullptr);
        write_all(kPackage, std::string(kSize, 'w'));
    }
    void TearDown() override { ::DeleteFileW(kPackage); }

    static std::wstring calls() { return std::wstring(StandInMsiexec::kFolder) + L"\\calls"; }
    static std::wstring package_probes() { return std::wstring(StandInMsiexec::kFolder) + L"\\package"; }
    static std::wstring log_path() {
        wchar_t folder[MAX_PATH]{};
        ::GetTempPathW(MAX_PATH, folder);
        return std::wstring(folder) + L"Zelkora-winfsp-install.log";
    }

    MachineSeams seams() {
        MachineSeams seams;
        seams.package_size = kSize;
        seams.package_digest = kDigest;
        seams.signature_check = [](const std::wstring&) { return true; };
        seams.pause = [this](DWORD milliseconds) { pauses_.push_back(milliseconds); };
        return seams;
    }
    std::uint32_t run(const std::string& answers, MachineSeams with = {}, const wchar_t* package = kPackage) {
        write_all(std::wstring(StandInMsiexec::kFolder) + L"\\answers", answers);
        MachineSeams used = seams();
        if (with.signature_check) used.signature_check = with.signature_check;
        used.installer_ended = with.installer_ended;
        return Machine(used).run_installer(package);
    }
    static std::vector<std::string> lines_of(const std::wstring& path) {
        std::vector<std::string> lines;
        std::istringstream in(read_all(path));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    static constexpr const wchar_t* kPackage = L"C:\\kit\\winfsp 2.1.msi";
    StandInMsiexec msiexec_;
    std::vector<DWORD> pauses_;
};

TEST_F(WinFspRunInstaller, StartsMsiexecWithTheExactCommandLineAndDeletesTheLogOnSuccess) {
    EXPECT_EQ(run("0\n"), 0u);
    const std::string expected = "\"" + utf8(system_file(L"msiexec.exe")) +
                                 "\" /i \"C:\\kit\\winfsp 2.1.msi\" /qn /norestart REBOOT=ReallySuppress /l*v \"" +
                                 utf8(log_path()) + "\"";
    EXPECT_EQ(lines_of(calls()), std::vector<std::string>{expected});
    EXPECT_FALSE(exists(log_path()));
    EXPECT_TRUE(pauses_.empty());
}

TEST_F(WinFspRunInstaller, RebootRequiredIsReturnedAsIsAndTheLogDeleted) {
    EXPECT_EQ(run("3010\n"), 3010u);
    EXPECT_EQ(lines_of(calls()).size(), 1u);
    EXPECT_FALSE(exists(log_path()));
}

TEST_F(WinFspRunInstaller, ThreeAnswersOfAnotherInstallationRunningGiveUpAfterTwoPauses) {
    EXPECT_EQ(run("1618\n1618\n1618\n0\n"), 1618u);
    EXPECT_EQ(lines_of(calls()).size(), 3u);
    EXPECT_EQ(pauses_, (std::vector<DWORD>{5000, 5000}));
    EXPECT_TRUE(exists(log_path()));
}

TEST_F(WinFspRunInstaller, AnotherInstallationThatEndsIsRetriedToSuccess) {
    EXPECT_EQ(run("1618\n3010\n"), 3010u);
    EXPECT_EQ(lines_of(calls()).size(), 2u);
    EXPECT_EQ(pauses_, std::vector<DWORD>{5000});
    EXPECT_FALSE(exists(log_path()));
}

TEST_F(WinFspRunInstaller, AFailureIsReturnedAtOnceAndTheLogKept) {
    EXPECT_EQ(run("1603\n0\n"), 1603u);
    EXPECT_EQ(lines_of(calls()).size(), 1u);
    EXPECT_TRUE(pauses_.empty());
    EXPECT_TRUE(exists(log_path()));
    // An earlier run's log is a plain file: the next run may write over it.
    EXPECT_EQ(run("0\n"), 0u);
    EXPECT_FALSE(exists(log_path()));
}

// From the start of its verification until the last msiexec run has ended,
// the package can be read but neither changed nor moved; afterwards it can.
TEST_F(WinFspRunInstaller, ThePackageIsHeldFromItsVerificationUntilMsiexecHasEnded) {
    MachineSeams with;
    bool changeable_while_verified = true;
    with.signature_check = [&](const std::wstring& package) {
        const UniqueFile write(::CreateFileW(package.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
        changeable_while_verified = static_cast<bool>(write) || ::MoveFileW(package.c_str(), L"C:\\kit\\moved.msi");
        return true;
    };
    EXPECT_EQ(run("1618\n0\n", with), 0u);
    EXPECT_FALSE(changeable_while_verified);
    EXPECT_EQ(lines_of(package_probes()), (std::vector<std::string>{"read=1 change=0", "read=1 change=0"}));
    const UniqueFile write(::CreateFileW(kPackage, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(write);
}

TEST_F(WinFspRunInstaller, APackageThatFailsVerificationStartsNothing) {
    std::string changed(kSize, 'w');
    changed[7] = 'x';
    write_all(kPackage, changed);
    EXPECT_EQ(run("0\n"), kInstallerNotStarted);
    MachineSeams unsigned_package;
    unsigned_package.signature_check = [](const std::wstring&) { return false; };
    write_all(kPackage, std::string(kSize, 'w'));
    EXPECT_EQ(run("0\n", unsigned_package), kInstallerNotStarted);
    EXPECT_FALSE(exists(calls()));
}

// A double quote or a control character would end the quoting of a path on
// msiexec's command line and add options; TMP is the user's to set.
TEST_F(WinFspRunInstaller, PathsThatWouldEndTheirQuotingStartNothing) {
    for (const std::wstring temporary :
         {std::wstring(L"C:\\zelkora-msiexec\" /quiet TRANSFORMS=\"C:\\x"), std::wstring(L"C:\\zelkora-msiexec\n")}) {
        const ScopedVariable tmp(L"TMP", temporary);
        EXPECT_EQ(run("0\n"), kInstallerNotStarted);
    }
    EXPECT_EQ(run("0\n", {}, L"C:\\kit\\winfsp.msi\" TRANSFORMS=\"C:\\kit\\winfsp 2.1.msi"), kInstallerNotStarted);
    EXPECT_FALSE(exists(calls()));
}

struct LogNameCase {
    const char* name;
    const wchar_t* temporary;  // TMP
    std::function<void(const std::wstring& log)> plant;
    friend void PrintTo(const LogNameCase& value, std::ostream* out) { *out << value.name; }
};

class WinFspRunInstallerLog : public WinFspRunInstaller, public testing::WithParamInterface<LogNameCase> {};

// What msiexec would write its log through (elevated) must not be a link or
// a folder: a link could make it write over another file.
TEST_P(WinFspRunInstallerLog, AnythingButAPlainFileAtTheLogsNameStartsNothing) {
    const ScopedVariable tmp(L"TMP", GetParam().temporary);
    const std::wstring log = std::wstring(GetParam().temporary) + L"\\Zelkora-winfsp-install.log";
    const std::wstring victim = std::wstring(StandInMsiexec::kFolder) + L"\\victim.txt";
    write_all(victim, "not a log");
    const auto linked_data = read_all(L"C:\\zelkora-links\\real\\file.txt");
    if (GetParam().plant) GetParam().plant(log);
    EXPECT_EQ(run("0\n"), kInstallerNotStarted);
    EXPECT_FALSE(exists(calls()));
    EXPECT_EQ(read_all(victim), "not a log");
    EXPECT_EQ(read_all(L"C:\\zelkora-links\\real\\file.txt"), linked_data);
    if (GetParam().plant) {  // the link fixtures stay for the next run
        ::RemoveDirectoryW(log.c_str());
        ::DeleteFileW(log.c_str());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WinFspRunInstallerLog,
    testing::Values(
        LogNameCase{"folder", L"C:\\zelkora-msiexec",
                    [](const std::wstring& log) { ASSERT_TRUE(::CreateDirectoryW(log.c_str(), nullptr)); }},
        LogNameCase{"hard_link", L"C:\\zelkora-msiexec",
                    [](const std::wstring& log) {
                        ASSERT_TRUE(::CreateHardLinkW(log.c_str(), L"C:\\zelkora-msiexec\\victim.txt", nullptr));
                    }},
        // Made by tests/wine/make-link-fixtures: a Unix link to real\file.txt.
        LogNameCase{"link", L"C:\\zelkora-links\\winfsp-temp", {}},
        LogNameCase{"temporary_folder_is_a_link", L"C:\\zelkora-links\\folder-link", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Between msiexec's end and the log's deletion, the temporary folder cannot
// be moved aside (and another folder with another file of the log's name put
// in its place): it is held from before the first run.
TEST_F(WinFspRunInstaller, TheTemporaryFolderIsHeldUntilTheLogIsDeleted) {
    const std::wstring temporary = std::wstring(StandInMsiexec::kFolder) + L"\\temp";
    ::CreateDirectoryW(temporary.c_str(), nullptr);
    const ScopedVariable tmp(L"TMP", temporary);
    MachineSeams with;
    bool moved = false;
    with.installer_ended = [&] {
        moved = ::MoveFileW(temporary.c_str(), (temporary + L"-moved").c_str());
        if (!moved) return;
        ::CreateDirectoryW(temporary.c_str(), nullptr);
        write_all(temporary + L"\\Zelkora-winfsp-install.log", "someone else's file");
    };
    EXPECT_EQ(run("0\n", with), 0u);
    EXPECT_FALSE(moved);
    EXPECT_FALSE(exists(temporary + L"\\Zelkora-winfsp-install.log"));
    ::RemoveDirectoryW(temporary.c_str());
}

struct LoadCase {
    const char* name;
    const wchar_t* dll;  // null: nothing registered
    std::string_view code;
};

class WinFspLoadCheck : public testing::TestWithParam<LoadCase> {};

TEST_P(WinFspLoadCheck, NamesWhatIsMissing) {
    forget_install_dir();
    if (GetParam().dll == nullptr) {
        EXPECT_EQ(Machine().load_check(), GetParam().code);
        return;
    }
    RegisteredLibrary library(GetParam().dll);
    EXPECT_EQ(Machine().load_check(), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Cases, WinFspLoadCheck,
                         testing::Values(LoadCase{"answers", L"winfsp-library.dll", ""},
                                         LoadCase{"driver_version_zero", L"winfsp-library-no-driver.dll",
                                                  kDriverMissing},
                                         LoadCase{"export_missing", L"winfsp-library-missing-export.dll",
                                                  kLoadFailed},
                                         LoadCase{"not_registered", nullptr, kDllMissing}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WinFspLoadCheckFile, NotALibraryFailsToLoad) {
    RegisteredLibrary library(L"winfsp-library.dll");
    write_all(RegisteredLibrary::library(), "not a library");
    EXPECT_EQ(Machine().load_check(), kLoadFailed);
}

TEST(WinFspRecord, WritesInstalledByHostAndTheVersion) {
    const wchar_t* const key = L"SOFTWARE\\Zelkora\\Host\\WinFsp";
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key);
    Machine().record_installation("2.1.24255");
    DWORD installed = 0;
    DWORD size = sizeof(installed);
    EXPECT_EQ(::RegGetValueW(HKEY_LOCAL_MACHINE, key, L"InstalledByHost", RRF_RT_REG_DWORD, nullptr, &installed,
                             &size),
              ERROR_SUCCESS);
    EXPECT_EQ(installed, 1u);
    wchar_t version[64]{};
    size = sizeof(version);
    EXPECT_EQ(::RegGetValueW(HKEY_LOCAL_MACHINE, key, L"Version", RRF_RT_REG_SZ, nullptr, version, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(version, L"2.1.24255");
    EXPECT_EQ(size, sizeof(L"2.1.24255"));
    // Not UTF-8: recorded as an empty version rather than garbled.
    Machine().record_installation("2.1\xff");
    size = sizeof(version);
    EXPECT_EQ(::RegGetValueW(HKEY_LOCAL_MACHINE, key, L"Version", RRF_RT_REG_SZ, nullptr, version, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(version, L"");
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key);
}

}  // namespace
