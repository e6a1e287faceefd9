#pragma once
// Removal of older Client versions (the per-user legacy layout and older
// machine-wide versions) and of the setup's bin folder once it is no longer
// needed. Nothing is followed through a link, only proven version folders
// are touched, and a folder is first moved aside under a leftover name that a
// later removal recognises, then deleted.

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "payload/request_protocol.h"
#include "payload/trust_checks.h"

namespace zelkora::payload {

inline constexpr int kMaxDeleteDepth = 64;
inline constexpr std::size_t kMaxFolderEntries = 100000;
inline constexpr std::size_t kListBufferSize = 65536;

struct FolderEntry {
    std::wstring name;
    DWORD attributes = 0;
};

// Every entry but "." and ".." of a folder opened with FILE_LIST_DIRECTORY.
// Raises "legacy_list_failed".
[[nodiscard]] std::vector<FolderEntry> list_folder(HANDLE folder);

// Deletes path (in "\\?\" form) and everything below it, never following a
// link: a link is deleted itself. False when anything is left.
[[nodiscard]] bool delete_tree(const std::wstring& path, int depth = 0) noexcept;

// The new install must be a real folder at its own path with matching
// metadata and Zelkora.exe, in a protected location. Raises
// "legacy_new_install_unverified" or "payload_destination_unprotected".
void verify_new_install(const std::wstring& folder, const std::string& version, const TrustedOwners& owners);

// Removes the version folders below {root}\Zelkora\Client that are not kept,
// and finishes leftovers; counts into result.
void remove_client_versions(const std::wstring& root, const std::vector<std::string>& keep, RemovalResult& result);

// Legacy and old-version removal. Never raises.
[[nodiscard]] RemovalResult remove_versions(const RemovalRequest& request, const TrustedOwners& owners);

// Deletes the setup bin folder when it lies inside the temporary folder;
// empty on success. Never raises.
[[nodiscard]] std::string remove_source(const std::u16string& setup_bin);

}  // namespace zelkora::payload
