#pragma once
// The dark title bar of the setup window and its dialogs, where DWM offers it.

#include <windows.h>

namespace zelkora::ui {

// Loads dwmapi.dll from System32 for the call only; a missing library,
// function or attribute leaves the system's title bar.
void style_title_bar(HWND window);

}  // namespace zelkora::ui
