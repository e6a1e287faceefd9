#pragma once
// The pipe name and the PowerShell argument text of an installer run.
// Portable: no <windows.h>.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelkora::core {

inline constexpr std::u16string_view kInstallerScriptName = u"Install-Client.ps1";
inline constexpr std::u16string_view kPipeNamePrefix = u"ZelkoraHostSetup-";
inline constexpr std::u16string_view kPipePathPrefix = u"\\\\.\\pipe\\";

// The 16 bytes of a GUID in memory order, two lower-case digits each.
std::u16string pipe_name_from_guid_bytes(const std::array<std::uint8_t, 16>& bytes);

struct HostOptions {
    bool native_display = false;
    bool unattended = false;
};

struct InstallerCommand {
    std::u16string script_path;
    std::u16string pipe_name;
    bool launch = true;         // false in a seamless update: the updater restarts the product
    bool host = false;          // the Host form; this setup always builds the Client form
    HostOptions host_options;
    bool recover_only = false;  // Host recovery form: no "-Launch", "-RecoverOnly" instead
};

std::u16string installer_arguments(const InstallerCommand& command);

}  // namespace zelkora::core
