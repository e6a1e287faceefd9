#pragma once
// The WinFsp backend on the local machine: Windows Installer (msi.dll from
// System32, by ordinal), msiexec, WinVerifyTrust and the registry.

#include <windows.h>

#include <functional>
#include <string>

#include "backends/winfsp/backend.h"
#include "core/owners_win32.h"

namespace zelkora::winfsp {

// What tests may change: the package pin (no file here can carry the real
// digest), the signature check and the pause between installer attempts; and
// a look at the moment each msiexec run has ended, before its answer is used.
struct MachineSeams {
    std::uint64_t package_size = kPackageSize;
    std::string_view package_digest = kPackageDigest;
    std::function<bool(const std::wstring& package)> signature_check;  // empty: WinVerifyTrust
    std::function<void(DWORD milliseconds)> pause;                     // empty: Sleep
    std::function<void()> installer_ended;                             // empty: nothing
};

class Machine final : public Backend {
public:
    Machine() = default;
    explicit Machine(MachineSeams seams) : seams_(std::move(seams)) {}

    [[nodiscard]] InstalledVersion installed_version() const override;
    [[nodiscard]] bool verify_package(const std::wstring& package) const override;
    [[nodiscard]] std::uint32_t run_installer(const std::wstring& package) const override;
    [[nodiscard]] std::string load_check() const override;
    void record_installation(const std::string& version) const override;

private:
    // The package open for reading, with no write or delete sharing, once it
    // has passed every check; invalid otherwise.
    UniqueFile hold_verified_package(const std::wstring& package) const;
    bool signature_valid(const std::wstring& package) const;
    void pause(DWORD milliseconds) const;

    MachineSeams seams_;
};

// The process's one instance, as the product runs it.
const Machine& machine();

// Registered install directory + "bin\winfsp-x64.dll", when that file exists.
std::wstring registered_library_path();
// Authenticode check of the file by path; the verification state is closed again.
bool authenticode_valid(const std::wstring& path);

inline constexpr DWORD kInstallerTimeoutMs = 600000;
inline constexpr DWORD kAlreadyRunningPauseMs = 5000;
inline constexpr int kInstallerAttempts = 3;

}  // namespace zelkora::winfsp
