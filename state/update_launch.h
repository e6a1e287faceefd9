#pragma once
// Whether this process was started by the Client's updater from its staging
// folder. Answers "no" until the staging-folder proof exists.

#include <string_view>

namespace zelkora::state {

bool started_by_update_launcher(std::wstring_view expected_setup_file_name);

}  // namespace zelkora::state
