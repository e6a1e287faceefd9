#include "state/seamless_update_win32.h"

#include <utility>

#include "core/wide.h"
#include "state/handoff_registry_win32.h"

namespace zelkora::state {

UniqueHandle open_update_event(std::u16string_view token) {
    const std::wstring name = to_wide(update_event_name(token));
    return UniqueHandle(::OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name.c_str()));
}

SeamlessServices handoff_services(std::u16string base_path, HANDLE update_event,
                                  std::function<bool(std::uint32_t)> product_running,
                                  std::function<bool(ProductVersion, std::string_view)> launch) {
    SeamlessServices services;
    services.publish = [base = to_wide(base_path)](const PublishedOutcome& answer) { publish_outcome(base, answer); };
    services.signal_event = [update_event] {
        if (update_event) ::SetEvent(update_event);
    };
    services.product_running = std::move(product_running);
    services.launch = std::move(launch);
    return services;
}

}  // namespace zelkora::state
