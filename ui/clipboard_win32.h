#pragma once
// The clipboard copy behind the "진단 복사" button.

#include <windows.h>

#include <string_view>

namespace zelkora::ui {

// Puts the text on the clipboard as CF_UNICODETEXT with the window as owner.
// False when the clipboard could not be opened, emptied or set; the memory
// is then freed here, never leaked or handed over half-written.
[[nodiscard]] bool copy_text_to_clipboard(HWND owner, std::wstring_view text);

}  // namespace zelkora::ui
