#pragma once
// What a painted window shows, computed once from its state: every text with
// its box and ink, the steps, the progress, the notes and the buttons. The
// painting draws the model and the accessible object reads it to screen
// readers, so what is read aloud cannot drift from what is drawn.
// Portable: no <windows.h>.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/outcome_messages.h"
#include "ui/result_panel.h"
#include "ui/splash_model.h"

namespace zelkora::ui {

// What an element is to a screen reader; the Win32 side maps these to roles.
enum class DisplayRole : std::uint8_t {
    text,
    list,
    list_item,
    progress_bar,
    button,
    field,       // the read-only diagnostics field
    decoration,  // painted, not read: badge numbers, the painted step counter
};

// Which colour of the window's palette a text is painted in.
enum class Ink : std::uint8_t { text, body, muted, faint, accent, caution };

struct DisplayBox {
    double x = 0, y = 0, width = 0, height = 0;  // DIPs in the client area
    bool operator==(const DisplayBox&) const = default;
};

// How a text element is painted; the text is the element's name.
struct DisplayPaint {
    double size = 0;
    double line_height = 0;  // 0 chooses one from the size
    unsigned style = 0;      // text_style bits
    Ink ink = Ink::text;
    bool operator==(const DisplayPaint&) const = default;
};

namespace display_state {
inline constexpr unsigned kUnavailable = 1;  // a disabled button
inline constexpr unsigned kFocused = 2;
inline constexpr unsigned kFocusable = 4;
}  // namespace display_state

// Ids are stable for an element across changes of the window state, so a
// change is announced on the element that changed. They start at 0x100 and
// so never collide with the 1-based child indices of the accessible object.
namespace element_id {
inline constexpr int kWindow = 0;
inline constexpr int kProduct = 0x100;
inline constexpr int kVersion = 0x101;
inline constexpr int kBadge = 0x102;
inline constexpr int kTitle = 0x110;
inline constexpr int kSubtitle = 0x111;
inline constexpr int kReadyList = 0x120;
inline constexpr int kReadyItem = 0x121;    // + row 0..2
inline constexpr int kReadyNumber = 0x128;  // + row 0..2
inline constexpr int kReadyNote = 0x130;
inline constexpr int kFooterHint = 0x131;
inline constexpr int kSteps = 0x140;
inline constexpr int kStep = 0x141;  // + step 0..5
inline constexpr int kStatus = 0x150;
inline constexpr int kProgress = 0x151;
inline constexpr int kCounter = 0x152;
inline constexpr int kResultTitle = 0x160;
inline constexpr int kResultSubtitle = 0x161;
inline constexpr int kField = 0x170;
inline constexpr int kNoteTitle = 0x200;  // + 2 × note
inline constexpr int kNoteBody = 0x201;   // + 2 × note
inline constexpr int kParagraph = 0x300;  // + paragraph of a dialog's body
inline constexpr int kDetailRow = 0x340;  // + row of a dialog's detail box
inline constexpr int kCaution = 0x380;
inline constexpr int kMessage = 0x381;  // the splash's closing line
inline constexpr int kButton = 0x400;   // + control id
}  // namespace element_id

struct DisplayElement {
    int id = 0;
    int parent = element_id::kWindow;
    DisplayRole role = DisplayRole::text;
    std::u16string name;
    std::u16string value;
    DisplayBox box;
    unsigned states = 0;
    std::optional<DisplayPaint> paint;  // absent: drawn by its own control or as a shape
    int control_id = 0;                 // buttons: the child window that acts for it
    bool operator==(const DisplayElement&) const = default;
};

struct DisplayModel {
    std::vector<DisplayElement> elements;  // in reading order, parents before children

    const DisplayElement* find(int id) const;
    std::vector<const DisplayElement*> children(int parent) const;
    // Decorations are painted but never read.
    bool readable(const DisplayElement& element) const { return element.role != DisplayRole::decoration; }
};

// A child window of the painted window, as the window has it now.
struct DisplayControl {
    int control_id = 0;
    std::u16string text;
    DisplayBox box;
    bool enabled = true;
    bool focused = false;
};

// The setup window's state as its painting needs it. The Win32 side fills it
// (measuring line counts with the text engine) and builds the model from it.
struct WindowModelInput {
    int width = 560;   // client width in DIPs
    int footer = 405;  // footer top in DIPs
    bool compact = false;
    core::RunState view = core::kRunReady;
    bool preview = false;
    bool automatic_update = false;
    std::u16string version_text;
    core::RunProgress progress;
    int status_lines = 1;  // of the status line, measured at width − 120
    core::ResultHeader header;
    std::vector<core::Note> notes;
    ResultPanel panel;
    bool more_details = false;
    bool details_expanded = false;
    std::optional<DisplayControl> field;  // the diagnostics field when shown; text: the field text unwrapped
    std::vector<DisplayControl> buttons;  // the visible buttons in reading order
};

// "완료", "진행 중" or "대기" for step k (0..5) at the highest step reached.
std::u16string_view step_state_text(int step, int highest_step);
// "3 / 6": the counter and the progress bar's value read alike.
std::u16string step_counter(int highest_step);
// The status line as painted: the raw text cleaned, or the waiting text.
std::u16string status_line(const core::RunProgress& progress);

DisplayModel window_model(const WindowModelInput& input);

struct DialogDetail {
    std::u16string label;
    std::u16string value;
    bool monospace = false;
    double height = 19;  // of the value's lines
};

// A confirmation dialog as measured for its width: texts with the positions
// of the measurement (in DIPs, scale 1).
struct DialogModelInput {
    int width = 520;
    std::u16string heading;
    int heading_lines = 1;
    double heading_top = 31;
    double heading_block = 34;
    std::vector<std::u16string> paragraphs;
    std::vector<int> paragraph_lines;  // 0 for an empty paragraph
    std::vector<DialogDetail> details;
    double details_top = 0;
    std::u16string caution;
    int caution_lines = 0;
    double caution_top = 0;
    std::vector<DisplayControl> buttons;  // the visible buttons in reading order
};

DisplayModel dialog_model(const DialogModelInput& input);

// The update splash: its title line, the version caption, the bar (read by
// its step counter), the status line and the closing message.
DisplayModel splash_display(const SplashProgress& progress, const std::u16string& caption,
                            const std::u16string& message);

}  // namespace zelkora::ui
