#include "state/handoff_registry_win32.h"

#include <windows.h>

#include <string>

#include "core/owners.h"
#include "core/wide.h"

namespace zelkora::state {
namespace {

std::wstring caller_key_path(std::wstring_view base, HandoffCaller caller) {
    return std::wstring(base) + L"\\" + to_wide(caller_subkey(caller));
}

bool deleted_or_absent(LSTATUS status) {
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND;
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

bool is_empty_key(const std::wstring& path) {
    UniqueRegistryKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0;
    DWORD values = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return subkeys == 0 && values == 0;
}

}  // namespace

std::optional<HandoffRecord> read_handoff_record(std::wstring_view base, HandoffCaller caller) {
    UniqueRegistryKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, caller_key_path(base, caller).c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    RawHandoffValues values;
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = query_value(key.get(), kHandoffValueNames[i]);
    return validate_raw_record(values);
}

bool write_handoff_record(std::wstring_view base, HandoffCaller caller, const HandoffRecord& record) {
    if (!is_writable_record(record) || !delete_caller_subkey(base, caller)) return false;
    UniqueRegistryKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, caller_key_path(base, caller).c_str(), 0, nullptr,
                          REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool written = set_values(key.get(), encode_record(record));
    key.reset();
    if (!written) delete_caller_subkey(base, caller);
    return written;
}

void publish_outcome(std::wstring_view base, const PublishedOutcome& outcome) {
    if (!is_valid_outcome(outcome.outcome) || !is_valid_record_code(outcome.code)) return;
    UniqueRegistryKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, caller_key_path(base, HandoffCaller::client).c_str(), 0, KEY_SET_VALUE,
                        key.put()) != ERROR_SUCCESS) {
        return;
    }
    set_values(key.get(), encode_outcome(outcome));
}

bool delete_caller_subkey(std::wstring_view base, HandoffCaller caller) {
    return deleted_or_absent(::RegDeleteTreeW(HKEY_CURRENT_USER, caller_key_path(base, caller).c_str()));
}

bool delete_record_key(std::wstring_view path) {
    std::wstring key(path);
    // An empty path would name the whole of HKEY_CURRENT_USER.
    if (key.empty() || ::CompareStringOrdinal(key.c_str(), -1, L"Software", -1, TRUE) == CSTR_EQUAL) return false;
    const bool deleted = deleted_or_absent(::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str()));
    for (;;) {
        const std::size_t separator = key.rfind(L'\\');
        if (separator == std::wstring::npos) break;
        key.resize(separator);
        if (::CompareStringOrdinal(key.c_str(), -1, L"Software", -1, TRUE) == CSTR_EQUAL) break;
        if (!is_empty_key(key) || ::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str()) != ERROR_SUCCESS) break;
    }
    return deleted;
}

}  // namespace zelkora::state
