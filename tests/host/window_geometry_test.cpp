#include <gtest/gtest.h>

#include "ui/result_panel.h"
#include "ui/window_geometry_dips.h"

namespace {

using zelkora::ui::progress_card;
using zelkora::ui::window_dips;

struct ClientCase {
    const char* name;
    int height_px;
    double scale;
    int height;
    int footer_top;
    bool compact;
};

class WindowDips : public testing::TestWithParam<ClientCase> {};

// Pixels become DIPs by truncation, so a client a fraction short of 430 DIPs
// at a high DPI is already compact.
TEST_P(WindowDips, FollowTheClientHeightInDips) {
    const ClientCase& c = GetParam();
    const auto dips = window_dips(static_cast<int>(560 * c.scale), c.height_px, c.scale);
    EXPECT_EQ(dips.width, 560);
    EXPECT_EQ(dips.height, c.height);
    EXPECT_EQ(dips.footer_top, c.footer_top);
    EXPECT_EQ(dips.compact, c.compact);
}

const ClientCase kClients[] = {{"designed_size", 470, 1.0, 470, 405, false},
                               {"designed_size_at_144_dpi", 705, 1.5, 470, 405, false},
                               {"last_full_height", 430, 1.0, 430, 365, false},
                               {"first_compact_height", 429, 1.0, 429, 364, true},
                               {"fraction_short_at_120_dpi", 537, 1.25, 429, 364, true},
                               {"short_at_144_dpi", 640, 1.5, 426, 361, true},
                               {"short_at_192_dpi", 700, 2.0, 350, 285, true}};

std::string client_name(const testing::TestParamInfo<ClientCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Clients, WindowDips, testing::ValuesIn(kClients), client_name);

TEST(ProgressCard, FullLayoutLeavesTwoStatusLinesUnderTheCard) {
    const auto card = progress_card(405, false);
    EXPECT_EQ(card.top, 166);
    EXPECT_EQ(card.status_lines_max, 2);
    EXPECT_EQ(card.status_bottom, 373);
    EXPECT_EQ(card.bar_top, 383);
    EXPECT_EQ(card.height, 373 - 36 - 10 - 166);
    EXPECT_EQ(card.pitch, (161 - 14) / 6.0);
    EXPECT_EQ(card.radius, 9);
}

// A compact window moves the card up, keeps one status line, and shrinks
// the step rows and their markers to what the card holds.
TEST(ProgressCard, CompactLayoutShrinksTheStepRowsToTheCard) {
    const auto card = progress_card(285, true);
    EXPECT_EQ(card.top, 140);
    EXPECT_EQ(card.status_lines_max, 1);
    EXPECT_EQ(card.height, 253 - 18 - 10 - 140);
    EXPECT_EQ(card.pitch, (85 - 14) / 6.0);
    EXPECT_DOUBLE_EQ(card.radius, 0.5 * (85 - 14) / 6.0 - 2);
    EXPECT_LT(card.radius, 9);
    // Six rows still fit inside the card.
    EXPECT_LE(7 + 6 * card.pitch, card.height);
}

TEST(ProgressCard, RowsNeverGrowPastTheirPitch) {
    const auto card = progress_card(2000, false);
    EXPECT_EQ(card.pitch, 28);
    EXPECT_EQ(card.radius, 9);
}

// The result panel of a short, compact window at 192 DPI: it starts higher
// and gives up bodies before titles.
TEST(ResultPanelCompact, ShortWindowStartsHigherAndDropsBodyLines) {
    const auto dips = window_dips(1120, 700, 2.0);
    const auto panel = zelkora::ui::result_panel(dips.footer_top, dips.compact, true, false, {{1, 3}, {1, 3}});
    EXPECT_EQ(panel.top, 144);
    // 127 available: 16 + 2 × 21 + 14 content and 46 reserve fit once no body is left.
    EXPECT_EQ(panel.notes, (std::vector<zelkora::ui::NoteLines>{{1, 0}, {1, 0}}));
    EXPECT_EQ(panel.height, 16 + 21 + 14 + 21 + 46);
}

namespace children {

using zelkora::ui::DipBox;

bool inside(const DipBox& inner, const DipBox& outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

bool overlap(const DipBox& a, const DipBox& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

class ChildBoxes : public testing::TestWithParam<ClientCase> {};

// With the details expanded, every child lies inside the client, the footer
// buttons stand apart, and the details field and its button share the
// result panel's rounded box without covering each other.
TEST_P(ChildBoxes, StayInsideTheClientAndApart) {
    const ClientCase& c = GetParam();
    const auto dips = window_dips(static_cast<int>(560 * c.scale), c.height_px, c.scale);
    const auto panel = zelkora::ui::result_panel(dips.footer_top, dips.compact, true, true, {{1, 3}, {1, 3}});
    const auto boxes = zelkora::ui::child_boxes(dips, panel.top, panel.height);
    const DipBox client{0, 0, static_cast<double>(dips.width), static_cast<double>(dips.height)};
    for (const DipBox& box : {boxes.primary_button, boxes.cancel_button, boxes.copy_button, boxes.details_button,
                              boxes.progress_bar, boxes.details_field}) {
        EXPECT_TRUE(inside(box, client)) << box.x << "," << box.y << " " << box.width << "x" << box.height;
    }
    EXPECT_FALSE(overlap(boxes.primary_button, boxes.cancel_button));
    EXPECT_FALSE(overlap(boxes.cancel_button, boxes.copy_button));
    const DipBox panel_box{28, static_cast<double>(panel.top), dips.width - 56.0, static_cast<double>(panel.height)};
    EXPECT_TRUE(inside(boxes.details_field, panel_box));
    EXPECT_TRUE(inside(boxes.details_button, panel_box));
    EXPECT_FALSE(overlap(boxes.details_field, boxes.details_button));
}

INSTANTIATE_TEST_SUITE_P(Clients, ChildBoxes, testing::ValuesIn(kClients), client_name);

}  // namespace children

}  // namespace

namespace dirty {

using zelkora::ui::DipBox;
using zelkora::ui::PixelBox;
using zelkora::ui::pixels_touched;

struct TouchCase {
    const char* name;
    DipBox box;
    double scale;
    double margin;
    PixelBox pixels;
};

class PixelsTouched : public testing::TestWithParam<TouchCase> {};

// Outwards at fractional scales and positions, and one antialiased pixel
// more on every side, so a repaint of the box never leaves a stale edge.
TEST_P(PixelsTouched, CoverTheBoxRoundedOutwardsWithTheEdgePixel) {
    const TouchCase& c = GetParam();
    EXPECT_EQ(pixels_touched(c.box, c.scale, c.margin), c.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, PixelsTouched,
    testing::Values(TouchCase{"whole_pixels", {28, 383, 504, 6}, 1.0, 0, {27, 382, 533, 390}},
                    TouchCase{"fractions_at_125", {43, 239.5, 18, 18}, 1.25, 0, {52, 298, 78, 323}},
                    TouchCase{"margin_scales_too", {10, 10, 4, 4}, 2.0, 1, {17, 17, 31, 31}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PixelBoxes, IntersectOnlyWhenTheyShareAPixel) {
    const PixelBox box{10, 10, 20, 20};
    EXPECT_TRUE(box.intersects({19, 19, 30, 30}));
    EXPECT_FALSE(box.intersects({20, 10, 30, 20})) << "right and bottom are exclusive";
    EXPECT_FALSE(box.intersects({12, 12, 12, 18})) << "an empty box touches nothing";
}

// The spinner follows the current step down the card; when every step is
// done there is none, and the animation has only the bar to repaint.
TEST(SpinnerBox, SitsOnTheCurrentStepsMarker) {
    const auto card = progress_card(405, false);
    DipBox first;
    DipBox fourth;
    ASSERT_TRUE(zelkora::ui::spinner_box(card, 0, first));
    ASSERT_TRUE(zelkora::ui::spinner_box(card, 3, fourth));
    EXPECT_EQ(first.x, 52 - card.radius);
    EXPECT_EQ(first.width, 2 * card.radius);
    EXPECT_EQ(first.y + card.radius, card.top + 7 + 0.5 * card.pitch);
    EXPECT_EQ(fourth.y - first.y, 3 * card.pitch);
    DipBox none;
    EXPECT_FALSE(zelkora::ui::spinner_box(card, 6, none));
    EXPECT_FALSE(zelkora::ui::spinner_box(card, -1, none));
}

}  // namespace dirty
