#pragma once
// The two syntactic rules every path from the installer script, and every
// folder a payload request relies on, must pass before the file system is
// touched; and the case-insensitive comparison of paths. Portable: no
// <windows.h>.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/path_join.h"

namespace zelkora::payload {

inline constexpr std::size_t kMaxRelativePathUnits = 1024;
inline constexpr std::size_t kMaxPathComponentUnits = 255;
inline constexpr std::size_t kMinAbsolutePathUnits = 3;
inline constexpr std::size_t kMaxAbsolutePathUnits = 32000;

// Checks a relative path from a "file" line and gives it with its components
// joined by '\'. Nothing when any component is unsafe: leading, trailing and
// doubled separators are refused, never repaired.
std::optional<std::u16string> normalize_relative_path(std::u16string_view path);

// GetFullPathNameW on Windows; nothing when it fails.
using FullPathFunction = std::function<std::optional<std::u16string>(std::u16string_view)>;

// The absolute path rule without the full-path comparison: "X:\" followed by
// a path that does not end in '\', with no '/', no further ':' and no NUL.
bool passes_absolute_path_syntax(std::u16string_view path);

// The whole absolute path rule: the syntax, and the full path of the text is
// the text itself, so it holds no "." or ".." segment, doubled separator or
// trailing dot or space.
bool passes_absolute_path_rule(std::u16string_view path, const FullPathFunction& full_path);

using core::join_path;

// The names a placement gives its own files beside a target: the temporary
// "{name}.{tag}.zelkora-new" and the backup "{name}.{tag}.zelkora-old", with a
// tag of 12 lower-case hex digits.
inline constexpr std::size_t kWorkTagUnits = 12;
enum class WorkNameKind { temporary, backup };
struct WorkName {
    WorkNameKind kind = WorkNameKind::temporary;
    std::u16string original;  // the target's name, never empty
    std::u16string tag;
};
// Nothing when the file name is not a work name.
std::optional<WorkName> parse_work_name(std::u16string_view file_name);

// Upper-cases one UTF-16 unit for ordinal case-insensitive comparison.
char16_t upcase_unit(char16_t unit);
// The comparison key of a path: every unit upper-cased.
std::u16string fold_case(std::u16string_view path);
// Same length and equal unit by unit after upper-casing.
bool paths_equal_ignoring_case(std::u16string_view a, std::u16string_view b);

}  // namespace zelkora::payload
