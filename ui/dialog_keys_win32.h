#pragma once
// Enter and Escape for windows whose buttons are owner-drawn. The dialog
// manager does not count owner-drawn buttons as push buttons, so on its own
// it sends Enter to the default button even when another button has the
// focus; and a multi-line field takes every key for itself.

#include <windows.h>

namespace zelkora::ui {

// Call for every message before IsDialogMessageW(window, ...). For a key
// typed into a child of `window`: Enter presses the focused button, or the
// default button (DM_GETDEFID, else IDOK) when no button has the focus;
// Escape sends IDCANCEL, as IsDialogMessageW does. True when the message
// was handled and must not be dispatched.
[[nodiscard]] bool translate_dialog_key(HWND window, const MSG& message);

}  // namespace zelkora::ui
