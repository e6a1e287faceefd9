#include "state/handoff_registry_win32.h"

#include <windows.h>

#include <winternl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/owners_win32.h"
#include "core/wide.h"

// Declared here: MinGW's winternl.h leaves it out.
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace zelkora::state {
namespace {

// Deeper than any record's key tree; a deeper tree is refused, not followed.
constexpr int kMaxKeyDepth = 16;

std::wstring caller_key_path(std::wstring_view base, HandoffCaller caller) {
    return std::wstring(base) + L"\\" + to_wide(caller_subkey(caller));
}

bool deleted_or_absent(LSTATUS status) {
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
}

// A registry link is a key with this value; a key that holds it is treated
// as one whatever the value's type.
bool is_registry_link(HKEY key) {
    return ::RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, nullptr, nullptr, nullptr) != ERROR_FILE_NOT_FOUND;
}

// Opens (or, with create, makes) name below parent as the key itself, never
// the key a link there points to; a link is refused with ERROR_ACCESS_DENIED.
LSTATUS open_step(HKEY parent, const std::wstring& name, REGSAM access, bool create, UniqueRegistryKey& key) {
    key.reset();
    const REGSAM asked = access | KEY_QUERY_VALUE;
    LSTATUS status = ::RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, asked, key.put());
    if (status == ERROR_FILE_NOT_FOUND && create) {
        status = ::RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE | REG_OPTION_OPEN_LINK,
                                   asked, nullptr, key.put(), nullptr);
    }
    if (status != ERROR_SUCCESS) return status;
    if (!is_registry_link(key.get())) return ERROR_SUCCESS;
    key.reset();
    return ERROR_ACCESS_DENIED;
}

// The key at HKCU\path, reached one key at a time from HKEY_CURRENT_USER
// without following a registry link anywhere on the way. The keys belong to
// the user, who could otherwise point our writes and deletes anywhere the
// link reaches.
LSTATUS open_pinned(std::wstring_view path, REGSAM access, bool create, UniqueRegistryKey& key) {
    UniqueRegistryKey parent;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(path.find(L'\\', start), path.size());
        const std::wstring name(path.substr(start, end - start));
        if (name.empty()) return ERROR_INVALID_PARAMETER;
        const bool last = end == path.size();
        const REGSAM step_access = last ? access : (create ? KEY_CREATE_SUB_KEY : 0);
        UniqueRegistryKey next;
        const LSTATUS status = open_step(parent ? parent.get() : HKEY_CURRENT_USER, name, step_access, create, next);
        if (status != ERROR_SUCCESS) return status;
        if (last) {
            key = std::move(next);
            return ERROR_SUCCESS;
        }
        parent = std::move(next);
        start = end + 1;
    }
}

// Deletes key and everything below it, each key by its own handle; a link
// anywhere below is refused and stays, with everything above it.
LSTATUS delete_key_tree(HKEY key, int depth) {
    if (depth > kMaxKeyDepth) return ERROR_ACCESS_DENIED;
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        const LSTATUS status = ::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return status;
        names.emplace_back(name, length);
    }
    for (const auto& name : names) {
        UniqueRegistryKey child;
        LSTATUS status = open_step(key, name, KEY_ENUMERATE_SUB_KEYS | DELETE, false, child);
        if (status == ERROR_SUCCESS) status = delete_key_tree(child.get(), depth + 1);
        if (!deleted_or_absent(status)) return status;
    }
    const NTSTATUS deleted = NtDeleteKey(key);
    return deleted < 0 ? static_cast<LSTATUS>(::RtlNtStatusToDosError(deleted)) : ERROR_SUCCESS;
}

LSTATUS delete_pinned_tree(std::wstring_view path) {
    UniqueRegistryKey key;
    const LSTATUS status = open_pinned(path, KEY_ENUMERATE_SUB_KEYS | DELETE, false, key);
    return status == ERROR_SUCCESS ? delete_key_tree(key.get(), 0) : status;
}

std::optional<RawValue> query_value(HKEY key, std::u16string_view name) {
    RawValue value{0, std::vector<std::uint8_t>(kMaxRawValueBytes)};
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(value.data.size());
    if (::RegQueryValueExW(key, to_wide(name).c_str(), nullptr, &type, value.data.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.type = type;
    value.data.resize(size);
    return value;
}

// Stops at the first value that cannot be set.
bool set_values(HKEY key, const RawHandoffValues& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto& value = values[i];
        if (!value) continue;
        if (::RegSetValueExW(key, to_wide(kHandoffValueNames[i]).c_str(), 0, value->type, value->data.data(),
                             static_cast<DWORD>(value->data.size())) != ERROR_SUCCESS) {
            return false;
        }
    }
    return true;
}

// Deletes the key at path only when it has neither subkeys nor values.
bool delete_if_empty(const std::wstring& path) {
    UniqueRegistryKey key;
    if (open_pinned(path, DELETE, false, key) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0;
    DWORD values = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys != 0 || values != 0) {
        return false;
    }
    return NtDeleteKey(key.get()) >= 0;
}

}  // namespace

std::optional<HandoffRecord> read_handoff_record(std::wstring_view base, HandoffCaller caller) {
    UniqueRegistryKey key;
    if (open_pinned(caller_key_path(base, caller), KEY_QUERY_VALUE, false, key) != ERROR_SUCCESS) return std::nullopt;
    RawHandoffValues values;
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = query_value(key.get(), kHandoffValueNames[i]);
    return validate_raw_record(values);
}

bool write_handoff_record(std::wstring_view base, HandoffCaller caller, const HandoffRecord& record) {
    if (!is_writable_record(record) || !delete_caller_subkey(base, caller)) return false;
    UniqueRegistryKey key;
    if (open_pinned(caller_key_path(base, caller), KEY_SET_VALUE, true, key) != ERROR_SUCCESS) return false;
    const bool written = set_values(key.get(), encode_record(record));
    key.reset();
    // A half-written record is cleared as far as possible; the failed write is what the caller hears.
    if (!written) static_cast<void>(delete_caller_subkey(base, caller));
    return written;
}

void publish_outcome(std::wstring_view base, const PublishedOutcome& outcome) {
    if (!is_valid_outcome(outcome.outcome) || !is_valid_record_code(outcome.code)) return;
    UniqueRegistryKey key;
    if (open_pinned(caller_key_path(base, HandoffCaller::client), KEY_SET_VALUE, false, key) != ERROR_SUCCESS) return;
    set_values(key.get(), encode_outcome(outcome));
}

bool delete_caller_subkey(std::wstring_view base, HandoffCaller caller) {
    return deleted_or_absent(delete_pinned_tree(caller_key_path(base, caller)));
}

bool delete_record_key(std::wstring_view path) {
    std::wstring key(path);
    // An empty path would name the whole of HKEY_CURRENT_USER.
    if (key.empty() || ::CompareStringOrdinal(key.c_str(), -1, L"Software", -1, TRUE) == CSTR_EQUAL) return false;
    const bool deleted = deleted_or_absent(delete_pinned_tree(key));
    for (;;) {
        const std::size_t separator = key.rfind(L'\\');
        if (separator == std::wstring::npos) break;
        key.resize(separator);
        if (::CompareStringOrdinal(key.c_str(), -1, L"Software", -1, TRUE) == CSTR_EQUAL) break;
        if (!delete_if_empty(key)) break;
    }
    return deleted;
}

}  // namespace zelkora::state
