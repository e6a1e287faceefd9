#include "ui/dialog_keys_win32.h"

namespace zelkora::ui {
namespace {

bool is_button(HWND control) {
    wchar_t name[16] = {};
    return ::GetClassNameW(control, name, 16) > 0 && ::lstrcmpiW(name, L"Button") == 0;
}

void send_command(HWND window, int id, HWND control) {
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

void press_default_button(HWND window) {
    const LRESULT default_id = ::SendMessageW(window, DM_GETDEFID, 0, 0);
    const int id = HIWORD(default_id) == DC_HASDEFID ? LOWORD(default_id) : IDOK;
    const HWND button = ::GetDlgItem(window, id);
    // A disabled default button cannot be pressed, by key or by mouse.
    if (button && !::IsWindowEnabled(button)) return;
    send_command(window, id, button);
}

}  // namespace

bool translate_dialog_key(HWND window, const MSG& message) {
    if (message.message != WM_KEYDOWN || !::IsChild(window, message.hwnd)) return false;
    const HWND focus = message.hwnd;
    switch (message.wParam) {
        case VK_RETURN:
            if (::GetParent(focus) == window && is_button(focus)) {
                send_command(window, ::GetDlgCtrlID(focus), focus);
            } else {
                press_default_button(window);
            }
            return true;
        case VK_ESCAPE:
            send_command(window, IDCANCEL, ::GetDlgItem(window, IDCANCEL));
            return true;
        default:
            return false;
    }
}

}  // namespace zelkora::ui
