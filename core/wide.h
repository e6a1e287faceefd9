#pragma once
// On Windows wchar_t and char16_t are both 16-bit units, so crossing between
// the portable logic (std::u16string) and Win32 (std::wstring) is a copy.

#include <string>
#include <string_view>

namespace zelkora {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows builds only");

inline std::wstring to_wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

inline std::u16string from_wide(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace zelkora
