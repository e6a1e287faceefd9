#pragma once
// Whether the process that started this setup is the release file that the
// Client's updater staged in its protected folder under ProgramData.

#include <string_view>

#include "core/trust_rules_win32.h"

namespace zelkora::state {

// Any failure on the way is a "no": an unknown parent, another file name, a
// folder that is no braced GUID directly in %ProgramData%\Zelkora-Updates,
// either folder failing the protected-update-folder test, or a staged file
// that is a link or a folder.
bool started_by_update_launcher(std::wstring_view release_file_name, const core::TrustData& trust);

}  // namespace zelkora::state
