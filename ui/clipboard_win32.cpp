#include "ui/clipboard_win32.h"

#include <algorithm>

#include "core/owners_win32.h"

namespace zelkora::ui {
namespace {

class OpenClipboardScope {
public:
    explicit OpenClipboardScope(HWND owner) : open_(::OpenClipboard(owner) != FALSE) {}
    ~OpenClipboardScope() {
        if (open_) ::CloseClipboard();
    }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;

    bool is_open() const { return open_; }

private:
    bool open_;
};

// Filled completely before the clipboard is touched, so a failed allocation
// leaves the clipboard as it was.
UniqueGlobalMemory unicode_text_block(std::wstring_view text) {
    UniqueGlobalMemory block(::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t)));
    if (!block) return {};
    auto* target = static_cast<wchar_t*>(::GlobalLock(block.get()));
    if (!target) return {};
    *std::copy(text.begin(), text.end(), target) = L'\0';
    ::GlobalUnlock(block.get());
    return block;
}

}  // namespace

bool copy_text_to_clipboard(HWND owner, std::wstring_view text) {
    UniqueGlobalMemory block = unicode_text_block(text);
    if (!block) return false;
    const OpenClipboardScope clipboard(owner);
    if (!clipboard.is_open() || !::EmptyClipboard()) return false;
    if (!::SetClipboardData(CF_UNICODETEXT, block.get())) return false;
    [[maybe_unused]] const HGLOBAL owned_by_clipboard = block.release();
    return true;
}

}  // namespace zelkora::ui
