#pragma once
// The window attributes that DWM draws: the dark title bar of the setup
// window and its dialogs, the splash's round corners and border.

#include <windows.h>

#include <initializer_list>

namespace zelkora::ui {

struct WindowAttribute {
    DWORD attribute;  // a DWMWA_ number
    DWORD value;      // a BOOL, COLORREF or corner preference, all four bytes
};

// Sets each attribute in turn through DwmSetWindowAttribute, loaded from
// System32's dwmapi.dll for the call only; a missing library, function or
// attribute leaves the window as the system draws it.
void set_window_attributes(HWND window, std::initializer_list<WindowAttribute> attributes);

// The dark title bar in the window's own colours.
void style_title_bar(HWND window);

using WindowAttributeSetter = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);

// The function that sets the attributes, given DwmSetWindowAttribute as
// loaded. Defined alone in its own source: the setup calls the loaded
// function itself, and the Windows tests link a definition of their own
// that records each call before passing it on, so the release has no way
// to put anything else in its place.
WindowAttributeSetter window_attribute_setter(WindowAttributeSetter loaded);

}  // namespace zelkora::ui
