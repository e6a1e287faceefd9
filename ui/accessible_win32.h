#pragma once
// The accessible object of a window we paint: WM_GETOBJECT(OBJID_CLIENT) is
// answered with an IAccessible over the window's display model, and changes
// of the model are announced to screen readers through WinEvents.

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "ui/display_model.h"

namespace zelkora::ui {

struct AccessibleLink;

struct AccessibleSource {
    std::function<DisplayModel()> model;  // the model as the window shows it now
    std::function<double()> scale;        // DIPs to pixels
};

// Lives as long as the window; the objects handed to readers may outlive it
// and then answer that they are disconnected.
class AccessibleWindow {
public:
    AccessibleWindow(HWND window, AccessibleSource source);
    ~AccessibleWindow();
    AccessibleWindow(const AccessibleWindow&) = delete;
    AccessibleWindow& operator=(const AccessibleWindow&) = delete;

    // WM_GETOBJECT: our object for OBJID_CLIENT, the system's for the rest.
    LRESULT answer(WPARAM wparam, LPARAM lparam);
    // Raises the events for what changed since the last call; the first call
    // only remembers the model.
    void announce();

private:
    std::shared_ptr<AccessibleLink> link_;
    std::unique_ptr<DisplayModel> announced_;
};

// Shown within its parent, whether or not the parent itself is shown yet: the
// model of a window not yet on screen is what it will show.
bool shown_in_parent(HWND child);
// A child window's rectangle in the parent's client DIPs.
DisplayBox child_box(HWND parent, HWND child, double scale);
// A child window as the model reads it: its text, box and state.
DisplayControl child_control(HWND parent, HWND child, double scale);
// The buttons among ids that are shown, in that order.
std::vector<DisplayControl> visible_buttons(HWND parent, std::initializer_list<int> ids, double scale);

}  // namespace zelkora::ui
