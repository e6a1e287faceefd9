#include "update_request.h"

#include <bcrypt.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdint>
#include <span>

#include "resource_ids.h"

namespace zelkora::demo {

namespace {

constexpr wchar_t kStagingRoot[] = L"Zelkora-Updates";
constexpr wchar_t kReleaseName[] = L"Zelkora-1.0.0-windows-x64.exe";
constexpr wchar_t kEventPrefix[] = L"Local\\Zelkora.Update.";

std::optional<std::wstring> fresh_token() {
    unsigned char bytes[16];
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes, sizeof(bytes), BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        return std::nullopt;
    }
    constexpr wchar_t kHex[] = L"0123456789abcdef";
    std::wstring token;
    for (const unsigned char byte : bytes) {
        token.push_back(kHex[byte >> 4]);
        token.push_back(kHex[byte & 0x0f]);
    }
    return token;
}

FILETIME now() {
    FILETIME time{};
    ::GetSystemTimeAsFileTime(&time);
    return time;
}

class RecordWriter {
public:
    explicit RecordWriter(HKEY key) : key_(key) {}
    RecordWriter& dword(const wchar_t* name, DWORD value) { return raw(name, REG_DWORD, &value, sizeof(value)); }
    RecordWriter& qword(const wchar_t* name, std::uint64_t value) { return raw(name, REG_QWORD, &value, sizeof(value)); }
    // With its terminating null, as the setup's reader expects.
    RecordWriter& text(const wchar_t* name, const std::wstring& value) {
        return raw(name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    RecordWriter& binary(const wchar_t* name, const void* data, DWORD size) { return raw(name, REG_BINARY, data, size); }
    bool ok() const { return ok_; }

private:
    RecordWriter& raw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        if (ok_) ok_ = ::RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
        return *this;
    }
    HKEY key_;
    bool ok_ = true;
};

// Keeps GetLastError, so a failed request still reports why it failed.
void delete_record() {
    const DWORD error = ::GetLastError();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kRecordKey);
    ::SetLastError(error);
}

bool write_record(const std::wstring& own_version, const std::wstring& token, const WindowPosition& position,
                  bool dark) {
    delete_record();
    UniqueRegistryKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRecordKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                          nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const FILETIME created = now();
    static_assert(sizeof(WINDOWPLACEMENT) == 44 && sizeof(RECT) == 16);
    const bool written = RecordWriter(key.get())
                             .dword(L"Schema", 1)
                             .text(L"FromVersion", own_version)
                             .text(L"ToVersion", kUpdateVersion)
                             .text(L"Token", token)
                             .dword(L"Dark", dark ? 1 : 0)
                             .dword(L"ProcessId", ::GetCurrentProcessId())
                             .qword(L"Created", (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime)
                             .binary(L"Placement", &position.placement, sizeof(position.placement))
                             .binary(L"Bounds", &position.bounds, sizeof(position.bounds))
                             .text(L"Outcome", L"")
                             .text(L"Code", L"")
                             .dword(L"Stage", 0)
                             .dword(L"Attention", 0)
                             .dword(L"RestartRequired", 0)
                             .ok();
    if (!written) delete_record();
    return written;
}

std::wstring program_data() {
    PWSTR path = nullptr;
    std::wstring copy;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path))) copy = path;
    ::CoTaskMemFree(path);
    return copy;
}

std::wstring braced_guid() {
    GUID guid{};
    wchar_t text[39] = {};
    if (FAILED(::CoCreateGuid(&guid)) || ::StringFromGUID2(guid, text, 39) != 39) return {};
    return text;
}

std::span<const std::byte> embedded_bootstrap() {
    const HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_UPDATE_BOOTSTRAP), RT_RCDATA);
    const HGLOBAL loaded = resource ? ::LoadResource(nullptr, resource) : nullptr;
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return {};
    return {static_cast<const std::byte*>(data), ::SizeofResource(nullptr, resource)};
}

bool write_new_file(const std::wstring& path, std::span<const std::byte> bytes) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    const bool complete = ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                          written == bytes.size();
    file.reset();
    if (!complete) ::DeleteFileW(path.c_str());
    return complete;
}

// %ProgramData%\Zelkora-Updates\{GUID}\<release name>: the only place from
// which the setup accepts a start as an update.
std::wstring stage_bootstrap() {
    const auto bootstrap = embedded_bootstrap();
    const std::wstring root = program_data();
    const std::wstring guid = braced_guid();
    if (bootstrap.empty() || root.empty() || guid.empty()) return {};
    const std::wstring updates = root + L"\\" + kStagingRoot;
    const std::wstring folder = updates + L"\\" + guid;
    if (!::CreateDirectoryW(updates.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) return {};
    if (!::CreateDirectoryW(folder.c_str(), nullptr)) return {};
    const std::wstring staged = folder + L"\\" + kReleaseName;
    if (!write_new_file(staged, bootstrap)) {
        ::RemoveDirectoryW(folder.c_str());
        return {};
    }
    return staged;
}

UniqueHandle start_bootstrap(const std::wstring& staged, const std::wstring& setup) {
    std::wstring command_line = L"\"" + staged + L"\" \"" + setup + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(staged.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info)) {
        return {};
    }
    ::CloseHandle(info.hThread);
    return UniqueHandle(info.hProcess);
}

std::optional<std::wstring> read_text(HKEY key, const wchar_t* name) {
    wchar_t value[65] = {};
    DWORD size = sizeof(value);
    if (::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return std::nullopt;
    return std::wstring(value);
}

}  // namespace

std::optional<PendingUpdate> request_update(const std::wstring& own_version, const std::wstring& setup,
                                            const WindowPosition& position, bool dark,
                                            std::wstring& failed_step) {
    PendingUpdate update;
    const auto token = fresh_token();
    if (!token) {
        failed_step = L"token";
        return std::nullopt;
    }
    update.token = *token;
    if (!write_record(own_version, update.token, position, dark)) {
        failed_step = L"record";
        return std::nullopt;
    }
    // Created before the setup can look for it, and not signalled: the setup
    // only opens and sets it.
    ::SetLastError(ERROR_SUCCESS);
    update.event.reset(::CreateEventW(nullptr, TRUE, FALSE, (kEventPrefix + update.token).c_str()));
    if (!update.event || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        failed_step = L"event";
        delete_record();
        return std::nullopt;
    }
    update.staged_bootstrap = stage_bootstrap();
    if (update.staged_bootstrap.empty()) {
        failed_step = L"staging";
        delete_record();
        return std::nullopt;
    }
    update.bootstrap = start_bootstrap(update.staged_bootstrap, setup);
    if (!update.bootstrap) {
        failed_step = L"bootstrap";
        const DWORD error = ::GetLastError();
        ::DeleteFileW(update.staged_bootstrap.c_str());
        ::RemoveDirectoryW(update.staged_bootstrap.substr(0, update.staged_bootstrap.rfind(L'\\')).c_str());
        ::SetLastError(error);
        delete_record();
        return std::nullopt;
    }
    return update;
}

std::optional<Answer> read_answer() {
    UniqueRegistryKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRecordKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    Answer answer;
    const auto outcome = read_text(key.get(), L"Outcome");
    const auto code = read_text(key.get(), L"Code");
    DWORD size = sizeof(answer.stage);
    if (!outcome || !code ||
        ::RegGetValueW(key.get(), nullptr, L"Stage", RRF_RT_REG_DWORD, nullptr, &answer.stage, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    answer.outcome = *outcome;
    answer.code = *code;
    return answer;
}

}  // namespace zelkora::demo
