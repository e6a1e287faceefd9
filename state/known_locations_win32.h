#pragma once
// The well-known folders as Windows names them at this moment.

#include "state/locations.h"

namespace zelkora::state {

// Built afresh for every payload session; a folder Windows cannot name
// stays empty, so every request that needs it is refused.
WellKnownLocations current_locations();

}  // namespace zelkora::state
