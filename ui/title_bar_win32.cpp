#include "ui/title_bar_win32.h"

#include "core/owners_win32.h"
#include "ui/theme_win32.h"

namespace zelkora::ui {
namespace {

// Older SDK headers lack the later attribute numbers.
constexpr DWORD kUseImmersiveDarkMode = 20;
constexpr DWORD kBorderColour = 34;
constexpr DWORD kCaptionColour = 35;
constexpr DWORD kTextColour = 36;

}  // namespace

void set_window_attributes(HWND window, std::initializer_list<WindowAttribute> attributes) {
    const UniqueLibrary dwmapi(::LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!dwmapi) return;
    const auto loaded = reinterpret_cast<WindowAttributeSetter>(
        reinterpret_cast<void*>(::GetProcAddress(dwmapi.get(), "DwmSetWindowAttribute")));
    if (!loaded) return;
    const WindowAttributeSetter set_attribute = window_attribute_setter(loaded);
    for (const WindowAttribute& entry : attributes) {
        set_attribute(window, entry.attribute, &entry.value, sizeof(entry.value));
    }
}

void style_title_bar(HWND window) {
    set_window_attributes(window, {{kUseImmersiveDarkMode, TRUE},
                                   {kCaptionColour, theme::kBackground},
                                   {kTextColour, theme::kMuted},
                                   {kBorderColour, theme::kLine}});
}

}  // namespace zelkora::ui
