#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/text_item.h"

namespace {

using namespace zelkora::ui;
using namespace zelkora::ui::text_style;
using Lines = std::vector<std::u16string>;

// Ten pixels per UTF-16 unit at scale 1, twenty at scale 2.
TextMeasurer monospace(double scale) { return estimate_measurer(10 * scale); }

TextItem item(std::u16string text, double width, double height, double size, unsigned style,
              double line_height = 0) {
    return {std::move(text), 20, 30, width, height, size, line_height, 0, style};
}

TEST(TextWeight, BoldWinsOverSemibold) {
    EXPECT_EQ(text_weight(0), 400);
    EXPECT_EQ(text_weight(kSemibold), 600);
    EXPECT_EQ(text_weight(kBold), 700);
    EXPECT_EQ(text_weight(kBold | kSemibold), 700);
    EXPECT_EQ(text_weight(kMonospace), 400);
}

struct LineHeightCase {
    const char* name;
    TextItem item;
    double expected_px;  // at scale 2
};

class AutomaticLineHeight : public testing::TestWithParam<LineHeightCase> {};

TEST_P(AutomaticLineHeight, FollowsTheItemKind) {
    EXPECT_DOUBLE_EQ(place_text(GetParam().item, 2.0, 0.7, monospace(2)).line_height, GetParam().expected_px);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AutomaticLineHeight,
    testing::Values(LineHeightCase{"multi_line", item(u"a", 100, 40, 12, 0), 2 * 18.0},
                    LineHeightCase{"single_line_middle_takes_the_box", item(u"a", 100, 32, 12, kSingleLine | kMiddle), 2 * 32.0},
                    LineHeightCase{"single_line_top", item(u"a", 100, 32, 12, kSingleLine), 2 * 17.4},
                    LineHeightCase{"given_wins", item(u"a", 100, 32, 12, kSingleLine | kMiddle, 21), 2 * 21.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlaceText, SingleLineIsNeverWrapped) {
    const auto placement = place_text(item(u"far too long for its box", 30, 20, 12, kSingleLine), 1.0, 0.7, monospace(1));
    EXPECT_EQ(placement.lines, Lines{u"far too long for its box"});
}

struct CutCase {
    const char* name;
    double box_height;
    Lines expected;
};

class LinesThatFit : public testing::TestWithParam<CutCase> {};

// Six words of four units at width 40 make six lines of 18 px each.
TEST_P(LinesThatFit, KeepTheFirstAndEndTheLastWithAnEllipsis) {
    const auto placement =
        place_text(item(u"aaaa bbbb cccc dddd eeee ffff", 40, GetParam().box_height, 12, 0, 18), 1.0, 0.7, monospace(1));
    EXPECT_EQ(placement.lines, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinesThatFit,
    testing::Values(CutCase{"all_fit", 108, {u"aaaa", u"bbbb", u"cccc", u"dddd", u"eeee", u"ffff"}},
                    CutCase{"half_a_pixel_short_still_fits", 107.5, {u"aaaa", u"bbbb", u"cccc", u"dddd", u"eeee", u"ffff"}},
                    CutCase{"one_short", 107, {u"aaaa", u"bbbb", u"cccc", u"dddd", u"eeee\u2026"}},
                    CutCase{"two_lines", 36, {u"aaaa", u"bbbb\u2026"}},
                    CutCase{"box_lower_than_a_line_keeps_one", 5, {u"aaaa\u2026"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlaceText, WrapsAtTheBoxWidthInPixels) {
    // 40 DIPs at scale 2 are 80 px, four units of 20 px.
    const auto placement = place_text(item(u"aaaa bbbb", 40, 100, 12, 0, 18), 2.0, 0.7, monospace(2));
    EXPECT_EQ(placement.lines, (Lines{u"aaaa", u"bbbb"}));
}

TEST(PlaceText, MiddleCentresTheLinesInTheBox) {
    const auto top = place_text(item(u"aaaa bbbb", 40, 100, 12, 0, 18), 2.0, 0.7, monospace(2));
    EXPECT_DOUBLE_EQ(top.first_top, 60);
    const auto middle = place_text(item(u"aaaa bbbb", 40, 100, 12, kMiddle, 18), 2.0, 0.7, monospace(2));
    EXPECT_DOUBLE_EQ(middle.first_top, 60 + 0.5 * (200 - 2 * 36));
}

TEST(PlaceText, BaselinePutsTheMiddleOfCapitalsInTheMiddleOfTheLine) {
    const auto placement = place_text(item(u"H", 100, 32, 20, kSingleLine | kMiddle), 1.5, 0.72, monospace(1.5));
    const double cap_height = 20 * 1.5 * 0.72;
    EXPECT_DOUBLE_EQ(placement.baseline - cap_height / 2, placement.line_height / 2);
}

}  // namespace
