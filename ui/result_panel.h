#pragma once
// Geometry of the result panel that holds the notes (or the diagnostics
// field) under the result header. Portable: no <windows.h>.

#include <vector>

namespace zelkora::ui {

struct NoteLines {
    int title = 1;
    int body = 0;
    bool operator==(const NoteLines&) const = default;
};

struct ResultPanel {
    int top = 0;
    int height = 0;
    int gap = 14;                 // between notes
    std::vector<NoteLines> notes;  // body lines after shrinking to fit
};

// All values in DIPs. notes holds the wrapped line counts of each note's
// title and body (bodies already capped at three lines by the caller or not:
// the cap is applied here).
ResultPanel result_panel(int footer_top, bool compact, bool more_details, bool details_expanded,
                         std::vector<NoteLines> notes);

}  // namespace zelkora::ui
