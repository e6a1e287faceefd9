#pragma once
// The Win32 file and path primitives every subsystem shares: opening without
// following links, final paths, path comparison, the parent-folder rule and
// the setup's own folder. The payload engine builds its raising primitives
// on these; the installer-script check and the known locations use them as
// they are.

#include <windows.h>
#include <shtypes.h>

#include <optional>
#include <string>
#include <string_view>

#include "core/owners_win32.h"
#include "core/path_join.h"

namespace zelkora::core {

enum class ObjectKind { folder, file };

// Opens path without following reparse points; invalid unless it is an
// object of that kind and no reparse point.
[[nodiscard]] UniqueFile open_unlinked(const std::wstring& path, ObjectKind kind,
                                       DWORD access = FILE_READ_ATTRIBUTES,
                                       DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);

// "\\?\C:\..." form, as the file system resolved the handle.
[[nodiscard]] std::optional<std::wstring> final_path(HANDLE file);

// Same length and equal under CompareStringOrdinal ignoring case.
[[nodiscard]] bool paths_equal(std::wstring_view a, std::wstring_view b);

struct PathLessIgnoringCase {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
};

// Up to the last '\', never shorter than the path's drive root ("C:\" or
// "\\?\C:\"); a path without a separator is its own parent.
[[nodiscard]] std::wstring parent_folder(const std::wstring& path);

// The folder of the running program by the parent-folder rule, so "E:\" for
// a program at a volume root; empty when the module path cannot be read.
[[nodiscard]] std::wstring setup_program_folder();

// A known folder as the shell names it now; empty when it cannot name it.
[[nodiscard]] std::wstring known_folder_path(REFKNOWNFOLDERID id);

}  // namespace zelkora::core
