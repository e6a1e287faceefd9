#include <gtest/gtest.h>

#include "core/text_encoding.h"

namespace {

struct Utf8Case {
    const char* name;
    std::string bytes;
    bool valid;
    std::u16string text;
};

class Utf8Decoding : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Decoding, DecodesStrictly) {
    const auto& c = GetParam();
    const auto decoded = zelkora::utf8_to_utf16_strict(c.bytes);
    ASSERT_EQ(decoded.has_value(), c.valid);
    if (c.valid) EXPECT_EQ(*decoded, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Decoding,
    testing::Values(
        Utf8Case{"ascii", "abc", true, u"abc"},
        Utf8Case{"hangul", "\xec\x99\x84\xeb\xa3\x8c", true, u"완료"},
        Utf8Case{"two_byte", "\xc3\xa9", true, u"\u00e9"},
        Utf8Case{"astral_becomes_surrogate_pair", "\xf0\x9f\x98\x80", true, u"\U0001F600"},
        Utf8Case{"highest_code_point", "\xf4\x8f\xbf\xbf", true, u"\U0010FFFF"},
        Utf8Case{"embedded_nul_is_a_character", std::string("a\0b", 3), true, std::u16string(u"a\0b", 3)},
        Utf8Case{"overlong_slash", "\xc0\xaf", false, u""},
        Utf8Case{"overlong_three_byte", "\xe0\x80\xaf", false, u""},
        Utf8Case{"overlong_four_byte", "\xf0\x80\x80\xaf", false, u""},
        Utf8Case{"encoded_high_surrogate", "\xed\xa0\x80", false, u""},
        Utf8Case{"encoded_low_surrogate", "\xed\xbf\xbf", false, u""},
        Utf8Case{"above_u10ffff", "\xf4\x90\x80\x80", false, u""},
        Utf8Case{"five_byte_lead", "\xf8\x88\x80\x80\x80", false, u""},
        Utf8Case{"stray_continuation", "a\x80", false, u""},
        Utf8Case{"truncated_sequence", "\xec\x99", false, u""},
        Utf8Case{"lead_followed_by_ascii", "\xec" "ab", false, u""},
        Utf8Case{"ff_fe", "\xff\xfe", false, u""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Utf16ToUtf8, EncodesPairsAndReplacesLoneSurrogates) {
    EXPECT_EQ(zelkora::utf16_to_utf8(u"완료 \U0001F600"), "\xec\x99\x84\xeb\xa3\x8c \xf0\x9f\x98\x80");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(zelkora::utf16_to_utf8(lone), "a\xef\xbf\xbd" "b");
}

TEST(PrintableAscii, RefusesControlAndWideCharacters) {
    EXPECT_EQ(zelkora::printable_ascii_from_utf16(u"1.0.0 ~"), "1.0.0 ~");
    EXPECT_FALSE(zelkora::printable_ascii_from_utf16(u"a\tb"));
    EXPECT_FALSE(zelkora::printable_ascii_from_utf16(u"a\u007fb"));
    EXPECT_FALSE(zelkora::printable_ascii_from_utf16(u"완료"));
}

}  // namespace
