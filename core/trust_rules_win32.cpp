#include "core/trust_rules_win32.h"

#include <aclapi.h>
#include <sddl.h>

#include <string_view>

#include "core/owners_win32.h"

namespace zelkora::core {
namespace {

constexpr wchar_t kCreatorOwner[] = L"S-1-3-0";
constexpr wchar_t kLocalSystem[] = L"S-1-5-18";
constexpr wchar_t kAdministrators[] = L"S-1-5-32-544";
constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr wchar_t kEveryone[] = L"S-1-1-0";

bool sid_equals_string(PSID sid, const std::wstring& string_sid) {
    UniqueLocalMemory converted;
    PSID other = nullptr;
    if (!::ConvertStringSidToSidW(string_sid.c_str(), &other)) return false;
    converted.reset(other);
    return ::EqualSid(sid, other) != FALSE;
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

bool has_protected_list(PSECURITY_DESCRIPTOR descriptor) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    return ::GetSecurityDescriptorControl(descriptor, &control, &revision) && (control & SE_DACL_PROTECTED) != 0;
}

PSID entry_subject(const ACCESS_ALLOWED_ACE& entry) {
    const PSID subject = const_cast<DWORD*>(&entry.SidStart);
    return ::IsValidSid(subject) ? subject : nullptr;
}

// An allow entry passes when it grants no write-type right, or grants it to
// a trusted owner or to CREATOR OWNER.
bool allow_entry_is_harmless(const ACCESS_ALLOWED_ACE& entry, const TrustedOwners& owners) {
    if ((entry.Mask & kWriteTypeRights) == 0) return true;
    const PSID subject = entry_subject(entry);
    return subject && (owners.contains(subject) || sid_equals_string(subject, kCreatorOwner));
}

// Only non-inherited allow entries: full access for a principal allowed it,
// or read and execute at most for a principal allowed that.
bool update_folder_entry_fits(const ACE_HEADER& header, const UpdateFolderTrust& trust) {
    if (header.AceType != ACCESS_ALLOWED_ACE_TYPE || (header.AceFlags & INHERITED_ACE) != 0) return false;
    const auto& entry = reinterpret_cast<const ACCESS_ALLOWED_ACE&>(header);
    const PSID subject = entry_subject(entry);
    if (!subject) return false;
    if ((entry.Mask & kFullFileAccess) == kFullFileAccess) return trust.full_access.contains(subject);
    return (entry.Mask & ~kReadAndExecute) == 0 && trust.read_only.contains(subject);
}

bool holds_full_access(PACL list, const std::wstring& string_sid) {
    for (DWORD index = 0; index < list->AceCount; ++index) {
        void* entry = nullptr;
        if (!::GetAce(list, index, &entry)) return false;
        const auto& allow = *static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        const PSID subject = entry_subject(allow);
        if ((allow.Mask & kFullFileAccess) == kFullFileAccess && subject && sid_equals_string(subject, string_sid)) {
            return true;
        }
    }
    return false;
}

constexpr DWORD kInspectAccess = READ_CONTROL | FILE_READ_ATTRIBUTES;

std::wstring_view without_long_prefix(std::wstring_view path) {
    constexpr std::wstring_view prefix = L"\\\\?\\";
    return path.starts_with(prefix) ? path.substr(prefix.size()) : path;
}

// Opens path for inspection as open_unlinked does, and only when the file
// system reached the object by that very path: a junction or mount point in
// a parent folder, or a link that shows no reparse point to the handle (as
// Wine's Unix links do), leaves a different final path. The rules must judge
// the object the path names, not one a link leads to.
UniqueFile open_as_named(const std::wstring& path, ObjectKind kind, DWORD sharing) {
    UniqueFile object = open_unlinked(path, kind, kInspectAccess, sharing);
    if (!object) return {};
    const auto reached = final_path(object.get());
    if (!reached || !paths_equal(without_long_prefix(*reached), without_long_prefix(path))) return {};
    return object;
}

}  // namespace

bool TrustedOwners::contains(PSID sid) const {
    if (!sid || !::IsValidSid(sid)) return false;
    for (const auto& string_sid : string_sids_) {
        if (sid_equals_string(sid, string_sid)) return true;
    }
    return false;
}

TrustedOwners product_trusted_owners() { return TrustedOwners({kLocalSystem, kAdministrators, kTrustedInstaller}); }

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

TrustData product_trust() {
    return TrustData{
        product_trusted_owners(),
        UpdateFolderTrust{
            TrustedOwners({kAdministrators}),
            TrustedOwners({kLocalSystem, kAdministrators}),
            TrustedOwners({kLocalSystem, kAdministrators}),
            TrustedOwners({}),
            true,
        },
    };
}

// Wine gives every folder the list (A;OICI;FA;;;SY)(A;OICI;FA;;;user)
// (A;OICI;0x1200a9;;;WD), unprotected, and the current user as owner.
TrustData test_variant_trust() {
    const std::wstring user = current_user_sid();
    auto owners = product_trusted_owners().string_sids();
    owners.push_back(user);
    return TrustData{
        TrustedOwners(std::move(owners)),
        UpdateFolderTrust{
            TrustedOwners({kAdministrators, user}),
            TrustedOwners({kLocalSystem, kAdministrators, user}),
            TrustedOwners({kLocalSystem}),
            TrustedOwners({kEveryone}),
            false,
        },
    };
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

bool is_protected_update_folder_descriptor(PSECURITY_DESCRIPTOR descriptor, const UpdateFolderTrust& trust) {
    if (!descriptor || !trust.owners.contains(descriptor_owner(descriptor))) return false;
    if (trust.protected_list_required && !has_protected_list(descriptor)) return false;
    const PACL list = descriptor_access_list(descriptor);
    if (!list || list->AceCount == 0) return false;
    for (DWORD index = 0; index < list->AceCount; ++index) {
        void* entry = nullptr;
        if (!::GetAce(list, index, &entry)) return false;
        if (!update_folder_entry_fits(*static_cast<const ACE_HEADER*>(entry), trust)) return false;
    }
    for (const auto& required : trust.required_full_access.string_sids()) {
        if (!holds_full_access(list, required)) return false;
    }
    return true;
}

UniqueLocalMemory owner_and_access_list(HANDLE object) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return {};
    }
    return UniqueLocalMemory(descriptor);
}

bool is_protected_location(const std::wstring& path, ObjectKind kind, const TrustedOwners& owners) {
    const UniqueFile object = open_as_named(path, kind, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (!object) return false;
    const UniqueLocalMemory descriptor = owner_and_access_list(object.get());
    return descriptor && is_protected_descriptor(descriptor.get(), owners);
}

bool is_protected_update_folder(const std::wstring& path, const UpdateFolderTrust& trust) {
    const UniqueFile folder = open_as_named(path, ObjectKind::folder, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!folder) return false;
    const UniqueLocalMemory descriptor = owner_and_access_list(folder.get());
    return descriptor && is_protected_update_folder_descriptor(descriptor.get(), trust);
}

bool is_running_product_process(DWORD process_id, ProductApplication product) {
    if (process_id == 0 || process_id == ::GetCurrentProcessId()) return false;
    const UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
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

}  // namespace zelkora::core
