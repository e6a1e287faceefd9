#include <gtest/gtest.h>

#include "ui/result_panel.h"

namespace {

using zelkora::ui::NoteLines;
using zelkora::ui::result_panel;

// Footer top 405 in the full layout leaves 405 - 14 - 168 = 223 DIPs.
constexpr int kFooter = 405;

TEST(ResultPanel, WithoutNotesOrExpandedTakesTheWholeSpace) {
    EXPECT_EQ(result_panel(kFooter, false, false, false, {}).height, 223);
    EXPECT_EQ(result_panel(kFooter, false, true, true, {{1, 3}}).height, 223);
    const auto compact = result_panel(355, true, false, false, {});
    EXPECT_EQ(compact.top, 144);
    EXPECT_EQ(compact.height, 355 - 14 - 144);
    EXPECT_EQ(result_panel(150, false, false, false, {}).height, 48);  // never below 48
}

TEST(ResultPanel, FitsItsNotesWithTheReserveForTheDetailsButton) {
    // 16 + 21 + (2 * 19 + 2) = 77 content; reserve 16 or 46.
    EXPECT_EQ(result_panel(kFooter, false, false, false, {{1, 2}}).height, 93);
    EXPECT_EQ(result_panel(kFooter, false, true, false, {{1, 2}}).height, 123);
    // Bodies are capped at three lines; a body of none adds nothing.
    EXPECT_EQ(result_panel(kFooter, false, false, false, {{1, 9}, {2, 0}}).height,
              16 + 21 + 3 * 19 + 2 + 14 + 42 + 16);
}

TEST(ResultPanel, ShrinksTheLongestBodyLaterNoteFirst) {
    // Three notes (gap 10) of 3 body lines need 16 + 3*(21+59) + 20 + 46 = 322 > 223.
    const auto panel = result_panel(kFooter, false, true, false, {{1, 3}, {1, 3}, {1, 3}});
    EXPECT_EQ(panel.gap, 10);
    // Each cut saves 19 (or 21 when a body disappears): 322 -> 303 -> 284 -> 265 -> 246 -> 227 -> 208.
    EXPECT_EQ(panel.notes, (std::vector<NoteLines>{{1, 1}, {1, 1}, {1, 1}}));
    EXPECT_EQ(panel.height, 16 + 3 * (21 + 19 + 2) + 20 + 46);
}

TEST(ResultPanel, GivesUpWhenNoBodyIsLeft) {
    const auto panel = result_panel(200, false, true, false, {{5, 3}, {5, 0}});
    EXPECT_EQ(panel.notes, (std::vector<NoteLines>{{5, 0}, {5, 0}}));
    EXPECT_EQ(panel.height, 48);
}

}  // namespace
