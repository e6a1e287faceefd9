#include "state/version_folders.h"

#include <algorithm>

#include "state/version.h"

namespace zelkora::state {
namespace {

bool is_space(char c, MetadataSpace space) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return true;
    // The rest of the regular-expression class \s in the "C" locale.
    return space == MetadataSpace::pattern && (c == '\v' || c == '\f');
}
bool is_lower_hex_unit(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'); }

std::string_view skip_space(std::string_view text, MetadataSpace space) {
    while (!text.empty() && is_space(text.front(), space)) text.remove_prefix(1);
    return text;
}

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

std::optional<std::string> version_of_folder_name(std::u16string_view name) {
    std::string ascii;
    for (const char16_t unit : name) {
        if (unit < 32 || unit > 126) return std::nullopt;
        ascii.push_back(static_cast<char>(unit));
    }
    if (!is_well_formed_version(ascii)) return std::nullopt;
    return ascii;
}

bool is_leftover_folder_name(std::u16string_view name) {
    const std::size_t marker = name.find(kLeftoverMarker);
    if (marker == std::u16string_view::npos) return false;
    const std::u16string_view tag = name.substr(marker + kLeftoverMarker.size());
    return version_of_folder_name(name.substr(0, marker)).has_value() && tag.size() == kLeftoverTagLength &&
           std::all_of(tag.begin(), tag.end(), is_lower_hex_unit);
}

bool metadata_member_matches(std::string_view bytes, std::string_view member, std::string_view value,
                             MetadataSpace space) {
    const std::string name = quoted(member);
    const std::string expected = quoted(value);
    for (std::size_t at = bytes.find(name); at != std::string_view::npos; at = bytes.find(name, at + 1)) {
        std::string_view rest = skip_space(bytes.substr(at + name.size()), space);
        if (!rest.starts_with(':')) continue;
        if (skip_space(rest.substr(1), space).starts_with(expected)) return true;
    }
    return false;
}

bool metadata_matches(std::string_view bytes, std::string_view product_word, std::string_view version,
                      MetadataSpace space) {
    return metadata_member_matches(bytes, "product", product_word, space) &&
           metadata_member_matches(bytes, "version", version, space);
}

}  // namespace zelkora::state
