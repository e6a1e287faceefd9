#include "state/update_staging.h"

#include <algorithm>
#include <array>

namespace zelkora::state {
namespace {

bool is_hex(char16_t unit) {
    return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f') || (unit >= u'A' && unit <= u'F');
}

char16_t ascii_lower(char16_t unit) { return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit; }

bool equal_ignoring_ascii_case(std::u16string_view a, std::u16string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char16_t x, char16_t y) { return ascii_lower(x) == ascii_lower(y); });
}

bool is_separator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

// Splits at the last separator; nothing when there is none or the path ends
// there, so a root or a bare name has no parent here.
std::optional<std::pair<std::u16string_view, std::u16string_view>> split_last(std::u16string_view path) {
    const auto last = std::find_if(path.rbegin(), path.rend(), is_separator);
    if (last == path.rend()) return std::nullopt;
    const std::size_t at = static_cast<std::size_t>(path.rend() - last) - 1;
    if (at + 1 == path.size() || at == 0) return std::nullopt;
    return std::pair{path.substr(0, at), path.substr(at + 1)};
}

}  // namespace

bool is_braced_guid(std::u16string_view name) {
    constexpr std::array<std::size_t, 5> kGroups = {8, 4, 4, 4, 12};
    if (name.size() != 38 || name.front() != u'{' || name.back() != u'}') return false;
    std::size_t at = 1;
    for (std::size_t group = 0; group < kGroups.size(); ++group) {
        if (group > 0 && name[at++] != u'-') return false;
        for (std::size_t i = 0; i < kGroups[group]; ++i) {
            if (!is_hex(name[at++])) return false;
        }
    }
    return at == 37;
}

std::optional<StagingFolders> staging_folders_of(std::u16string_view image_path, std::u16string_view release_name) {
    const auto file = split_last(image_path);
    if (!file || !equal_ignoring_ascii_case(file->second, release_name)) return std::nullopt;
    const auto folder = split_last(file->first);
    if (!folder || !is_braced_guid(folder->second)) return std::nullopt;
    return StagingFolders{std::u16string(file->first), std::u16string(folder->first)};
}

}  // namespace zelkora::state
