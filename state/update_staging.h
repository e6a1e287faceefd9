#pragma once
// The name rules of the staged update: the release file directly inside a
// braced-GUID folder. Portable: no <windows.h>.

#include <optional>
#include <string>
#include <string_view>

namespace zelkora::state {

inline constexpr std::u16string_view kUpdatesFolderName = u"Zelkora-Updates";

// "{8-4-4-4-12 hexadecimal digits}", in any letter case, and nothing more.
bool is_braced_guid(std::u16string_view name);

struct StagingFolders {
    std::u16string guid_folder;     // the folder that holds the staged file
    std::u16string updates_folder;  // the folder above it
};

// When image_path names a file called release_name (ASCII letters in any
// case) inside a braced-GUID folder, that folder and its parent.
std::optional<StagingFolders> staging_folders_of(std::u16string_view image_path, std::u16string_view release_name);

}  // namespace zelkora::state
