#include "state/known_locations_win32.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "core/file_paths_win32.h"
#include "core/wide.h"

namespace zelkora::state {
namespace {

std::u16string environment_folder(const wchar_t* name) {
    std::wstring value(32768, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 || length >= value.size()) return {};
    value.resize(length);
    return from_wide(value);
}

}  // namespace

WellKnownLocations current_locations() {
    WellKnownLocations locations;
    const std::wstring setup_folder = core::setup_program_folder();
    if (!setup_folder.empty()) locations.setup_bin = from_wide(core::join_path(setup_folder, L"bin"));
    locations.program_files = from_wide(core::known_folder_path(FOLDERID_ProgramFiles));
    locations.local_app_data = environment_folder(L"LOCALAPPDATA");
    locations.public_desktop = from_wide(core::known_folder_path(FOLDERID_PublicDesktop));
    locations.common_startup = from_wide(core::known_folder_path(FOLDERID_CommonStartup));
    locations.desktop = from_wide(core::known_folder_path(FOLDERID_Desktop));
    return locations;
}

}  // namespace zelkora::state
