#include "app/start_failures_win32.h"

#include <windows.h>

#include <string_view>

namespace zelkora::app {

// Built into the test variant's own objects (cmake/windows.cmake), so the
// release cannot be steered through the environment.
bool start_step_fails([[maybe_unused]] StartStep step) {
#if defined(ZELKORA_TEST_VARIANT_TRUSTS_CURRENT_USER)
    wchar_t value[32] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"ZELKORA_TEST_FAILING_START_STEP", value, 32);
    if (length == 0 || length >= 32) return false;
    const std::wstring_view name(value, length);
    switch (step) {
        case StartStep::gdiplus: return name == L"gdiplus";
        case StartStep::window: return name == L"window";
        case StartStep::splash: return name == L"splash";
        case StartStep::selftest_record: return name == L"selftest-record";
    }
#endif
    return false;
}

}  // namespace zelkora::app
