#pragma once
// Milliseconds since this process was created, for the first-paint benchmarks.
#include <windows.h>

inline double milliseconds_since_process_start() {
    FILETIME created{}, exited{}, kernel{}, user{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;  // 100 ns units
}
