#pragma once
// What makes a folder below {root}\Zelkora\Client a Client version folder or
// the leftover of an interrupted removal, and the metadata match that proves
// a version folder. Portable: no <windows.h>.

#include <optional>
#include <string>
#include <string_view>

namespace zelkora::state {

inline constexpr std::string_view kClientProductWord = "Zelkora";
inline constexpr std::u16string_view kClientMetadataFile = u"zelkora-client.json";
inline constexpr std::size_t kMinMetadataBytes = 2;
inline constexpr std::size_t kMaxMetadataBytes = 4096;
inline constexpr std::u16string_view kLeftoverMarker = u".zelkora-old-";
inline constexpr std::size_t kLeftoverTagLength = 12;

// A folder name as a version: printable ASCII and well-formed, else nothing.
std::optional<std::string> version_of_folder_name(std::u16string_view name);

// "{version}.zelkora-old-{12 lower-case hex digits}" and nothing more.
bool is_leftover_folder_name(std::u16string_view name);

// The white space allowed around the colon: JSON's own (space, tab, CR, LF),
// as the removal's check takes it, or the regular-expression class \s (adds
// vertical tab and form feed), as the installed-version lookup takes it.
enum class MetadataSpace { json, pattern };

// Some occurrence of "member" in double quotes is followed by optional white
// space, a colon, optional white space and "value" in double quotes, byte for
// byte. Nothing is unescaped: a value written with escapes does not match.
bool metadata_member_matches(std::string_view bytes, std::string_view member, std::string_view value,
                             MetadataSpace space = MetadataSpace::pattern);

// Both "product" and "version" match.
bool metadata_matches(std::string_view bytes, std::string_view product_word, std::string_view version,
                      MetadataSpace space = MetadataSpace::pattern);

}  // namespace zelkora::state
