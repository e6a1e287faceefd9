#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/accessible_events.h"
#include "ui/display_model.h"
#include "ui/text_item.h"

namespace {

using namespace zelkora::ui;
namespace id = element_id;
using zelkora::core::Note;

std::vector<int> reading_order(const DisplayModel& model) {
    std::vector<int> ids;
    for (const DisplayElement& element : model.elements) {
        if (model.readable(element)) ids.push_back(element.id);
    }
    return ids;
}

DisplayControl button(int control_id, std::u16string text, bool enabled = true) {
    return {control_id, std::move(text), {0, 405, 100, 38}, enabled, false};
}

WindowModelInput progress_at(int highest, std::u16string status = u"") {
    WindowModelInput input;
    input.view = zelkora::core::kRunInstalling;
    input.progress.highest_step = highest;
    input.progress.status_text = std::move(status);
    input.buttons = {button(2, u"닫기", false), button(1, u"설치 중…", false)};
    return input;
}

WindowModelInput result_with(std::vector<Note> notes, std::vector<NoteLines> lines, int panel_height) {
    WindowModelInput input;
    input.view = zelkora::core::kRunFailed;
    input.header = {zelkora::core::kLevelError, u"설치하지 못했어요", u"아래 내용을 확인한 뒤 다시 시도하세요."};
    input.notes = std::move(notes);
    input.panel.top = 168;
    input.panel.height = panel_height;
    input.panel.notes = std::move(lines);
    input.buttons = {button(3, u"진단 복사"), button(1, u"다시 시도")};
    return input;
}

TEST(DisplayModel, ProgressReadsTheStepsTheStatusAndTheCounterInOrder) {
    const DisplayModel model = window_model(progress_at(3, u"파일을 {0} 배치하고   있어요"));
    EXPECT_EQ(reading_order(model),
              (std::vector<int>{id::kProduct, id::kVersion, id::kTitle, id::kSubtitle, id::kSteps, id::kStep,
                                id::kStep + 1, id::kStep + 2, id::kStep + 3, id::kStep + 4, id::kStep + 5,
                                id::kStatus, id::kProgress, id::kButton + 2, id::kButton + 1}));
    const std::vector<std::u16string> states = {u"완료", u"완료", u"완료", u"진행 중", u"대기", u"대기"};
    for (int k = 0; k < 6; ++k) {
        const DisplayElement* step = model.find(id::kStep + k);
        EXPECT_EQ(step->parent, id::kSteps);
        EXPECT_EQ(step->value, states[static_cast<std::size_t>(k)]) << k;
        EXPECT_EQ(step->paint->ink, k < 3 ? Ink::muted : k == 3 ? Ink::text : Ink::faint) << k;
    }
    // Read as cleaned for display, not as the script sent it.
    EXPECT_EQ(model.find(id::kStatus)->name, u"파일을 배치하고 있어요");
    EXPECT_EQ(model.find(id::kProgress)->value, u"3 / 6");
    EXPECT_EQ(model.find(id::kCounter)->name, model.find(id::kProgress)->value);
    EXPECT_TRUE(model.find(id::kButton + 1)->states & display_state::kUnavailable);
}

TEST(DisplayModel, StatusWaitsWithItsOwnTextAndTurnsCautionOnTheAttentionLine) {
    EXPECT_EQ(window_model(progress_at(0)).find(id::kStatus)->name, u"설치를 준비하고 있어요");
    WindowModelInput input = progress_at(6, u"가상 화면 확인 필요");
    input.progress.attention_seen = true;
    input.progress.attention_text = u"가상 화면 확인 필요";
    EXPECT_EQ(window_model(input).find(id::kStatus)->paint->ink, Ink::caution);
    input.progress.attention_text = u"다른 줄";
    EXPECT_EQ(window_model(input).find(id::kStatus)->paint->ink, Ink::muted);
}

TEST(DisplayModel, ReadyCardIsAListWhoseNumbersAreOnlyPainted) {
    WindowModelInput input;
    input.preview = true;
    const DisplayModel model = window_model(input);
    EXPECT_NE(model.find(id::kBadge), nullptr);
    const auto items = model.children(id::kReadyList);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1]->name, u"서버·로그인 설정");
    EXPECT_EQ(items[1]->value, u"기존 설정을 그대로 유지");
    // The badge "2" and the detail line are painted inside the item, not read again.
    EXPECT_EQ(model.find(id::kReadyNumber + 1)->name, u"2");
    EXPECT_FALSE(model.readable(*model.find(id::kReadyNumber + 1)));
    EXPECT_TRUE(model.children(id::kReadyItem + 1).empty());
}

TEST(DisplayModel, ResultReadsOnlyTheNotesThatArePainted) {
    const std::vector<Note> notes = {{zelkora::core::kLevelError, u"첫째", u"본문"},
                                     {zelkora::core::kLevelCaution, u"둘째", u""},
                                     {zelkora::core::kLevelFine, u"셋째", u"끝"}};
    // The second title starts at 168 + 16 + 21 + 2 + 19 + 14 = 240; the third
    // would end at 240 + 21 + 14 + 21 = 296, past the limit 168 + 120 - 8 + 1.
    const DisplayModel model = window_model(result_with(notes, {{1, 1}, {1, 0}, {1, 1}}, 120));
    EXPECT_EQ(reading_order(model),
              (std::vector<int>{id::kProduct, id::kVersion, id::kResultTitle, id::kResultSubtitle, id::kNoteTitle,
                                id::kNoteBody, id::kNoteTitle + 2, id::kButton + 3, id::kButton + 1}));
    EXPECT_EQ(model.find(id::kNoteTitle + 2)->box.y, 168 + 16 + 21 + 2 + 19 + 14);
}

TEST(DisplayModel, ExpandedDetailsReadTheFieldInsteadOfTheNotes) {
    WindowModelInput input = result_with({{zelkora::core::kLevelError, u"제목", u"본문"}}, {{1, 1}}, 200);
    input.more_details = true;
    input.details_expanded = true;
    input.field = DisplayControl{5, u"자세한 내용\r\n둘째 줄", {46, 182, 410, 140}, true, false};
    const DisplayModel model = window_model(input);
    EXPECT_EQ(model.find(id::kNoteTitle), nullptr);
    const DisplayElement* field = model.find(id::kField);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->role, DisplayRole::field);
    EXPECT_EQ(field->value, u"자세한 내용\r\n둘째 줄");
    EXPECT_FALSE(field->paint.has_value());  // the field draws itself
}

TEST(DisplayModel, CentredResultWithoutNotes) {
    WindowModelInput input = result_with({}, {}, 223);
    input.view = zelkora::core::kRunCompleted;
    const DisplayModel model = window_model(input);
    EXPECT_TRUE(model.find(id::kResultTitle)->paint->style & text_style::kCentred);
    EXPECT_EQ(model.find(id::kResultTitle)->box.y, (405 - 8 - 80 - 138) * 0.5 + 80 + 76);
}

TEST(DisplayModel, DialogReadsDetailRowsAsLabelAndValueAndSkipsEmptyParagraphs) {
    DialogModelInput input;
    input.heading = u"가상 모니터 드라이버의 서명을 신뢰할까요?";
    input.paragraphs = {u"첫 문단", u"", u"셋째 문단"};
    input.paragraph_lines = {2, 0, 1};
    input.details = {{u"지문", u"37E100B2B382866FA7CE04EE33FE53DF53AEDC6D", true, 38}, {u"서명자", u"Sunshine", false, 19}};
    input.details_top = 200;
    input.caution = u"동의하지 않으면 기존 Host를 바꾸지 않아요.";
    input.caution_lines = 1;
    input.buttons = {button(2, u"취소"), button(1, u"신뢰하고 설치")};
    const DisplayModel model = dialog_model(input);
    EXPECT_EQ(reading_order(model),
              (std::vector<int>{id::kTitle, id::kParagraph, id::kParagraph + 2, id::kDetailRow, id::kDetailRow + 2,
                                id::kCaution, id::kButton + 2, id::kButton + 1}));
    // The third paragraph sits under two lines and an empty paragraph: 34 + 42 + 2 × 21 + 6 + 6.
    EXPECT_EQ(model.find(id::kParagraph + 2)->box.y, 34 + 42 + 42 + 6 + 6);
    const DisplayElement* row = model.find(id::kDetailRow);
    EXPECT_EQ(row->name, u"지문");
    EXPECT_EQ(row->value, u"37E100B2B382866FA7CE04EE33FE53DF53AEDC6D");
    // The value is painted in monospace beside the label, and the next row sits under its two lines.
    EXPECT_TRUE(model.find(id::kDetailRow + 1)->paint->style & text_style::kMonospace);
    EXPECT_EQ(model.find(id::kDetailRow + 2)->box.y, 200 + 12 + 38 + 6);
}

TEST(DisplayModel, SplashReadsItsBarByTheCounterOnceDeterminate) {
    SplashProgress progress;
    const DisplayModel sliding = splash_display(progress, u"Zelkora  0.4.61  →  0.4.62", u"끝나면");
    EXPECT_EQ(sliding.find(id::kProgress)->value, u"");
    EXPECT_EQ(sliding.find(id::kCounter), nullptr);
    set_splash_stage(progress, 4);
    const DisplayModel stepped = splash_display(progress, u"Zelkora  0.4.61  →  0.4.62", u"끝나면");
    EXPECT_EQ(stepped.find(id::kProgress)->value, u"4 / 6");
    EXPECT_EQ(stepped.find(id::kStatus)->name, kSplashStepNames[4]);
    EXPECT_EQ(announcements(sliding, stepped),
              (std::vector<AnnouncedEvent>{{Announcement::value_change, id::kProgress},
                                           {Announcement::name_change, id::kStatus}}));
}

struct AnnouncementCase {
    const char* what;
    WindowModelInput before;
    WindowModelInput after;
    std::vector<AnnouncedEvent> expected;
};

std::vector<AnnouncementCase> announcement_cases() {
    using A = Announcement;
    WindowModelInput ready;
    ready.buttons = {button(2, u"취소"), button(1, u"설치 시작")};
    WindowModelInput moved = progress_at(2, u"배치");
    moved.width = 700;  // a layout change moves every box
    WindowModelInput copied = result_with({{zelkora::core::kLevelError, u"제목", u""}}, {{1, 0}}, 200);
    WindowModelInput copied_after = copied;
    copied_after.buttons[0].text = u"복사됨";
    WindowModelInput failed = result_with({{zelkora::core::kLevelError, u"제목", u""}}, {{1, 0}}, 200);
    return {
        {"nothing changed", progress_at(2, u"배치"), progress_at(2, u"배치"), {}},
        {"only boxes changed", progress_at(2, u"배치"), moved, {}},
        {"a step ended",
         progress_at(2, u"배치"),
         progress_at(3, u"정보"),
         {{A::value_change, id::kStep + 2},
          {A::value_change, id::kStep + 3},
          {A::name_change, id::kStatus},
          {A::value_change, id::kProgress}}},
        {"the run started",
         ready,
         progress_at(0),
         {{A::reorder, id::kWindow},
          {A::name_change, id::kTitle},
          {A::name_change, id::kSubtitle},
          {A::name_change, id::kButton + 2},
          {A::state_change, id::kButton + 2},
          {A::name_change, id::kButton + 1},
          {A::state_change, id::kButton + 1}}},
        {"the result appeared",
         progress_at(5),
         failed,
         {{A::reorder, id::kWindow}, {A::name_change, id::kButton + 1}, {A::state_change, id::kButton + 1},
          {A::alert, id::kResultTitle}}},
        {"the copy answered", copied, copied_after, {{A::name_change, id::kButton + 3}}},
    };
}

TEST(Announcements, OneEventPerChangeOfWhatIsRead) {
    for (const AnnouncementCase& c : announcement_cases()) {
        EXPECT_EQ(announcements(window_model(c.before), window_model(c.after)), c.expected) << c.what;
    }
}

}  // namespace
