#include "ui/accessible_events.h"

namespace zelkora::ui {
namespace {

std::vector<int> readable_ids(const DisplayModel& model) {
    std::vector<int> ids;
    for (const DisplayElement& element : model.elements) {
        if (model.readable(element)) ids.push_back(element.id);
    }
    return ids;
}

}  // namespace

std::vector<AnnouncedEvent> announcements(const DisplayModel& before, const DisplayModel& after) {
    std::vector<AnnouncedEvent> events;
    if (readable_ids(before) != readable_ids(after)) events.push_back({Announcement::reorder, element_id::kWindow});
    for (const DisplayElement& now : after.elements) {
        if (!after.readable(now)) continue;
        const DisplayElement* was = before.find(now.id);
        if (!was) continue;
        if (was->name != now.name) events.push_back({Announcement::name_change, now.id});
        if (was->value != now.value) events.push_back({Announcement::value_change, now.id});
        if ((was->states ^ now.states) & display_state::kUnavailable) {
            events.push_back({Announcement::state_change, now.id});
        }
    }
    if (after.find(element_id::kResultTitle) && !before.find(element_id::kResultTitle)) {
        events.push_back({Announcement::alert, element_id::kResultTitle});
    }
    return events;
}

}  // namespace zelkora::ui
