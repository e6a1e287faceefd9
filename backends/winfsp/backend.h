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

// msiexec could not be found or started.
inline constexpr std::uint32_t kInstallerNotStarted = 0xFFFFFFFF;

class Backend {
public:
    virtual ~Backend() = default;
    virtual InstalledVersion installed_version() const = 0;
    // True only for the pinned package with a valid Authenticode signature.
    virtual bool verify_package(const std::wstring& package) const = 0;
    // msiexec's exit code, 1460 after the time-out, or kInstallerNotStarted.
    virtual std::uint32_t run_installer(const std::wstring& package) const = 0;
    // Empty when the library loads and the driver answers.
    virtual std::string load_check() const = 0;
    virtual void record_installation(const std::string& version) const = 0;
};

}  // namespace zelkora::winfsp
