#pragma once
// GetFullPathNameW for the absolute path rule.

#include <optional>
#include <string>
#include <string_view>

namespace zelkora::payload {

// The full path of path as GetFullPathNameW gives it; nothing when the call
// fails or the path holds a NUL, which the call would silently cut at.
std::optional<std::u16string> full_path_win32(std::u16string_view path);

// The whole absolute path rule, judged against GetFullPathNameW.
bool passes_absolute_rule(std::u16string_view path);

}  // namespace zelkora::payload
