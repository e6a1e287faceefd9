#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/text_encoding.h"
#include "payload/path_rules.h"

namespace {

using namespace zelkora::payload;

std::u16string units(std::size_t count, char16_t unit = u'a') { return std::u16string(count, unit); }

struct RelativeCase {
    const char* name;
    std::u16string path;
    std::optional<std::u16string> normalized;
};

class RelativePathRule : public testing::TestWithParam<RelativeCase> {};

TEST_P(RelativePathRule, NormalizesOrRefuses) {
    EXPECT_EQ(normalize_relative_path(GetParam().path), GetParam().normalized);
}

// Components of 255, 255, 255, 254 and `last` units: 1023 + last units.
std::u16string long_path(std::size_t last) {
    return units(255, u'a') + u"\\" + units(255, u'b') + u"\\" + units(255, u'c') + u"\\" +
           units(254, u'd') + u"\\" + units(last, u'e');
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RelativePathRule,
    testing::Values(
        RelativeCase{"mixed_separators", u"A/B\\c.txt", u"A\\B\\c.txt"},
        RelativeCase{"single_name", u"Zelkora.exe", u"Zelkora.exe"},
        RelativeCase{"non_ascii", u"\uD55C\uAE00/\u00E9t\u00E9.txt", u"\uD55C\uAE00\\\u00E9t\u00E9.txt"},
        RelativeCase{"leading_dot_and_inner_space", u".config/a b.txt", u".config\\a b.txt"},
        RelativeCase{"console_is_no_device", u"CONSOLE", u"CONSOLE"},
        RelativeCase{"com10_is_no_device", u"COM10", u"COM10"},
        RelativeCase{"com_letter_is_no_device", u"COMX.txt", u"COMX.txt"},
        RelativeCase{"device_inside_a_name", u"nul_x.txt", u"nul_x.txt"},
        RelativeCase{"longest_path", long_path(1), long_path(1)},
        RelativeCase{"longest_component", units(255), units(255)},
        RelativeCase{"empty", u"", std::nullopt},
        RelativeCase{"doubled_separator", u"a//b", std::nullopt},
        RelativeCase{"doubled_backslash", u"a\\\\b", std::nullopt},
        RelativeCase{"leading_separator", u"/a", std::nullopt},
        RelativeCase{"trailing_separator", u"a/", std::nullopt},
        RelativeCase{"dot", u"a/./b", std::nullopt},
        RelativeCase{"dot_dot", u"a/../b", std::nullopt},
        RelativeCase{"only_dot_dot", u"..", std::nullopt},
        RelativeCase{"nul_with_extension", u"nul.txt", std::nullopt},
        RelativeCase{"com1", u"COM1", std::nullopt},
        RelativeCase{"com0_lower_case", u"com0.log", std::nullopt},
        RelativeCase{"lpt9", u"LPT9.dat", std::nullopt},
        RelativeCase{"aux_folder", u"x/Aux/y", std::nullopt},
        RelativeCase{"prn", u"prn", std::nullopt},
        RelativeCase{"conin", u"conin$", std::nullopt},
        RelativeCase{"conout_with_extension", u"CONOUT$.txt", std::nullopt},
        RelativeCase{"con_stem_of_folder", u"con.d/x.txt", std::nullopt},
        RelativeCase{"device_stem_with_trailing_space", u"nul .txt", std::nullopt},
        RelativeCase{"device_with_superscript_digit", u"COM\u00B9", std::nullopt},
        RelativeCase{"trailing_dot", u"a./b", std::nullopt},
        RelativeCase{"trailing_space", u"a /b", std::nullopt},
        RelativeCase{"leading_space", u" a", std::nullopt},
        RelativeCase{"colon_stream", u"a.txt:evil", std::nullopt},
        RelativeCase{"drive_letter", u"C:/a", std::nullopt},
        RelativeCase{"asterisk", u"a*b", std::nullopt},
        RelativeCase{"question_mark", u"a?b", std::nullopt},
        RelativeCase{"angle_brackets", u"a<b>", std::nullopt},
        RelativeCase{"vertical_bar", u"a|b", std::nullopt},
        RelativeCase{"double_quote", u"a\"b", std::nullopt},
        RelativeCase{"tab", u"a\tb", std::nullopt},
        RelativeCase{"nul_unit", std::u16string(u"a\0b", 3), std::nullopt},
        RelativeCase{"unit_31", u"a\x1f", std::nullopt},
        RelativeCase{"path_of_1025_units", long_path(2), std::nullopt},
        RelativeCase{"component_of_256_units", units(256), std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RelativePathRule, LengthLimitsAreExact) {
    EXPECT_EQ(long_path(1).size(), 1024u);
    EXPECT_EQ(long_path(2).size(), 1025u);
}

// A model of GetFullPathNameW for drive-absolute paths, after Wine's
// measured behaviour: "/" becomes "\", empty and "." segments vanish, ".."
// removes one, trailing dots and spaces of a segment are stripped, and a
// trailing separator is kept.
std::optional<std::u16string> model_full_path(std::u16string_view path) {
    if (path.size() < 3) return std::nullopt;
    std::vector<std::u16string> segments;
    std::u16string segment;
    const std::u16string_view rest = path.substr(3);
    for (std::size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && rest[i] != u'\\' && rest[i] != u'/') {
            segment.push_back(rest[i]);
            continue;
        }
        if (segment == u"..") {
            if (!segments.empty()) segments.pop_back();
        } else if (segment != u".") {
            while (!segment.empty() && (segment.back() == u'.' || segment.back() == u' ')) segment.pop_back();
            if (!segment.empty()) segments.push_back(segment);
        }
        segment.clear();
    }
    std::u16string full(path.substr(0, 3));
    for (std::size_t i = 0; i < segments.size(); ++i) full += (i ? u"\\" : u"") + segments[i];
    if (!segments.empty() && (path.back() == u'\\' || path.back() == u'/')) full += u"\\";
    return full;
}

struct AbsoluteCase {
    const char* name;
    std::u16string path;
    bool syntax;
    bool rule;
};

class AbsolutePathRule : public testing::TestWithParam<AbsoluteCase> {};

TEST_P(AbsolutePathRule, ChecksSyntaxThenFullPath) {
    const auto& c = GetParam();
    EXPECT_EQ(passes_absolute_path_syntax(c.path), c.syntax);
    EXPECT_EQ(passes_absolute_path_rule(c.path, model_full_path), c.rule);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AbsolutePathRule,
    testing::Values(
        AbsoluteCase{"drive_root", u"C:\\", true, true},
        AbsoluteCase{"plain_folder", u"C:\\Program Files\\Zelkora", true, true},
        AbsoluteCase{"lower_case_drive", u"d:\\x", true, true},
        AbsoluteCase{"longest", u"C:\\" + units(31997), true, true},
        AbsoluteCase{"too_long", u"C:\\" + units(31998), false, false},
        AbsoluteCase{"trailing_separator", u"C:\\a\\", false, false},
        AbsoluteCase{"forward_slash", u"C:/a", false, false},
        AbsoluteCase{"inner_forward_slash", u"C:\\a/b", false, false},
        AbsoluteCase{"colon_later", u"C:\\a:b", false, false},
        AbsoluteCase{"nul_unit", std::u16string(u"C:\\a\0b", 6), false, false},
        AbsoluteCase{"relative", u"a\\b", false, false},
        AbsoluteCase{"drive_relative", u"C:a", false, false},
        AbsoluteCase{"too_short", u"C:", false, false},
        AbsoluteCase{"digit_for_drive", u"1:\\a", false, false},
        AbsoluteCase{"unc", u"\\\\server\\share", false, false},
        AbsoluteCase{"device_prefix", u"\\\\?\\C:\\a", false, false},
        AbsoluteCase{"dot_dot_segment", u"C:\\a\\..\\b", true, false},
        AbsoluteCase{"dot_segment", u"C:\\a\\.\\b", true, false},
        AbsoluteCase{"doubled_separator", u"C:\\a\\\\b", true, false},
        AbsoluteCase{"trailing_dot", u"C:\\a\\b.", true, false},
        AbsoluteCase{"trailing_space", u"C:\\a\\b ", true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AbsolutePathRule, FailsClosedWithoutAFullPath) {
    EXPECT_FALSE(passes_absolute_path_rule(u"C:\\a", FullPathFunction()));
    EXPECT_FALSE(passes_absolute_path_rule(u"C:\\a", [](std::u16string_view) { return std::nullopt; }));
    // The comparison is case-sensitive: a full path that differs in letter
    // case only is a different path here.
    EXPECT_FALSE(passes_absolute_path_rule(u"C:\\a", [](std::u16string_view) {
        return std::optional<std::u16string>(u"C:\\A");
    }));
}

TEST(JoinPath, PutsExactlyOneSeparatorBetween) {
    EXPECT_EQ(join_path(u"C:\\", u"Zelkora"), u"C:\\Zelkora");
    EXPECT_EQ(join_path(u"C:\\Program Files", u"Zelkora\\Client"), u"C:\\Program Files\\Zelkora\\Client");
}

struct CaseFoldCase {
    const char* name;
    std::u16string a;
    std::u16string b;
    bool equal;
};

class CaseInsensitivePaths : public testing::TestWithParam<CaseFoldCase> {};

TEST_P(CaseInsensitivePaths, CompareByUpperCaseUnits) {
    const auto& c = GetParam();
    EXPECT_EQ(paths_equal_ignoring_case(c.a, c.b), c.equal);
    EXPECT_EQ(fold_case(c.a) == fold_case(c.b), c.equal);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CaseInsensitivePaths,
    testing::Values(
        CaseFoldCase{"ascii", u"A\\b.TXT", u"a\\B.txt", true},
        CaseFoldCase{"latin1", u"\u00C4\u00D6\u00DE", u"\u00E4\u00F6\u00FE", true},
        CaseFoldCase{"y_diaeresis_crosses_blocks", u"\u0178", u"\u00FF", true},
        CaseFoldCase{"latin_extended_a_pairs", u"\u0100\u0139\u017D", u"\u0101\u013A\u017E", true},
        CaseFoldCase{"latin_extended_b", u"\u01CD\u0187\u01F8", u"\u01CE\u0188\u01F9", true},
        CaseFoldCase{"vietnamese", u"\u1EA0\u1EF8", u"\u1EA1\u1EF9", true},
        CaseFoldCase{"greek", u"\u0391\u03A9\u0386\u038F", u"\u03B1\u03C9\u03AC\u03CE", true},
        CaseFoldCase{"cyrillic", u"\u0416\u0401\u0462\u04C0", u"\u0436\u0451\u0463\u04CF", true},
        CaseFoldCase{"armenian", u"\u0531", u"\u0561", true},
        CaseFoldCase{"full_width", u"\uFF21", u"\uFF41", true},
        CaseFoldCase{"hangul_unchanged", u"\uD55C", u"\uD55C", true},
        CaseFoldCase{"different_letters", u"a", u"b", false},
        CaseFoldCase{"different_lengths", u"ab", u"a", false},
        CaseFoldCase{"sharp_s_is_not_ss", u"\u00DF", u"SS", false},
        CaseFoldCase{"dotless_i_is_not_ascii", u"\u0131", u"I", false},
        CaseFoldCase{"dotted_capital_i_is_not_ascii", u"\u0130", u"i", false},
        CaseFoldCase{"long_s_is_not_ascii", u"\u017F", u"S", false},
        CaseFoldCase{"kra_has_no_capital", u"\u0138", u"\u0139", false},
        CaseFoldCase{"multiplication_sign_is_no_letter", u"\u00D7", u"\u00F7", false}),
    [](const auto& info) { return std::string(info.param.name); });

// What a later placement may take for its own leftovers: only the exact form
// it writes, so nothing else in the Client's folder is ever touched.
TEST(WorkNames, OnlyThePlacementsOwnFormIsRecognised) {
    struct Case {
        std::u16string name;
        std::optional<WorkNameKind> kind;
        std::u16string original;
    };
    const std::vector<Case> cases{
        {u"Zelkora.exe.0123456789ab.zelkora-new", WorkNameKind::temporary, u"Zelkora.exe"},
        {u"a.fedcba987654.zelkora-old", WorkNameKind::backup, u"a"},
        {u"x.0123456789ab.zelkora-old.0123456789ab.zelkora-new", WorkNameKind::temporary,
         u"x.0123456789ab.zelkora-old"},
        {u".0123456789ab.zelkora-new", std::nullopt, u""},              // no name before the tag
        {u"a.0123456789AB.zelkora-new", std::nullopt, u""},             // upper-case tag
        {u"a.0123456789a.zelkora-new", std::nullopt, u""},              // 11 digits
        {u"a0123456789abc.zelkora-new", std::nullopt, u""},             // no dot before the tag
        {u"a.0123456789ag.zelkora-new", std::nullopt, u""},             // not hex
        {u"a.0123456789ab.ZELKORA-NEW", std::nullopt, u""},             // not our spelling
        {u"a.0123456789ab.zelkora-new.txt", std::nullopt, u""},
        {u"zelkora-client.json", std::nullopt, u""},
    };
    for (const Case& c : cases) {
        const auto work = parse_work_name(c.name);
        const std::string shown = zelkora::utf16_to_utf8(c.name);
        ASSERT_EQ(work.has_value(), c.kind.has_value()) << shown;
        if (!work) continue;
        EXPECT_EQ(work->kind, *c.kind) << shown;
        EXPECT_EQ(work->original, c.original) << shown;
        EXPECT_EQ(work->tag.size(), kWorkTagUnits) << shown;
    }
}

}  // namespace
