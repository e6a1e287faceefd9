#pragma once
// Where an installed Client or Host lives, how its version folder proves what
// it holds, and which program to start for a version. Every answer is read
// from the file system at the moment it is asked; a failed check is a
// negative answer, never an error.

#include <optional>
#include <string>
#include <string_view>

#include "core/trust_rules_win32.h"

namespace zelkora::state {

enum class Product { client, host };

// The version resource of exe against a well-formed version: major, minor and
// patch must match; with strict also the fourth part must be 0.
bool file_version_equals(const std::wstring& exe, std::string_view version, bool strict);

// A plain file of at most 4096 bytes whose "product" and "version" members
// match.
bool metadata_file_matches(const std::wstring& path, std::string_view product_word, std::string_view version);

// The newest version folder under {root}\Zelkora\{Client|Host} that holds
// matching metadata; of two equal versions the one enumerated first.
std::optional<std::string> highest_installed_version(const std::wstring& root, Product product);

// Whether the newest Client under root is newer than own_version (or
// own_version is not well-formed). An equal version is not newer.
bool installed_client_newer_than(const std::wstring& root, std::string_view own_version);
// The same for program files and this setup's version.
bool installed_client_newer_than_setup();

struct LaunchTarget {
    std::wstring program;
    std::wstring working_folder;
    std::wstring arguments;
    bool host_settings = false;
};

// The program to start for an installed version of the product under the
// given roots: a Client under program files only when every folder on the
// way passes the protected-location test, else under the per-user root.
std::optional<LaunchTarget> resolve_launch_target_under(Product product, std::string_view version,
                                                        const std::wstring& program_files,
                                                        const std::wstring& per_user,
                                                        const core::TrustData& trust);
// The same under program files and local application data.
std::optional<LaunchTarget> resolve_launch_target(Product product, std::string_view version,
                                                  const core::TrustData& trust);

}  // namespace zelkora::state
