#pragma once
// The payload engine's raising forms of the trust rules in
// core/trust_rules_win32.h, whose names it also takes over.

#include <windows.h>

#include <string>

#include "core/trust_rules_win32.h"
#include "payload/file_primitives_win32.h"

namespace zelkora::payload {

using core::current_user_sid;
using core::is_protected_descriptor;
using core::is_protected_location;
using core::is_protected_update_folder;
using core::is_protected_update_folder_descriptor;
using core::is_running_product_process;
using core::kWriteTypeRights;
using core::product_trust;
using core::product_trusted_owners;
using core::ProductApplication;
using core::test_variant_trust;
using core::TrustData;
using core::TrustedOwners;
using core::UpdateFolderTrust;

// Handle form: the handle needs READ_CONTROL. Raises payload::Failure
// "payload_destination_unprotected".
void require_protected_location(HANDLE object, const TrustedOwners& owners);

// Raises std::runtime_error("installer_verification_failed").
void require_protected_update_folder(const std::wstring& path, const UpdateFolderTrust& trust);

}  // namespace zelkora::payload
