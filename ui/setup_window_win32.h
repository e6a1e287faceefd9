#pragma once

#include <windows.h>

#include <string_view>

#include "ui/window_state_win32.h"

namespace zelkora::ui {

inline constexpr wchar_t kSetupWindowClass[] = L"ZelkoraProductSetup028";
inline constexpr DWORD kSetupWindowStyle = WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
inline constexpr int kClientWidth = 560;
inline constexpr int kClientHeight = 470;

// WM_APP + 4 carries a progress line: core::kMessageProgressLine.
inline constexpr UINT kMessageUnusedLine = WM_APP + 5;
inline constexpr UINT kMessageStartInstaller = WM_APP + 0x79;

[[nodiscard]] bool register_setup_window_class(HINSTANCE instance);

// The window rectangle, at the origin, whose client area is the setup's
// client size at the given DPI.
RECT setup_window_frame(UINT dpi);

// Creates the (hidden) setup window with the state as creation parameter.
HWND create_setup_window(WindowState& state, HINSTANCE instance, std::wstring_view title);

// Texts, visibility and enabled state of the children from the state, the
// animation timer, layout and a repaint.
void refresh_controls(WindowState& state);

// A seamless update that needs the user after all: the window takes the
// splash's place with the given view.
void show_full_window(WindowState& state, core::RunState view);

// The modal install confirmation; counts every time it is shown.
[[nodiscard]] bool confirm_install(WindowState& state);

}  // namespace zelkora::ui
