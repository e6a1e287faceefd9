#pragma once
// The WinFsp backend: finds the installed WinFsp, checks and installs its
// package, checks that its library and driver answer, and records that the
// Host installed it. Failures are results; nothing here raises.

#include <cstdint>
#include <string>
#include <string_view>

#include "backends/winfsp/package_rules.h"

namespace zelkora::winfsp {

struct InstalledVersion {
    bool found = false;
    VersionRecord version;
};

inline constexpr std::string_view kDllMissing = "winfsp_dll_missing";
inline constexpr std::string_view kLoadFailed = "winfsp_load_failed";
inline constexpr std::string_view kDriverMissing = "winfsp_driver_missing";

// msiexec was not started: it could not be found or started, the package
// failed verification, or a path or the log's name was refused.
inline constexpr std::uint32_t kInstallerNotStarted = 0xFFFFFFFF;

class Backend {
public:
    virtual ~Backend() = default;
    [[nodiscard]] virtual InstalledVersion installed_version() const = 0;
    // True only for the pinned package with a valid Authenticode signature,
    // a plain file at its own path (no link on the way to it).
    [[nodiscard]] virtual bool verify_package(const std::wstring& package) const = 0;
    // msiexec's exit code, 1460 after the time-out, or kInstallerNotStarted.
    //
    // The package msiexec runs is the package that was verified: this call
    // verifies it itself, as verify_package does, and holds it open with no
    // write or delete sharing from the start of that verification until the
    // last msiexec run has ended, so nobody can change, replace or move it
    // while msiexec opens it again by name. A package that fails verification
    // starts nothing. The temporary folder that holds the log is held the
    // same way, and the log's name must be free or hold a plain file with
    // no other name, or nothing starts.
    [[nodiscard]] virtual std::uint32_t run_installer(const std::wstring& package) const = 0;
    // Empty when the library loads and the driver answers.
    [[nodiscard]] virtual std::string load_check() const = 0;
    virtual void record_installation(const std::string& version) const = 0;
};

}  // namespace zelkora::winfsp
