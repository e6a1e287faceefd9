#include "ui/title_bar_win32.h"

#include "core/owners.h"
#include "ui/theme.h"

namespace zelkora::ui {
namespace {

using SetWindowAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);

// Older SDK headers lack the later attribute numbers.
constexpr DWORD kUseImmersiveDarkMode = 20;
constexpr DWORD kBorderColour = 34;
constexpr DWORD kCaptionColour = 35;
constexpr DWORD kTextColour = 36;

}  // namespace

void style_title_bar(HWND window) {
    const UniqueLibrary dwmapi(::LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!dwmapi) return;
    const auto set_attribute = reinterpret_cast<SetWindowAttribute>(
        reinterpret_cast<void*>(::GetProcAddress(dwmapi.get(), "DwmSetWindowAttribute")));
    if (!set_attribute) return;
    const BOOL dark = TRUE;
    set_attribute(window, kUseImmersiveDarkMode, &dark, sizeof(dark));
    const struct {
        DWORD attribute;
        COLORREF colour;
    } colours[] = {{kCaptionColour, theme::kBackground}, {kTextColour, theme::kMuted}, {kBorderColour, theme::kLine}};
    for (const auto& entry : colours) set_attribute(window, entry.attribute, &entry.colour, sizeof(entry.colour));
}

}  // namespace zelkora::ui
