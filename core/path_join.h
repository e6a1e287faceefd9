#pragma once
// Joins a folder and a relative part with exactly one '\' between them, also
// when the folder is a drive root such as "C:\" or "\\?\C:\".
// Portable: no <windows.h>.

#include <string>
#include <string_view>

namespace zelkora::core {

namespace detail {
template <typename Char>
std::basic_string<Char> join_path(std::basic_string_view<Char> folder, std::basic_string_view<Char> relative) {
    std::basic_string<Char> joined(folder);
    if (joined.empty() || joined.back() != Char('\\')) joined.push_back(Char('\\'));
    joined.append(relative);
    return joined;
}
}  // namespace detail

inline std::u16string join_path(std::u16string_view folder, std::u16string_view relative) {
    return detail::join_path(folder, relative);
}

inline std::wstring join_path(std::wstring_view folder, std::wstring_view relative) {
    return detail::join_path(folder, relative);
}

}  // namespace zelkora::core
