#pragma once
// The rules that decide whether a folder, file or process can be trusted
// before the elevated setup writes into it, starts from it or waits on it.
// They only inspect security descriptors and process images; none changes
// anything, and none raises: the payload engine wraps them in its raising
// forms.

#include <windows.h>

#include <string>
#include <vector>

#include "core/file_paths_win32.h"

namespace zelkora::core {

// A set of principals as string SIDs. This is data, not configuration: the
// product passes product_trust() and nothing else.
class TrustedOwners {
public:
    explicit TrustedOwners(std::vector<std::wstring> string_sids) : string_sids_(std::move(string_sids)) {}

    // A SID that fails to convert matches nothing.
    bool contains(PSID sid) const;
    const std::vector<std::wstring>& string_sids() const noexcept { return string_sids_; }

private:
    std::vector<std::wstring> string_sids_;
};

// LocalSystem, Administrators, TrustedInstaller.
TrustedOwners product_trusted_owners();

// The string SID of the user this process runs as; empty (which matches
// nothing) when the token cannot be read.
[[nodiscard]] std::wstring current_user_sid();

// What makes the staging folder of an update, and the folder above it, safe
// to start the setup from.
struct UpdateFolderTrust {
    TrustedOwners owners;
    // Who may hold a full-access entry, and who must hold one.
    TrustedOwners full_access;
    TrustedOwners required_full_access;
    // Who may hold an entry granting no more than read and execute.
    TrustedOwners read_only;
    bool protected_list_required = true;
};

// Whom an executable trusts, handed as data to the rules below.
struct TrustData {
    // Who may own, and hold write-type rights on, a protected location.
    TrustedOwners location_owners;
    UpdateFolderTrust update_folder;
};

// The release's trust: its system principals only.
TrustData product_trust();
// The release's trust plus the current user, who under Wine owns every file,
// and Wine's read-only entry for Everyone. Only the test variant of the
// executable and test programs use it; it is never shipped.
TrustData test_variant_trust();

inline constexpr ACCESS_MASK kWriteTypeRights = 0x500D0156;
inline constexpr ACCESS_MASK kFullFileAccess = 0x1F01FF;
inline constexpr ACCESS_MASK kReadAndExecute = 0x1200A9;

// The owner and access-list rule of the protected-location test.
[[nodiscard]] bool is_protected_descriptor(PSECURITY_DESCRIPTOR descriptor, const TrustedOwners& owners);
// The owner and access-list rule of the protected-update-folder test.
[[nodiscard]] bool is_protected_update_folder_descriptor(PSECURITY_DESCRIPTOR descriptor,
                                                         const UpdateFolderTrust& trust);

// Owner and access list of an object opened with READ_CONTROL; empty when
// they cannot be read.
[[nodiscard]] UniqueLocalMemory owner_and_access_list(HANDLE object);

// Opens the path without following links as an object of that kind and
// applies the protected-location rule; false when any folder on the way is a
// link (the final path differs from the path as given).
[[nodiscard]] bool is_protected_location(const std::wstring& path, ObjectKind kind, const TrustedOwners& owners);
// Opens the folder without following links and applies the
// protected-update-folder rule; false, too, when reached through a link.
[[nodiscard]] bool is_protected_update_folder(const std::wstring& path, const UpdateFolderTrust& trust);

enum class ProductApplication { client, host_settings };
// Whether that process is still running the product application's image.
[[nodiscard]] bool is_running_product_process(DWORD process_id, ProductApplication product);

}  // namespace zelkora::core
