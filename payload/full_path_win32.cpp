#include "payload/full_path_win32.h"

#include <windows.h>

#include "core/wide.h"
#include "payload/path_rules.h"

namespace zelkora::payload {

std::optional<std::u16string> full_path_win32(std::u16string_view path) {
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return std::nullopt;
    const std::wstring input = to_wide(path);
    // The required size can change between calls if the current folder does,
    // so a few attempts are made before giving up.
    std::wstring buffer(input.size() + 64, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD length =
            ::GetFullPathNameW(input.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) return std::nullopt;
        if (length < buffer.size()) {
            buffer.resize(length);
            return from_wide(buffer);
        }
        buffer.assign(length + 1, L'\0');
    }
    return std::nullopt;
}

bool passes_absolute_rule(std::u16string_view path) { return passes_absolute_path_rule(path, full_path_win32); }

}  // namespace zelkora::payload
