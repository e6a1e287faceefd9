#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ui/text_wrap.h"

namespace {

using zelkora::ui::TextMeasurer;
using zelkora::ui::wrap_text;
using zelkora::ui::wrapped_line_count;
using Lines = std::vector<std::u16string>;

// Ten pixels per UTF-16 unit, like a monospace font.
const TextMeasurer kMonospace = zelkora::ui::estimate_measurer(10);

struct WrapCase {
    const char* name;
    std::u16string text;
    double max_width;
    Lines expected;
};

class WrapText : public testing::TestWithParam<WrapCase> {};

TEST_P(WrapText, BreaksIntoLines) {
    EXPECT_EQ(wrap_text(GetParam().text, GetParam().max_width, kMonospace), GetParam().expected);
}

const std::u16string kEmoji = u"\U0001F600";

INSTANTIATE_TEST_SUITE_P(
    Cases, WrapText,
    testing::Values(
        WrapCase{"empty_text_one_empty_line", u"", 100, {u""}},
        WrapCase{"fits_on_one_line", u"ab cd", 50, {u"ab cd"}},
        WrapCase{"pair_too_wide_each_word_fits", u"ab cd", 40, {u"ab", u"cd"}},
        WrapCase{"exact_fit_is_a_fit", u"abc de", 60, {u"abc de"}},
        WrapCase{"one_unit_over", u"abc de", 59, {u"abc", u"de"}},
        WrapCase{"long_word_longest_prefixes", u"abcdefghij", 30, {u"abc", u"def", u"ghi", u"j"}},
        WrapCase{"long_word_after_short_one", u"a bcdefg", 30, {u"a", u"bcd", u"efg"}},
        WrapCase{"nothing_fits_one_char_per_line", u"abc", 5, {u"a", u"b", u"c"}},
        WrapCase{"zero_width", u"ab cd", 0, {u"a", u"b", u"c", u"d"}},
        WrapCase{"crlf_crlf_gives_empty_line", u"one\r\n\r\ntwo", 100, {u"one", u"", u"two"}},
        WrapCase{"trailing_feed_gives_final_empty_line", u"a\n", 100, {u"a", u""}},
        WrapCase{"all_trailing_crs_removed", u"a\r\r\nb", 100, {u"a", u"b"}},
        WrapCase{"inner_cr_kept", u"a\rb", 100, {u"a\rb"}},
        WrapCase{"leading_spaces_dropped", u"   ab", 100, {u"ab"}},
        WrapCase{"inner_space_runs_kept", u"a   b", 100, {u"a   b"}},
        WrapCase{"space_run_at_break", u"ab   cd", 40, {u"ab  ", u"cd"}},
        WrapCase{"hangul_without_spaces", u"설치파일무결성확인", 40, {u"설치파일", u"무결성확", u"인"}},
        WrapCase{"hangul_words", u"설치를 마쳤어요 다시 시도하세요", 90,
                 {u"설치를 마쳤어요", u"다시 시도하세요"}},
        WrapCase{"surrogate_pair_kept_whole", u"ab" + kEmoji + u"cd", 30,
                 {u"ab", kEmoji + u"c", u"d"}},
        WrapCase{"surrogate_pair_alone_too_wide", kEmoji + kEmoji, 10, {kEmoji, kEmoji}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WrapText, LongWordsCostLogarithmicMeasurements) {
    int measurements = 0;
    const TextMeasurer counting = [&](std::u16string_view text) {
        ++measurements;
        return static_cast<double>(text.size());
    };
    const std::u16string word(4096, u'x');
    const Lines lines = wrap_text(word, 2000, counting);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].size(), 96u);
    // Two cuts of a 12-step binary search each, plus the fit checks.
    EXPECT_LE(measurements, 30);
}

TEST(WrapText, MeasurerThatNeverFitsStillEnds) {
    const TextMeasurer broken = [](std::u16string_view) { return std::nan(""); };
    EXPECT_EQ(wrap_text(u"ab c", 100, broken), (Lines{u"a", u"b", u"c"}));
}

TEST(WrappedLineCount, EmptyTextHasNoLines) {
    EXPECT_EQ(wrapped_line_count(u"", 100, 12, 2.0, kMonospace), 0);
    EXPECT_EQ(wrapped_line_count(u"", 100, 12, 2.0, TextMeasurer{}), 0);
}

TEST(WrappedLineCount, UsesTheLayoutMeasurerAtScaledWidth) {
    // 20 DIPs at scale 2 is 40 pixels: four monospace units per line.
    EXPECT_EQ(wrapped_line_count(u"abcdefgh ij", 20, 99, 2.0, kMonospace), 3);
}

TEST(WrappedLineCount, FallsBackToTheEstimateAtScaledSize) {
    // Size 5 at scale 2 is 10 pixels per unit; width 20 DIPs is 40 pixels.
    EXPECT_EQ(wrapped_line_count(u"abcdefgh ij", 20, 5, 2.0, TextMeasurer{}), 3);
    // Size 5 at scale 1 is 5 pixels per unit; width 40 DIPs holds eight units.
    EXPECT_EQ(wrapped_line_count(u"abcdefgh ij", 40, 5, 1.0, TextMeasurer{}), 2);
}

}  // namespace
