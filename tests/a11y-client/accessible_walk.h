#pragma once
// A screen reader's view of a window, from another process: the accessible
// tree of a window's client area as one line per node, and the WinEvents a
// reader hears while it watches a process.

#include <windows.h>

#include <string>
#include <vector>

namespace zelkora::a11y {

// One line per node in reading order: two spaces per depth, the role, then
// ": name", " = value" when there is one and " [unavailable]" for a disabled
// control. Empty when the window has no accessible object.
std::vector<std::wstring> accessible_tree(HWND window);

// Screen rectangle of the node whose name is name; false when there is none.
bool accessible_location(HWND window, const std::wstring& name, RECT& location);

// Out-of-context WinEvent hook on one process, as a screen reader sets it.
// Records "event role: name" for the events a reader announces (name, value
// and state changes, reorders and alerts) on the client objects of windows
// of the given class, reading the name when the event arrives (a value may
// have moved on by then, so it is left out). Events arrive while the owning
// thread pumps messages.
class EventListener {
public:
    EventListener(DWORD process_id, std::wstring window_class);
    ~EventListener();
    EventListener(const EventListener&) = delete;
    EventListener& operator=(const EventListener&) = delete;

    bool hooked() const { return hook_ != nullptr; }
    // Pumps this thread's messages for the given time.
    void pump(DWORD milliseconds) const;
    const std::vector<std::wstring>& heard() const { return heard_; }

private:
    struct Event {
        DWORD event;
        HWND window;
        LONG object;
        LONG child;
    };
    static void CALLBACK on_event(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD);
    void describe_arrived() const;
    HWINEVENTHOOK hook_ = nullptr;
    std::wstring window_class_;
    // Reading an event's source is a call into the other process, during
    // which further events arrive; they wait here to keep their order.
    mutable std::vector<Event> arrived_;
    mutable bool describing_ = false;
    mutable std::vector<std::wstring> heard_;
};

}  // namespace zelkora::a11y
