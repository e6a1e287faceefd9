#include "ui/result_panel.h"

#include <algorithm>

namespace zelkora::ui {
namespace {

constexpr int kTitleLineHeight = 21;
constexpr int kBodyLineHeight = 19;
constexpr int kMaxBodyLines = 3;

int content_height(const std::vector<NoteLines>& notes, int gap) {
    int content = 16;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        content += notes[i].title * kTitleLineHeight;
        if (i > 0) content += gap;
        if (notes[i].body > 0) content += notes[i].body * kBodyLineHeight + 2;
    }
    return content;
}

// The note with the most body lines; the later one on a tie.
NoteLines* longest_body(std::vector<NoteLines>& notes) {
    NoteLines* longest = nullptr;
    for (auto& note : notes) {
        if (note.body > 0 && (!longest || note.body >= longest->body)) longest = &note;
    }
    return longest;
}

}  // namespace

ResultPanel result_panel(int footer_top, bool compact, bool more_details, bool details_expanded,
                         std::vector<NoteLines> notes) {
    ResultPanel panel;
    panel.top = compact ? 144 : 168;
    const int available = std::max(footer_top - 14 - panel.top, 48);
    panel.height = available;
    if (notes.empty() || details_expanded) return panel;

    const int reserve = more_details ? 46 : 16;
    panel.gap = notes.size() < 3 ? 14 : 10;
    for (auto& note : notes) {
        note.title = std::max(1, note.title);
        note.body = std::clamp(note.body, 0, kMaxBodyLines);
    }
    while (available < reserve + content_height(notes, panel.gap)) {
        NoteLines* longest = longest_body(notes);
        if (!longest) break;
        --longest->body;
    }
    panel.height = std::min(available, reserve + content_height(notes, panel.gap));
    panel.notes = std::move(notes);
    return panel;
}

}  // namespace zelkora::ui
