#pragma once
// Removal of older Client versions (the per-user legacy layout and older
// machine-wide versions) and of the setup's bin folder once it is no longer
// needed. Nothing is followed through a link, only proven version folders
// are touched, and a folder is first moved aside under a leftover name that a
// later removal recognises, then deleted.

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "payload/request_protocol.h"
#include "payload/trust_checks_win32.h"

namespace zelkora::payload {

inline constexpr int kMaxDeleteDepth = 64;
inline constexpr std::size_t kMaxFolderEntries = 100000;
inline constexpr std::size_t kListBufferSize = 65536;

// Memory: a folder is read one listing buffer at a time and each entry is
// handled before the next buffer is read, so deleting a tree holds one 64 KiB
// buffer and one path (at most 32,767 units) per open level: at most 65 x
// 128 KiB, about 8.1 MiB, whatever the tree holds. Of the client folder only
// the names that may be removed (versions and leftovers, at most 45 units)
// are kept while it is worked through: at most 100,000 of them, under 16 MB.

// Failure injection for tests; the product leaves them as they are.
struct RemovalHooks {
    // Replaces the drawn random tag; may raise as the real one does.
    std::function<std::wstring()> random_tag;
    // Replaces GetFileInformationByHandleEx for every folder listing.
    std::function<BOOL(HANDLE folder, FILE_INFO_BY_HANDLE_CLASS batch, void* buffer, DWORD size)> list_batch;
    // Bytes of each listing buffer.
    std::size_t list_buffer_size = kListBufferSize;
};

struct FolderEntry {
    std::wstring name;
    DWORD attributes = 0;
};

// Calls visit for every entry but "." and ".." of a folder opened with
// FILE_LIST_DIRECTORY, one listing buffer at a time; a buffer is checked
// whole before any of its entries is visited. False when visit stops early.
// Raises "legacy_list_failed" for a listing error, a buffer whose offsets or
// name lengths point outside it, or more than kMaxFolderEntries entries.
bool visit_folder(HANDLE folder, const RemovalHooks& hooks, const std::function<bool(const FolderEntry&)>& visit);

// Deletes path (in "\\?\" form) and everything below it, never following a
// link: a link is deleted itself. False when anything is left.
[[nodiscard]] bool delete_tree(const std::wstring& path, const RemovalHooks& hooks = {}, int depth = 0) noexcept;

// The new install must be a real folder at its own path with matching
// metadata and Zelkora.exe, in a protected location. Raises
// "legacy_new_install_unverified" or "payload_destination_unprotected".
void verify_new_install(const std::wstring& folder, const std::string& version, const TrustedOwners& owners);

// Removes the version folders below {root}\Zelkora\Client that are not kept,
// and finishes leftovers; counts into result.
void remove_client_versions(const std::wstring& root, const std::vector<std::string>& keep, RemovalResult& result,
                            const RemovalHooks& hooks = {});

// Legacy and old-version removal. Never raises.
[[nodiscard]] RemovalResult remove_versions(const RemovalRequest& request, const TrustedOwners& owners,
                                            const RemovalHooks& hooks = {});

// Deletes the setup bin folder when it lies inside the temporary folder;
// empty on success. Never raises.
[[nodiscard]] std::string remove_source(const std::u16string& setup_bin);

}  // namespace zelkora::payload
