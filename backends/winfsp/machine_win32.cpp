#include "backends/winfsp/machine_win32.h"

#include <softpub.h>
#include <wintrust.h>

#include <array>
#include <optional>
#include <type_traits>
#include <vector>

#include "core/file_paths_win32.h"
#include "core/owners_win32.h"
#include "core/text_encoding.h"
#include "core/wide.h"
#include "payload/failure.h"
#include "payload/file_primitives_win32.h"

namespace zelkora::winfsp {
namespace {

constexpr const wchar_t* kInstallDirKey = L"SOFTWARE\\WOW6432Node\\WinFsp";
constexpr const wchar_t* kRecordKey = L"SOFTWARE\\Zelkora\\Host\\WinFsp";
constexpr DWORD kInstallDirBytes = 520;
constexpr DWORD kProductCodeChars = 39;
constexpr DWORD kVersionStringChars = 64;
constexpr DWORD kErrorSuccessRebootRequired = 3010;
constexpr DWORD kErrorInstallAlreadyRunning = 1618;

// msi.dll exports these two by ordinal; Wine keeps the same numbers.
constexpr WORD kEnumRelatedProductsOrdinal = 205;
constexpr WORD kGetProductInfoOrdinal = 70;
using EnumRelatedProducts = UINT(WINAPI*)(LPCWSTR upgrade_code, DWORD reserved, DWORD index, LPWSTR product);
using GetProductInfo = UINT(WINAPI*)(LPCWSTR product, LPCWSTR property, LPWSTR value, LPDWORD chars);

using ServiceVersion = LONG(WINAPI*)(UINT32* version);

// Windows' WINTRUST_DATA ends in pSignatureSettings (88 bytes on x64);
// MinGW's header stops before it (80 bytes), so the field is added here.
struct ExtendedTrustData {
    WINTRUST_DATA fields;
    void* signature_settings;
};
using FullTrustData = std::conditional_t<sizeof(WINTRUST_DATA) == 88, WINTRUST_DATA, ExtendedTrustData>;
static_assert(sizeof(FullTrustData) == 88 && sizeof(WINTRUST_FILE_INFO) == 32);
[[maybe_unused]] WINTRUST_DATA& trust_fields(WINTRUST_DATA& data) { return data; }
[[maybe_unused]] WINTRUST_DATA& trust_fields(ExtendedTrustData& data) { return data.fields; }

template <typename Function>
Function ordinal_export(HMODULE module, WORD ordinal) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
}

std::optional<VersionRecord> product_version(GetProductInfo get_info, const wchar_t* product) {
    std::array<wchar_t, kVersionStringChars> value{};
    DWORD chars = kVersionStringChars;
    if (get_info(product, to_wide(kVersionProperty).c_str(), value.data(), &chars) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    if (chars >= kVersionStringChars) return std::nullopt;
    return parse_version_string(utf16_to_utf8(from_wide(std::wstring_view(value.data(), chars))));
}

// Related products of the upgrade code; found stays false when there are none
// or msi.dll is unavailable.
InstalledVersion registered_version() {
    InstalledVersion result;
    UniqueLibrary msi(::LoadLibraryExW(L"msi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!msi) return result;
    const auto enum_related = ordinal_export<EnumRelatedProducts>(msi.get(), kEnumRelatedProductsOrdinal);
    const auto get_info = ordinal_export<GetProductInfo>(msi.get(), kGetProductInfoOrdinal);
    if (!enum_related || !get_info) return result;
    const std::wstring upgrade_code = to_wide(kUpgradeCode);
    for (DWORD index = 0;; ++index) {
        std::array<wchar_t, kProductCodeChars> product{};
        if (enum_related(upgrade_code.c_str(), 0, index, product.data()) != ERROR_SUCCESS) break;
        result.found = true;
        const auto version = product_version(get_info, product.data());
        if (version && replaces(*version, result.version)) result.version = *version;
    }
    return result;
}

VersionRecord library_file_version(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<std::byte> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT info_size = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &info_size)) return {};
    if (info == nullptr || info_size < sizeof(VS_FIXEDFILEINFO)) return {};
    return VersionRecord{HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                         HIWORD(info->dwFileVersionLS), true};
}

std::wstring system_folder() {
    std::array<wchar_t, MAX_PATH> folder{};
    const UINT length = ::GetSystemDirectoryW(folder.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(folder.data(), length);
}

// GetTempPathW, ending in '\\'; empty when it fails.
std::wstring temporary_folder() {
    std::array<wchar_t, MAX_PATH> folder{};
    const DWORD length = ::GetTempPathW(MAX_PATH, folder.data());
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(folder.data(), length);
}

// The object behind the handle stands at path itself: no link or alias on
// the way (under Wine a Unix link shows only here).
bool stands_at(HANDLE object, const std::wstring& path) {
    const auto final = core::final_path(object);
    if (!final) return false;
    try {
        return core::paths_equal(*final, payload::long_path(path));
    } catch (const payload::Failure&) {
        return false;
    }
}

// The temporary folder at its own path, open without delete sharing (with
// data access, so that the sharing counts) so that it can be neither moved
// nor replaced by a link while the installer writes its log there.
UniqueFile pin_folder(const std::wstring& folder) {
    std::wstring path = folder;
    if (path.size() > 3 && path.back() == L'\\') path.pop_back();
    UniqueFile pinned = core::open_unlinked(path, core::ObjectKind::folder,
                                            SYNCHRONIZE | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!pinned || !stands_at(pinned.get(), path)) return {};
    return pinned;
}

// A plain file with no other name (a hard link would let the log overwrite
// another file), at path itself.
bool is_single_plain_file_at(HANDLE file, const std::wstring& path) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    FILE_STANDARD_INFO standard{};
    return ::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof(tag)) &&
           (tag.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
           ::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard)) &&
           standard.NumberOfLinks == 1 && stands_at(file, path);
}

// msiexec may write the log at its name: nothing is there yet, or a plain
// file (an earlier run's log), never a link or a folder.
bool log_name_is_usable(const std::wstring& log) {
    const UniqueFile existing(::CreateFileW(log.c_str(), SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                            nullptr));
    if (!existing) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    return is_single_plain_file_at(existing.get(), log);
}

// Deletes the log through its own handle, opened without following a link,
// and only when it is still a plain file at its name.
void delete_log(const std::wstring& log) {
    const UniqueFile file(::CreateFileW(log.c_str(), DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file && is_single_plain_file_at(file.get(), log)) (void)payload::delete_by_handle(file.get());
}

// One msiexec run: its exit code, 1460 after the time-out, or kInstallerNotStarted.
DWORD run_msiexec_once(const std::wstring& msiexec, std::wstring command_line, const std::wstring& folder) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(msiexec.c_str(), command_line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                          nullptr, folder.c_str(), &startup, &started)) {
        return kInstallerNotStarted;
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    thread.reset();
    if (::WaitForSingleObject(process.get(), kInstallerTimeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.get(), 1);
        return ERROR_TIMEOUT;
    }
    DWORD exit_code = kInstallerNotStarted;
    if (!::GetExitCodeProcess(process.get(), &exit_code)) return kInstallerNotStarted;
    return exit_code;
}

bool is_regular_file(HANDLE file) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof(tag))) return false;
    return (tag.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

bool has_digest(HANDLE file, std::uint64_t size, const Digest& expected) {
    try {
        return payload::file_digest(file, size) == expected;
    } catch (...) {
        return false;
    }
}

}  // namespace

const Machine& machine() {
    static const Machine instance;
    return instance;
}

std::wstring registered_library_path() {
    std::array<wchar_t, kInstallDirBytes / sizeof(wchar_t)> folder{};
    DWORD bytes = kInstallDirBytes;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kInstallDirKey, L"InstallDir", RRF_RT_REG_SZ, nullptr, folder.data(),
                       &bytes) != ERROR_SUCCESS) {
        return {};
    }
    const std::wstring path = to_wide(library_path(from_wide(folder.data())));
    if (path.empty()) return {};
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {};
    return path;
}

bool authenticode_valid(const std::wstring& path) {
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    FullTrustData full{};
    WINTRUST_DATA& data = trust_fields(full);
    data.cbStruct = sizeof(full);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG verdict = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &full);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &full);
    return verdict == 0;
}

InstalledVersion Machine::installed_version() const {
    InstalledVersion result = registered_version();
    if (result.found) return result;
    const std::wstring library = registered_library_path();
    if (library.empty()) return result;
    result.found = true;
    result.version = library_file_version(library);
    return result;
}

bool Machine::verify_package(const std::wstring& package) const {
    return static_cast<bool>(hold_verified_package(package));
}

UniqueFile Machine::hold_verified_package(const std::wstring& package) const {
    const auto expected = decode_digest(seams_.package_digest);
    if (!expected) return {};
    UniqueFile file(::CreateFileW(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file || !is_regular_file(file.get()) || !stands_at(file.get(), package)) return {};
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return {};
    if (static_cast<std::uint64_t>(size.QuadPart) != seams_.package_size) return {};
    if (!has_digest(file.get(), seams_.package_size, *expected)) return {};
    // Still held: the signature is checked on the very bytes just hashed.
    if (!signature_valid(package)) return {};
    return file;
}

std::uint32_t Machine::run_installer(const std::wstring& package) const {
    const std::wstring folder = system_folder();
    const std::wstring temporary = temporary_folder();
    if (folder.empty() || temporary.empty()) return kInstallerNotStarted;
    const std::wstring msiexec = folder + L"\\msiexec.exe";
    const std::wstring log = temporary + to_wide(kLogFileName);
    const auto command_line = msiexec_command_line(from_wide(msiexec), from_wide(package), from_wide(log));
    if (!command_line) return kInstallerNotStarted;
    const UniqueFile pinned_temporary = pin_folder(temporary);
    if (!pinned_temporary) return kInstallerNotStarted;
    const UniqueFile held_package = hold_verified_package(package);
    if (!held_package) return kInstallerNotStarted;
    for (int attempt = 1;; ++attempt) {
        if (!log_name_is_usable(log)) return kInstallerNotStarted;
        const DWORD result = run_msiexec_once(msiexec, to_wide(*command_line), folder);
        if (seams_.installer_ended) seams_.installer_ended();
        if (result == ERROR_SUCCESS || result == kErrorSuccessRebootRequired) {
            delete_log(log);
            return result;
        }
        if (result != kErrorInstallAlreadyRunning || attempt == kInstallerAttempts) return result;
        pause(kAlreadyRunningPauseMs);
    }
}

std::string Machine::load_check() const {
    const std::wstring path = registered_library_path();
    if (path.empty()) return std::string(kDllMissing);
    UniqueLibrary library(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library) return std::string(kLoadFailed);
    for (const char* name : {"FspFileSystemCreate", "FspFileSystemStartDispatcher",
                             "FspFileSystemAcquireDirectoryBuffer"}) {
        if (::GetProcAddress(library.get(), name) == nullptr) return std::string(kLoadFailed);
    }
    const auto service_version = reinterpret_cast<ServiceVersion>(
        reinterpret_cast<void*>(::GetProcAddress(library.get(), "FspFsctlServiceVersion")));
    if (service_version == nullptr) return std::string(kDriverMissing);
    UINT32 version = 0;
    if (service_version(&version) < 0 || version == 0) return std::string(kDriverMissing);
    return {};
}

void Machine::record_installation(const std::string& version) const {
    const std::wstring text = to_wide(utf8_to_utf16_strict(version).value_or(std::u16string()));
    UniqueRegistryKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                          nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    const DWORD installed = 1;
    ::RegSetValueExW(key.get(), L"InstalledByHost", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&installed),
                     sizeof(installed));
    ::RegSetValueExW(key.get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool Machine::signature_valid(const std::wstring& package) const {
    return seams_.signature_check ? seams_.signature_check(package) : authenticode_valid(package);
}

void Machine::pause(DWORD milliseconds) const {
    if (seams_.pause) {
        seams_.pause(milliseconds);
    } else {
        ::Sleep(milliseconds);
    }
}

}  // namespace zelkora::winfsp
