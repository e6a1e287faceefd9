#include "ui/display_model.h"

#include <algorithm>

#include "ui/text_item.h"
#include "ui/window_geometry_dips.h"

namespace zelkora::ui {
namespace {

using namespace text_style;
namespace id = element_id;

constexpr unsigned kOneLine = kSingleLine | kMiddle;

// Adds elements in reading order.
class ModelBuilder {
public:
    explicit ModelBuilder(DisplayModel& model) : model_(model) {}

    DisplayElement& add(int element, DisplayRole role, std::u16string name, DisplayBox box, int parent = id::kWindow) {
        DisplayElement& added = model_.elements.emplace_back();
        added.id = element;
        added.parent = parent;
        added.role = role;
        added.name = std::move(name);
        added.box = box;
        return added;
    }

    DisplayElement& text(int element, std::u16string name, DisplayBox box, DisplayPaint paint,
                         int parent = id::kWindow) {
        DisplayElement& added = add(element, DisplayRole::text, std::move(name), box, parent);
        added.paint = paint;
        return added;
    }

    void control(int element, DisplayRole role, const DisplayControl& control) {
        DisplayElement& added = add(element, role, control.text, control.box);
        added.control_id = control.control_id;
        added.states = display_state::kFocusable | (control.enabled ? 0u : display_state::kUnavailable) |
                       (control.focused ? display_state::kFocused : 0u);
    }

    DisplayElement& last() { return model_.elements.back(); }

private:
    DisplayModel& model_;
};

struct Place {
    const WindowModelInput& input;
    ModelBuilder& add;
    int w;

    double title_top() const { return input.compact ? 82 : 92; }
    double subtitle_top() const { return input.compact ? 112 : 128; }
    double title_size() const { return input.compact ? 20 : 23; }
};

void add_header(const Place& at) {
    at.add.text(id::kProduct, u"Zelkora", {80, 19, 220, 24}, {17, 0, kBold | kOneLine, Ink::text});
    std::u16string product = u"Client  " + at.input.version_text;
    product += at.input.automatic_update ? u" · 업데이트" : u" · 설치";
    at.add.text(id::kVersion, std::move(product), {80, 43, 260, 18}, {12, 0, kOneLine, Ink::muted});
    if (at.input.preview) {
        at.add.text(id::kBadge, u"화면 미리보기", {at.w - 128.0, 28, 100, 24},
                    {11.5, 0, kSemibold | kCentred | kOneLine, Ink::caution});
    }
}

void add_view_title(const Place& at, std::u16string title, std::u16string subtitle) {
    at.add.text(id::kTitle, std::move(title), {28, at.title_top(), at.w - 56.0, 32},
                {at.title_size(), 0, kBold | kOneLine, Ink::text});
    at.add.text(id::kSubtitle, std::move(subtitle), {28, at.subtitle_top(), at.w - 56.0, 22},
                {13, 0, kOneLine, Ink::muted});
}

void add_ready(const Place& at) {
    static constexpr const char16_t* kTitles[] = {u"클라이언트 파일", u"서버·로그인 설정", u"바탕 화면 바로가기"};
    static constexpr const char16_t* kDetails[] = {u"필요한 구성 요소를 함께 설치", u"기존 설정을 그대로 유지",
                                                   u"설치 후 바로 실행"};
    const bool compact = at.input.compact;
    const double card_top = compact ? 146 : 174;
    const double card_height = compact ? 118 : 156;
    const double pitch = compact ? 35 : 46;
    add_view_title(at, u"클라우드 데스크톱 시작하기", u"현재 Windows 사용자에게 클라이언트를 설치해요.");
    at.add.add(id::kReadyList, DisplayRole::list, u"설치할 내용", {28, card_top, at.w - 56.0, card_height});
    for (int i = 0; i < 3; ++i) {
        const double top = card_top + 8 + (compact ? 0 : 5) + i * pitch;
        DisplayElement& item = at.add.text(id::kReadyItem + i, kTitles[i], {90, top, at.w - 136.0, 19},
                                           {13.5, 0, kSemibold | kOneLine, Ink::text}, id::kReadyList);
        item.role = DisplayRole::list_item;
        item.value = kDetails[i];  // `item` is not used past the next add
        at.add.text(id::kReadyNumber + i, std::u16string(1, static_cast<char16_t>(u'1' + i)), {46, top + 2, 30, 30},
                    {12.5, 0, kBold | kCentred | kOneLine, Ink::accent}, id::kReadyItem + i)
            .role = DisplayRole::decoration;
        // The detail is painted under the title and read as the item's value.
        at.add.text(id::kReadyNumber + 3 + i, kDetails[i], {90, top + 19, at.w - 136.0, 17},
                    {12, 0, kOneLine, Ink::muted}, id::kReadyItem + i)
            .role = DisplayRole::decoration;
    }
    at.add.text(id::kReadyNote, u"설치할 때 열려 있는 Zelkora는 닫혀요. 서버 주소와 로그인 설정은 그대로예요.",
                {30, card_top + card_height + 12, at.w - 56.0, 36}, {12, 18, 0, Ink::muted});
    at.add.text(id::kFooterHint, u"이 PC에 설치돼요", {28, at.input.footer + 9.0, at.w - 270.0, 20},
                {11.5, 0, kOneLine, Ink::faint});
}

void add_progress(const Place& at) {
    const WindowModelInput& input = at.input;
    const core::RunProgress& progress = input.progress;
    const ProgressCard card = progress_card(input.footer, input.compact);
    const bool update = input.automatic_update;
    add_view_title(at, update ? u"업데이트하고 있어요" : u"설치하고 있어요",
                   update ? u"끝나면 새 버전이 자동으로 열려요." : u"끝날 때까지 이 창을 열어 두세요.");

    at.add.add(id::kSteps, DisplayRole::list, u"설치 단계", {28, card.top, at.w - 56.0, card.height});
    const int highest = progress.highest_step;
    const double half = 0.5 * card.pitch;
    for (int k = 0; k < 6; ++k) {
        const double centre = card.top + 7 + k * card.pitch + half;
        const bool done = k < highest;
        const bool current = k == highest;
        DisplayElement& step =
            at.add.text(id::kStep + k, std::u16string(core::step_label(core::Flavour::client, k + 1)),
                        {card.radius + 66, centre - half, at.w - 96 - card.radius, card.pitch},
                        {input.compact ? 12.0 : 13.0, 0, (current ? kSemibold : 0u) | kOneLine,
                         done ? Ink::muted : current ? Ink::text : Ink::faint},
                        id::kSteps);
        step.role = DisplayRole::list_item;
        step.value = step_state_text(k, highest);
    }

    const int lines = std::clamp(input.status_lines, 1, card.status_lines_max);
    const bool attention = progress.attention_seen && progress.status_text == progress.attention_text;
    const double status_top = card.status_bottom - lines * 18;
    at.add.text(id::kStatus, status_line(progress), {28, status_top, at.w - 120.0, lines * 18.0},
                {12.5, 18, input.compact ? kOneLine : 0u, attention ? Ink::caution : Ink::muted});
    const std::u16string counter = step_counter(highest);
    at.add.add(id::kProgress, DisplayRole::progress_bar, update ? u"업데이트 진행률" : u"설치 진행률",
               {28, card.bar_top, at.w - 56.0, 6})
        .value = counter;
    at.add.text(id::kCounter, counter, {at.w - 84.0, status_top, 56, 18}, {12, 0, kRight | kOneLine, Ink::faint})
        .role = DisplayRole::decoration;
}

void add_notes(const Place& at) {
    const WindowModelInput& input = at.input;
    const ResultPanel& panel = input.panel;
    double y = panel.top + 16;
    const double limit = panel.top + panel.height - (input.more_details ? 46 : 8) + 1;
    const std::size_t count = std::min(input.notes.size(), panel.notes.size());
    for (std::size_t i = 0; i < count; ++i) {
        const NoteLines lines = panel.notes[i];
        if (y + lines.title * 21 > limit) break;
        const int offset = 2 * static_cast<int>(i);
        at.add.text(id::kNoteTitle + offset, input.notes[i].title, {74, y, at.w - 120.0, lines.title * 21.0},
                    {13.5, 21, kSemibold, Ink::text});
        y += lines.title * 21;
        if (lines.body > 0) {
            y += 2;
            at.add.text(id::kNoteBody + offset, input.notes[i].body, {74, y, at.w - 120.0, lines.body * 19.0},
                        {12.5, 19, 0, Ink::muted});
            y += lines.body * 19;
        }
        y += panel.gap;
    }
}

void add_result(const Place& at) {
    const WindowModelInput& input = at.input;
    const core::ResultHeader& header = input.header;
    if (input.notes.empty()) {
        const double top = std::max((input.footer - 8 - 80 - 138) * 0.5, 0.0) + 80;
        at.add.text(id::kResultTitle, header.title, {28, top + 76, at.w - 56.0, 32},
                    {input.compact ? 21.0 : 24.0, 0, kBold | kCentred | kOneLine, Ink::text});
        at.add.text(id::kResultSubtitle, header.subtitle, {28, top + 116, at.w - 56.0, 22},
                    {13.5, 0, kCentred | kOneLine, Ink::muted});
        return;
    }
    at.add.text(id::kResultTitle, header.title, {66, at.title_top(), at.w - 94.0, 32},
                {at.title_size(), 0, kBold | kOneLine, Ink::text});
    at.add.text(id::kResultSubtitle, header.subtitle, {28, at.subtitle_top() + 4, at.w - 56.0, 22},
                {13, 0, kOneLine, header.level == core::kLevelCaution ? Ink::caution : Ink::muted});
    if (input.details_expanded && input.more_details) {
        if (input.field) {
            at.add.control(id::kField, DisplayRole::field, *input.field);
            DisplayElement& field = at.add.last();
            field.name = u"자세한 진단 정보";
            field.value = input.field->text;
        }
    } else {
        add_notes(at);
    }
}

void add_buttons(ModelBuilder& builder, const std::vector<DisplayControl>& buttons) {
    for (const DisplayControl& button : buttons) {
        builder.control(id::kButton + button.control_id, DisplayRole::button, button);
    }
}

}  // namespace

const DisplayElement* DisplayModel::find(int element) const {
    for (const DisplayElement& candidate : elements) {
        if (candidate.id == element) return &candidate;
    }
    return nullptr;
}

std::vector<const DisplayElement*> DisplayModel::children(int parent) const {
    std::vector<const DisplayElement*> found;
    for (const DisplayElement& candidate : elements) {
        if (candidate.parent == parent && readable(candidate)) found.push_back(&candidate);
    }
    return found;
}

std::u16string_view step_state_text(int step, int highest_step) {
    if (step < highest_step) return u"완료";
    return step == highest_step ? u"진행 중" : u"대기";
}

std::u16string step_counter(int highest_step) {
    return std::u16string(1, static_cast<char16_t>(u'0' + std::clamp(highest_step, 0, 9))) + u" / 6";
}

std::u16string status_line(const core::RunProgress& progress) {
    if (progress.status_text.empty()) return u"설치를 준비하고 있어요";
    return core::clean_note_text(progress.status_text);
}

DisplayModel window_model(const WindowModelInput& input) {
    DisplayModel model;
    ModelBuilder builder(model);
    const Place at{input, builder, input.width};
    add_header(at);
    switch (input.view) {
        case core::kRunInstalling: add_progress(at); break;
        case core::kRunCompleted:
        case core::kRunFailed: add_result(at); break;
        default: add_ready(at); break;
    }
    add_buttons(builder, input.buttons);
    return model;
}

DisplayModel dialog_model(const DialogModelInput& input) {
    DisplayModel model;
    ModelBuilder add(model);
    const double w = input.width;
    add.text(id::kTitle, input.heading, {74, input.heading_top, w - 102, input.heading_lines * 24.0},
             {17, 24, kBold, Ink::text});
    double y = input.heading_block + 42;
    for (std::size_t i = 0; i < input.paragraphs.size() && i < input.paragraph_lines.size(); ++i) {
        const double height = input.paragraph_lines[i] * 21.0;
        if (height > 0) {
            add.text(id::kParagraph + static_cast<int>(i), input.paragraphs[i], {28, y, w - 56, height},
                     {13.5, 21, 0, Ink::body});
        }
        y += height + 6;
    }
    double row_y = input.details_top + 12;
    for (std::size_t i = 0; i < input.details.size(); ++i) {
        const DialogDetail& row = input.details[i];
        const int row_id = id::kDetailRow + 2 * static_cast<int>(i);
        add.text(row_id, row.label, {44, row_y, 80, 19}, {12, 19, 0, Ink::muted}).value = row.value;
        // The value is painted beside its label and read as the row's value.
        add.text(row_id + 1, row.value, {128, row_y, w - 168, row.height},
                 {12.5, 19, row.monospace ? kMonospace : 0u, Ink::text}, row_id)
            .role = DisplayRole::decoration;
        row_y += row.height + 6;
    }
    if (!input.caution.empty()) {
        add.text(id::kCaution, input.caution, {42, input.caution_top + 11, w - 84, input.caution_lines * 19.0},
                 {12.5, 19, 0, Ink::caution});
    }
    add_buttons(add, input.buttons);
    return model;
}

DisplayModel splash_display(const SplashProgress& progress, const std::u16string& caption,
                            const std::u16string& message) {
    DisplayModel model;
    ModelBuilder add(model);
    add.text(id::kTitle, std::u16string(splash_title_line(progress)), {78, 23, 338, 24},
             {16.5, 0, kBold | kOneLine, Ink::text});
    add.text(id::kSubtitle, caption, {78, 48, 338, 20}, {12.5, 0, kOneLine, Ink::muted});
    const std::u16string counter = splash_step_counter(progress);
    add.add(id::kProgress, DisplayRole::progress_bar, u"업데이트 진행률", {kSplashTrackLeft, 92, kSplashTrackWidth, 6})
        .value = counter;
    add.text(id::kStatus, std::u16string(splash_status_line(progress)), {24, 106, 320, 20},
             {12, 0, kOneLine, Ink::muted});
    if (progress.determinate) {
        add.text(id::kCounter, counter, {344, 106, 72, 20}, {12, 0, kRight | kOneLine, Ink::faint}).role =
            DisplayRole::decoration;
    }
    add.text(id::kMessage, message, {24, 134, 392, 18}, {11.5, 0, kOneLine, Ink::faint});
    return model;
}

}  // namespace zelkora::ui
