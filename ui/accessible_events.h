#pragma once
// Which changes of a window's display model a screen reader is told about.
// Portable: no <windows.h>.

#include <vector>

#include "ui/display_model.h"

namespace zelkora::ui {

enum class Announcement {
    reorder,       // elements came or went: the reader rereads the window
    name_change,   // a text, the status line, a button's label
    value_change,  // a step's state, the progress bar
    state_change,  // a button became enabled or disabled
    alert,         // the result appeared
};

struct AnnouncedEvent {
    Announcement kind = Announcement::reorder;
    int element = element_id::kWindow;
    bool operator==(const AnnouncedEvent&) const = default;
};

// At most one event of a kind per element; nothing when nothing a reader can
// perceive changed (boxes and focus are not announced here).
std::vector<AnnouncedEvent> announcements(const DisplayModel& before, const DisplayModel& after);

}  // namespace zelkora::ui
