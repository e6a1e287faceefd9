#include "payload/trust_checks_win32.h"

#include <stdexcept>

#include "core/owners_win32.h"
#include "payload/failure.h"
#include "payload/reply_codes.h"

namespace zelkora::payload {

void require_protected_location(HANDLE object, const TrustedOwners& owners) {
    const UniqueLocalMemory descriptor = core::owner_and_access_list(object);
    if (!descriptor || !is_protected_descriptor(descriptor.get(), owners)) {
        fail(kDestinationUnprotected);
    }
}

void require_protected_update_folder(const std::wstring& path, const UpdateFolderTrust& trust) {
    if (!is_protected_update_folder(path, trust)) throw std::runtime_error("installer_verification_failed");
}

}  // namespace zelkora::payload
