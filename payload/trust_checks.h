#pragma once
// Proofs that a folder, file or process can be trusted before the elevated
// setup writes into it, starts from it or waits on it. They only inspect
// security descriptors and process images; none changes anything.

#include <windows.h>

#include <string>
#include <vector>

#include "payload/file_primitives.h"

namespace zelkora::payload {

// The principals whose ownership (and write access) a protected location may
// have, as string SIDs. This is data, not configuration: the product passes
// product_trusted_owners() and nothing else.
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

// Whom an executable trusts, handed as data to the rules below. A rule that
// comes to take principals (the update-folder test) gets its field here.
struct TrustData {
    // Who may own, and hold write-type rights on, a protected location.
    TrustedOwners location_owners;
};

// The release's trust.
TrustData product_trust();
// The release's trust plus the current user, who under Wine owns every file.
// Only the test variant of the executable uses it; it is never shipped.
TrustData test_variant_trust();

inline constexpr ACCESS_MASK kWriteTypeRights = 0x500D0156;

// The owner and access-list rule of the protected-location test.
[[nodiscard]] bool is_protected_descriptor(PSECURITY_DESCRIPTOR descriptor, const TrustedOwners& owners);
// The exact access list of an administrator-only staging folder.
[[nodiscard]] bool is_admin_only_descriptor(PSECURITY_DESCRIPTOR descriptor);

// Handle form: the handle needs READ_CONTROL. Raises payload::Failure
// "payload_destination_unprotected".
void require_protected_location(HANDLE object, const TrustedOwners& owners);

// Path form: never raises.
[[nodiscard]] bool is_protected_location(const std::wstring& path, ObjectKind kind, const TrustedOwners& owners);

// Raises std::runtime_error("installer_verification_failed").
void require_protected_update_folder(const std::wstring& path);

enum class ProductApplication { client, host_settings };
// Whether that process is still running the product application's image.
[[nodiscard]] bool is_running_product_process(DWORD process_id, ProductApplication product);

}  // namespace zelkora::payload
