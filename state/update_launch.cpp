#include "state/update_launch.h"

namespace zelkora::state {

// Fails closed: without the staging-folder proof no run counts as an update.
bool started_by_update_launcher(std::wstring_view) { return false; }

}  // namespace zelkora::state
