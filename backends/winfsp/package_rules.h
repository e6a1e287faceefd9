#pragma once
// The rules of the WinFsp backend that need no machine: the VersionString
// parse, the pinned digest, the msiexec command line and the library path
// below the install directory. Portable: no <windows.h>.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelkora::winfsp {

struct VersionRecord {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    bool valid = false;
};

inline constexpr std::u16string_view kUpgradeCode = u"{5466A3D8-3AA1-4240-B6A0-3A051940A3EC}";
inline constexpr std::u16string_view kVersionProperty = u"VersionString";
inline constexpr std::uint64_t kPackageSize = 2191360;
inline constexpr std::string_view kPackageDigest = "073a70e00f77423e34bed98b86e600def93393ba5822204fac57a29324db9f7a";
inline constexpr std::u16string_view kLibraryBelowInstallDir = u"bin\\winfsp-x64.dll";
inline constexpr std::u16string_view kLogFileName = u"Zelkora-winfsp-install.log";

// Decimal components between single dots, each at most 4294967295, three or
// four of them, a fourth one 0. Anything else is nothing.
std::optional<VersionRecord> parse_version_string(std::string_view text);

// True when candidate should replace kept: kept is not valid yet, or
// (major, minor, build) of candidate is greater.
bool replaces(const VersionRecord& candidate, const VersionRecord& kept);

using Digest = std::array<std::uint8_t, 32>;
// 64 characters 0-9 and a-f (lower case only) to 32 bytes.
std::optional<Digest> decode_digest(std::string_view hex);

// "<msiexec>" /i "<package>" /qn /norestart REBOOT=ReallySuppress /l*v "<log>".
// Nothing when a path holds a double quote or a control character, which
// would end its quoting and add options of the caller's choosing.
std::optional<std::u16string> msiexec_command_line(std::u16string_view msiexec, std::u16string_view package,
                                                   std::u16string_view log);

// install_dir + "\" (unless it ends in one) + "bin\winfsp-x64.dll". Only an
// absolute path on a drive ("X:\...") names a library: an empty, relative,
// drive-relative or network value names none.
std::u16string library_path(std::u16string_view install_dir);

}  // namespace zelkora::winfsp
