#pragma once
// The modal, custom-drawn window that every confirmation of the setup uses:
// a question (or a notice) with one or two owner-drawn buttons.

#include <windows.h>

#include "ui/dialog_request_win32.h"

namespace zelkora::ui {

inline constexpr wchar_t kConfirmationWindowClass[] = L"ZelkoraSetupConfirmation";

// Runs the dialog modally. True only when the user pressed the primary
// button; a dialog that cannot be created counts as declined. A WM_QUIT
// that arrives meanwhile declines and is posted again for the outer loop.
// The owner is enabled again before the dialog goes, so that Windows hands
// the activation back to it, and the keyboard focus returns to it.
// The embedded-fonts flag chooses "Pretendard" over "Malgun Gothic".
[[nodiscard]] bool run_dialog(const DialogRequest& request, bool embedded_fonts_in_gdi);

}  // namespace zelkora::ui
