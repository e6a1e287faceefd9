#pragma once
// The Client's side of an update: the hand-off record it leaves for the
// setup, the event the setup sets when it answers, and the bootstrap it
// stages to start the setup.

#include <windows.h>

#include <optional>
#include <string>

#include "core/owners_win32.h"

namespace zelkora::demo {

inline constexpr wchar_t kRecordKey[] = L"Software\\Zelkora\\UpdateHandoff\\Client";
inline constexpr wchar_t kUpdateVersion[] = L"1.0.0";

struct WindowPosition {
    RECT bounds{};
    WINDOWPLACEMENT placement{};
};

// A started request: the event to wait for and the staged bootstrap that
// runs the setup.
struct PendingUpdate {
    std::wstring token;
    std::wstring staged_bootstrap;
    UniqueHandle event;
    UniqueHandle bootstrap;
};

// What the setup wrote into the record when it answered.
struct Answer {
    std::wstring outcome;
    std::wstring code;
    DWORD stage = 0;
};

// Writes the record, creates the event, stages the bootstrap and starts it
// with the setup's path. On failure nothing stays behind and failed_step
// names what failed (GetLastError tells why).
std::optional<PendingUpdate> request_update(const std::wstring& own_version, const std::wstring& setup,
                                            const WindowPosition& position, bool dark,
                                            std::wstring& failed_step);

std::optional<Answer> read_answer();

}  // namespace zelkora::demo
