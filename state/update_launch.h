#pragma once
// Start-up questions about a seamless update: was this process started by the
// Client's updater from its staging folder, and did the Client leave a
// hand-off record. Both answer "no" until the staging and registry code exists.

#include <optional>
#include <string_view>

#include "state/handoff_record.h"

namespace zelkora::state {

bool started_by_update_launcher(std::wstring_view expected_setup_file_name);

std::optional<HandoffRecord> read_handoff_record(std::wstring_view base_key_path);

}  // namespace zelkora::state
