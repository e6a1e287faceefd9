#include "payload/trust_checks.h"

#include <aclapi.h>
#include <sddl.h>

#include <stdexcept>

#include "core/owners.h"
#include "payload/failure.h"
#include "payload/file_primitives.h"

namespace zelkora::payload {

namespace {

constexpr ACCESS_MASK kFullFileAccess = 0x1F01FF;
constexpr wchar_t kCreatorOwner[] = L"S-1-3-0";

bool sid_equals_string(PSID sid, const std::wstring& string_sid) {
    UniqueLocalMemory converted;
    PSID other = nullptr;
    if (!::ConvertStringSidToSidW(string_sid.c_str(), &other)) return false;
    converted.reset(other);
    return ::EqualSid(sid, other) != FALSE;
}

bool sid_equals_well_known(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE storage[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(storage);
    if (!::CreateWellKnownSid(type, nullptr, storage, &size)) return false;
    return ::EqualSid(sid, storage) != FALSE;
}

PSID descriptor_owner(PSECURITY_DESCRIPTOR descriptor) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) return nullptr;
    if (owner && !::IsValidSid(owner)) return nullptr;
    return owner;
}

// A missing or null access list grants everyone everything: no list then.
PACL descriptor_access_list(PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL list = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) || !present) return nullptr;
    return list;
}

// An allow entry passes when it grants no write-type right, or grants it to
// a trusted owner or to CREATOR OWNER.
bool allow_entry_is_harmless(const ACCESS_ALLOWED_ACE& entry, const TrustedOwners& owners) {
    if ((entry.Mask & kWriteTypeRights) == 0) return true;
    const PSID subject = const_cast<DWORD*>(&entry.SidStart);
    if (!::IsValidSid(subject)) return false;
    return owners.contains(subject) || sid_equals_string(subject, kCreatorOwner);
}

bool staging_entry_is_exact(const ACE_HEADER& header) {
    if (header.AceType != ACCESS_ALLOWED_ACE_TYPE || (header.AceFlags & INHERITED_ACE) != 0) return false;
    const auto& entry = reinterpret_cast<const ACCESS_ALLOWED_ACE&>(header);
    if ((entry.Mask & kFullFileAccess) != kFullFileAccess) return false;
    const PSID subject = const_cast<DWORD*>(&entry.SidStart);
    return ::IsValidSid(subject) && (sid_equals_well_known(subject, WinBuiltinAdministratorsSid) ||
                                     sid_equals_well_known(subject, WinLocalSystemSid));
}

UniqueLocalMemory owner_and_access_list(HANDLE object) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return {};
    }
    return UniqueLocalMemory(descriptor);
}

constexpr DWORD kInspectAccess = READ_CONTROL | FILE_READ_ATTRIBUTES;

}  // namespace

bool TrustedOwners::contains(PSID sid) const {
    if (!sid || !::IsValidSid(sid)) return false;
    for (const auto& string_sid : string_sids_) {
        if (sid_equals_string(sid, string_sid)) return true;
    }
    return false;
}

TrustedOwners product_trusted_owners() {
    return TrustedOwners({
        L"S-1-5-18",      // LocalSystem
        L"S-1-5-32-544",  // Administrators
        L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
    });
}

std::wstring current_user_sid() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> storage(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, storage.data(), size, &size)) return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(storage.data())->User.Sid, &text)) return {};
    const UniqueLocalMemory owned(text);
    return text;
}

TrustData product_trust() { return TrustData{product_trusted_owners()}; }

TrustData test_variant_trust() {
    auto owners = product_trusted_owners().string_sids();
    owners.push_back(current_user_sid());
    return TrustData{TrustedOwners(std::move(owners))};
}

bool is_protected_descriptor(PSECURITY_DESCRIPTOR descriptor, const TrustedOwners& owners) {
    if (!descriptor || !owners.contains(descriptor_owner(descriptor))) return false;
    const PACL list = descriptor_access_list(descriptor);
    if (!list) return false;
    for (DWORD index = 0; index < list->AceCount; ++index) {
        void* entry = nullptr;
        if (!::GetAce(list, index, &entry)) return false;
        const auto& header = *static_cast<const ACE_HEADER*>(entry);
        // Inherit-only entries do not apply to the object itself.
        if ((header.AceFlags & INHERIT_ONLY_ACE) != 0) continue;
        if (header.AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (header.AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
        if (!allow_entry_is_harmless(*static_cast<const ACCESS_ALLOWED_ACE*>(entry), owners)) return false;
    }
    return true;
}

bool is_admin_only_descriptor(PSECURITY_DESCRIPTOR descriptor) {
    if (!descriptor) return false;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::GetSecurityDescriptorControl(descriptor, &control, &revision)) return false;
    if ((control & SE_DACL_PROTECTED) == 0) return false;
    const PSID owner = descriptor_owner(descriptor);
    if (!owner || !sid_equals_well_known(owner, WinBuiltinAdministratorsSid)) return false;
    const PACL list = descriptor_access_list(descriptor);
    if (!list || list->AceCount == 0) return false;
    bool administrators = false;
    bool local_system = false;
    for (DWORD index = 0; index < list->AceCount; ++index) {
        void* entry = nullptr;
        if (!::GetAce(list, index, &entry)) return false;
        const auto& header = *static_cast<const ACE_HEADER*>(entry);
        if (!staging_entry_is_exact(header)) return false;
        const PSID subject = const_cast<DWORD*>(&static_cast<const ACCESS_ALLOWED_ACE*>(entry)->SidStart);
        administrators = administrators || sid_equals_well_known(subject, WinBuiltinAdministratorsSid);
        local_system = local_system || sid_equals_well_known(subject, WinLocalSystemSid);
    }
    return administrators && local_system;
}

void require_protected_location(HANDLE object, const TrustedOwners& owners) {
    const UniqueLocalMemory descriptor = owner_and_access_list(object);
    if (!descriptor || !is_protected_descriptor(descriptor.get(), owners)) {
        fail("payload_destination_unprotected");
    }
}

bool is_protected_location(const std::wstring& path, ObjectKind kind, const TrustedOwners& owners) {
    const UniqueFile object = open_unlinked(path, kind, kInspectAccess);
    if (!object) return false;
    const UniqueLocalMemory descriptor = owner_and_access_list(object.get());
    return descriptor && is_protected_descriptor(descriptor.get(), owners);
}

void require_protected_update_folder(const std::wstring& path) {
    const UniqueFile folder =
        open_unlinked(path, ObjectKind::folder, kInspectAccess, FILE_SHARE_READ | FILE_SHARE_WRITE);
    const UniqueLocalMemory descriptor = folder ? owner_and_access_list(folder.get()) : UniqueLocalMemory();
    if (!descriptor || !is_admin_only_descriptor(descriptor.get())) {
        throw std::runtime_error("installer_verification_failed");
    }
}

bool is_running_product_process(DWORD process_id, ProductApplication product) {
    if (process_id == 0 || process_id == ::GetCurrentProcessId()) return false;
    const UniqueHandle process(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
    if (!process) return false;
    if (::WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT) return false;
    std::wstring image(32768, L'\0');
    DWORD length = static_cast<DWORD>(image.size());
    if (!::QueryFullProcessImageNameW(process.get(), 0, image.data(), &length)) return false;
    image.resize(length);
    const std::size_t separator = image.find_last_of(L"\\/");
    const std::wstring_view file_name =
        separator == std::wstring::npos ? std::wstring_view(image) : std::wstring_view(image).substr(separator + 1);
    const std::wstring_view expected =
        product == ProductApplication::host_settings ? L"ZelkoraHostSettings.exe" : L"Zelkora.exe";
    return paths_equal(file_name, expected);
}

}  // namespace zelkora::payload
