#pragma once
// The Win32 side of the seamless update: the Client's update event and the
// registry answers the flow gives through it.

#include <windows.h>

#include <string>
#include <string_view>

#include "core/owners_win32.h"
#include "state/seamless_update.h"

namespace zelkora::state {

// Opens the event the Client created for this hand-off, only to set it;
// empty when the Client made none.
UniqueHandle open_update_event(std::u16string_view token);

// The flow's registry and event services over base\Client and that event
// (which may be null); the process check and the start of the Client are
// the caller's.
SeamlessServices handoff_services(std::u16string base_path, HANDLE update_event,
                                  std::function<bool(std::uint32_t)> product_running,
                                  std::function<bool(ProductVersion, std::string_view)> launch);

}  // namespace zelkora::state
