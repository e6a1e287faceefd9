#pragma once
// The four uses of the confirmation dialog: the install confirmation, the
// virtual-display signature trust, the restart confirmation and the
// installation-in-progress information.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string_view>

#include "ui/certificate_lookup_win32.h"
#include "ui/dialog_window_win32.h"

namespace zelkora::ui {

// A question with two buttons (information_only is ignored).
[[nodiscard]] bool confirm(DialogRequest request, bool embedded_fonts_in_gdi);

// One-button information; the title doubles as the heading.
void inform(HWND owner, std::wstring_view title_and_heading, std::wstring_view body,
            bool embedded_fonts_in_gdi);

struct InstallConfirmationOptions {
    bool preview = false;
    // Also asks to trust the virtual-display signature; the Client setup
    // leaves it false.
    bool native_display = false;
    bool embedded_fonts_in_gdi = false;
};

// Counts the confirmation, asks, and for a native-display installation asks
// to trust the signature unless the certificate lookup says it already is.
[[nodiscard]] bool confirm_install(HWND owner, const InstallConfirmationOptions& options, std::int32_t& confirmations,
                     const std::function<bool()>& certificate_trusted = signing_certificate_trusted);

[[nodiscard]] bool confirm_signature_trust(HWND owner, bool embedded_fonts_in_gdi);
[[nodiscard]] bool confirm_restart(HWND owner, bool embedded_fonts_in_gdi);
void inform_installation_in_progress(HWND owner, bool embedded_fonts_in_gdi);

}  // namespace zelkora::ui
