#include "payload/path_rules.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace zelkora::payload {
namespace {

bool is_separator(char16_t unit) { return unit == u'/' || unit == u'\\'; }

bool is_forbidden_unit(char16_t unit) {
    return unit < 32 || std::u16string_view(u"\"*:<>?|").find(unit) != std::u16string_view::npos;
}

char16_t ascii_upper(char16_t unit) { return unit >= u'a' && unit <= u'z' ? unit - 32 : unit; }

bool is_device_digit(char16_t unit) {
    // Windows also opens COM1 for "COM¹" (and so on), so the superscript
    // digits count as digits here.
    return (unit >= u'0' && unit <= u'9') || unit == u'\u00B9' || unit == u'\u00B2' ||
           unit == u'\u00B3';
}

// Windows matches device names on the part before the first dot with
// trailing spaces dropped, so "nul .txt" is the NUL device as well.
bool is_reserved_device_name(std::u16string_view component) {
    std::u16string_view stem = component.substr(0, component.find(u'.'));
    while (stem.ends_with(u' ')) stem.remove_suffix(1);
    std::u16string upper;
    for (const char16_t unit : stem) upper.push_back(ascii_upper(unit));
    for (const std::u16string_view name : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"}) {
        if (upper == name) return true;
    }
    return upper.size() == 4 && (upper.starts_with(u"COM") || upper.starts_with(u"LPT")) &&
           is_device_digit(upper[3]);
}

bool is_safe_component(std::u16string_view component) {
    if (component.empty() || component.size() > kMaxPathComponentUnits) return false;
    // Also refuses "." and "..", which end in a dot.
    if (component.front() == u' ' || component.back() == u' ' || component.back() == u'.') return false;
    if (std::any_of(component.begin(), component.end(), is_forbidden_unit)) return false;
    return !is_reserved_device_name(component);
}

bool is_ascii_letter(char16_t unit) { return ascii_upper(unit) >= u'A' && ascii_upper(unit) <= u'Z'; }

// Lower-case units whose simple upper-case mapping is one unit that maps
// back to them, for Latin, Greek, Cyrillic, Armenian and the full-width
// forms, derived from the Unicode character database. Mappings from other
// scripts into ASCII (dotless i, long s) are left out, so a non-ASCII name
// never equals an ASCII one. A row maps first..last, or every second unit
// from first when stride is 2, by adding delta.
struct CaseRow {
    char16_t first;
    char16_t last;
    std::int16_t delta;
    std::uint8_t stride;
};

constexpr std::array<CaseRow, 83> kUpperCaseRows = {{
    {0x0061, 0x007A, -32, 1},
    {0x00E0, 0x00F6, -32, 1},
    {0x00F8, 0x00FE, -32, 1},
    {0x00FF, 0x00FF, 121, 1},
    {0x0101, 0x012F, -1, 2},
    {0x0133, 0x0137, -1, 2},
    {0x013A, 0x0148, -1, 2},
    {0x014B, 0x0177, -1, 2},
    {0x017A, 0x017E, -1, 2},
    {0x0180, 0x0180, 195, 1},
    {0x0183, 0x0185, -1, 2},
    {0x0188, 0x0188, -1, 1},
    {0x018C, 0x018C, -1, 1},
    {0x0192, 0x0192, -1, 1},
    {0x0195, 0x0195, 97, 1},
    {0x0199, 0x0199, -1, 1},
    {0x019A, 0x019A, 163, 1},
    {0x019E, 0x019E, 130, 1},
    {0x01A1, 0x01A5, -1, 2},
    {0x01A8, 0x01A8, -1, 1},
    {0x01AD, 0x01AD, -1, 1},
    {0x01B0, 0x01B0, -1, 1},
    {0x01B4, 0x01B6, -1, 2},
    {0x01B9, 0x01B9, -1, 1},
    {0x01BD, 0x01BD, -1, 1},
    {0x01BF, 0x01BF, 56, 1},
    {0x01C6, 0x01C6, -2, 1},
    {0x01C9, 0x01C9, -2, 1},
    {0x01CC, 0x01CC, -2, 1},
    {0x01CE, 0x01DC, -1, 2},
    {0x01DD, 0x01DD, -79, 1},
    {0x01DF, 0x01EF, -1, 2},
    {0x01F3, 0x01F3, -2, 1},
    {0x01F5, 0x01F5, -1, 1},
    {0x01F9, 0x021F, -1, 2},
    {0x0223, 0x0233, -1, 2},
    {0x023C, 0x023C, -1, 1},
    {0x023F, 0x0240, 10815, 1},
    {0x0242, 0x0242, -1, 1},
    {0x0247, 0x024F, -1, 2},
    {0x0371, 0x0373, -1, 2},
    {0x0377, 0x0377, -1, 1},
    {0x037B, 0x037D, 130, 1},
    {0x03AC, 0x03AC, -38, 1},
    {0x03AD, 0x03AF, -37, 1},
    {0x03B1, 0x03C1, -32, 1},
    {0x03C3, 0x03CB, -32, 1},
    {0x03CC, 0x03CC, -64, 1},
    {0x03CD, 0x03CE, -63, 1},
    {0x03D7, 0x03D7, -8, 1},
    {0x03D9, 0x03EF, -1, 2},
    {0x03F2, 0x03F2, 7, 1},
    {0x03F3, 0x03F3, -116, 1},
    {0x03F8, 0x03F8, -1, 1},
    {0x03FB, 0x03FB, -1, 1},
    {0x0430, 0x044F, -32, 1},
    {0x0450, 0x045F, -80, 1},
    {0x0461, 0x0481, -1, 2},
    {0x048B, 0x04BF, -1, 2},
    {0x04C2, 0x04CE, -1, 2},
    {0x04CF, 0x04CF, -15, 1},
    {0x04D1, 0x052F, -1, 2},
    {0x0561, 0x0586, -48, 1},
    {0x1E01, 0x1E95, -1, 2},
    {0x1EA1, 0x1EFF, -1, 2},
    {0x1F00, 0x1F07, 8, 1},
    {0x1F10, 0x1F15, 8, 1},
    {0x1F20, 0x1F27, 8, 1},
    {0x1F30, 0x1F37, 8, 1},
    {0x1F40, 0x1F45, 8, 1},
    {0x1F51, 0x1F57, 8, 2},
    {0x1F60, 0x1F67, 8, 1},
    {0x1F70, 0x1F71, 74, 1},
    {0x1F72, 0x1F75, 86, 1},
    {0x1F76, 0x1F77, 100, 1},
    {0x1F78, 0x1F79, 128, 1},
    {0x1F7A, 0x1F7B, 112, 1},
    {0x1F7C, 0x1F7D, 126, 1},
    {0x1FB0, 0x1FB1, 8, 1},
    {0x1FD0, 0x1FD1, 8, 1},
    {0x1FE0, 0x1FE1, 8, 1},
    {0x1FE5, 0x1FE5, 7, 1},
    {0xFF41, 0xFF5A, -32, 1},
}};

}  // namespace

std::optional<std::u16string> normalize_relative_path(std::u16string_view path) {
    if (path.empty() || path.size() > kMaxRelativePathUnits) return std::nullopt;
    std::u16string normalized;
    normalized.reserve(path.size());
    std::size_t start = 0;
    for (;;) {
        const auto end = std::find_if(path.begin() + start, path.end(), is_separator) - path.begin();
        const auto component = path.substr(start, end - start);
        if (!is_safe_component(component)) return std::nullopt;
        normalized.append(component);
        if (static_cast<std::size_t>(end) == path.size()) return normalized;
        normalized.push_back(u'\\');
        start = end + 1;
    }
}

bool passes_absolute_path_syntax(std::u16string_view path) {
    if (path.size() < kMinAbsolutePathUnits || path.size() > kMaxAbsolutePathUnits) return false;
    if (!is_ascii_letter(path[0]) || path[1] != u':' || path[2] != u'\\') return false;
    if (path.size() > kMinAbsolutePathUnits && path.back() == u'\\') return false;
    const auto rest = path.substr(2);
    return rest.find_first_of(std::u16string_view(u"/:\0", 3)) == std::u16string_view::npos;
}

bool passes_absolute_path_rule(std::u16string_view path, const FullPathFunction& full_path) {
    if (!passes_absolute_path_syntax(path) || !full_path) return false;
    const auto full = full_path(path);
    return full && *full == path;
}

std::optional<WorkName> parse_work_name(std::u16string_view file_name) {
    // Exactly as the placement writes them: a suffix in lower case, a tag of
    // lower-case hex digits, and a name before it.
    static constexpr std::u16string_view kTemporarySuffix = u".zelkora-new";
    static constexpr std::u16string_view kBackupSuffix = u".zelkora-old";
    WorkName work;
    std::u16string_view rest = file_name;
    if (rest.ends_with(kTemporarySuffix)) {
        work.kind = WorkNameKind::temporary;
        rest.remove_suffix(kTemporarySuffix.size());
    } else if (rest.ends_with(kBackupSuffix)) {
        work.kind = WorkNameKind::backup;
        rest.remove_suffix(kBackupSuffix.size());
    } else {
        return std::nullopt;
    }
    if (rest.size() < kWorkTagUnits + 2 || rest[rest.size() - kWorkTagUnits - 1] != u'.') return std::nullopt;
    const std::u16string_view tag = rest.substr(rest.size() - kWorkTagUnits);
    const auto lower_hex = [](char16_t unit) { return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f'); };
    if (!std::all_of(tag.begin(), tag.end(), lower_hex)) return std::nullopt;
    work.tag = tag;
    work.original = rest.substr(0, rest.size() - kWorkTagUnits - 1);
    return work;
}

char16_t upcase_unit(char16_t unit) {
    if (unit < 0x80) return ascii_upper(unit);
    const auto row = std::lower_bound(kUpperCaseRows.begin(), kUpperCaseRows.end(), unit,
                                      [](const CaseRow& r, char16_t u) { return r.last < u; });
    if (row == kUpperCaseRows.end() || unit < row->first) return unit;
    if ((unit - row->first) % row->stride != 0) return unit;
    return static_cast<char16_t>(unit + row->delta);
}

std::u16string fold_case(std::u16string_view path) {
    std::u16string folded(path);
    for (char16_t& unit : folded) unit = upcase_unit(unit);
    return folded;
}

bool paths_equal_ignoring_case(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upcase_unit(a[i]) != upcase_unit(b[i])) return false;
    }
    return true;
}

}  // namespace zelkora::payload
