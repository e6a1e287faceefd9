#include "state/update_launcher_win32.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <optional>
#include <string>

#include "core/file_paths_win32.h"
#include "core/owners_win32.h"
#include "core/wide.h"
#include "state/update_staging.h"

namespace zelkora::state {
namespace {

constexpr DWORD kLongPathUnits = 32768;

std::optional<DWORD> parent_process_id() {
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return std::nullopt;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    const DWORD own = ::GetCurrentProcessId();
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID != own) continue;
        if (entry.th32ParentProcessID == 0) return std::nullopt;
        return entry.th32ParentProcessID;
    }
    return std::nullopt;
}

std::optional<std::wstring> process_image(DWORD process_id) {
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
    if (!process) return std::nullopt;
    std::wstring image(kLongPathUnits, L'\0');
    DWORD length = static_cast<DWORD>(image.size());
    if (!::QueryFullProcessImageNameW(process.get(), 0, image.data(), &length)) return std::nullopt;
    image.resize(length);
    return image;
}

}  // namespace

bool started_by_update_launcher(std::wstring_view release_file_name, const core::TrustData& trust) {
    const auto parent = parent_process_id();
    const auto image = parent ? process_image(*parent) : std::nullopt;
    if (!image) return false;
    const auto folders = staging_folders_of(from_wide(*image), from_wide(release_file_name));
    if (!folders) return false;
    const std::wstring root = core::known_folder_path(FOLDERID_ProgramData);
    if (root.empty() ||
        !core::paths_equal(to_wide(folders->updates_folder), core::join_path(root, to_wide(kUpdatesFolderName)))) {
        return false;
    }
    if (!core::is_protected_update_folder(to_wide(folders->guid_folder), trust.update_folder) ||
        !core::is_protected_update_folder(to_wide(folders->updates_folder), trust.update_folder)) {
        return false;
    }
    return static_cast<bool>(
        core::open_unlinked(*image, core::ObjectKind::file, FILE_READ_ATTRIBUTES, FILE_SHARE_READ));
}

}  // namespace zelkora::state
