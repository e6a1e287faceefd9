#pragma once
// The modal confirmation dialog of the setup and its four uses: the install
// confirmation, the virtual-display signature trust, the restart
// confirmation and the installation-in-progress information.

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelkora::ui {

inline constexpr wchar_t kConfirmationWindowClass[] = L"ZelkoraSetupConfirmation";
inline constexpr int kPrimaryButtonId = 1;
inline constexpr int kCancelButtonId = 2;

struct DetailRow {
    std::wstring label;
    std::wstring value;
    bool monospace = false;
};

// Filled by the caller and owned by it for the duration of the call.
struct DialogRequest {
    HWND owner = nullptr;  // disabled while the dialog is open
    std::wstring title;
    std::wstring heading;
    std::wstring body;          // paragraphs separated by '\n'
    std::wstring caution_text;  // empty: no caution box
    std::wstring primary_label;
    bool cancel_is_default = false;
    bool information_only = false;  // one "확인" button, the answer means nothing
    std::vector<DetailRow> detail_rows;
};

// Runs the dialog modally. True only when the user pressed the primary
// button; a dialog that cannot be created counts as declined. A WM_QUIT
// that arrives meanwhile declines and is posted again for the outer loop.
// The embedded-fonts flag chooses "Pretendard" over "Malgun Gothic".
bool run_dialog(const DialogRequest& request, bool embedded_fonts_in_gdi);

// A question with two buttons (information_only is ignored).
bool confirm(DialogRequest request, bool embedded_fonts_in_gdi);

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

using Sha1Hash = std::array<BYTE, 20>;

inline constexpr wchar_t kSigningCertificateThumbprint[] = L"37E100B2B382866FA7CE04EE33FE53DF53AEDC6D";

// True when every named local-machine system store exists and holds the
// certificate; a store that cannot be opened read-only counts as not holding it.
bool certificate_in_machine_stores(std::span<const wchar_t* const> store_names, const Sha1Hash& sha1);

// The virtual-display signing certificate in both "Root" and "TrustedPublisher".
bool signing_certificate_trusted();

// Counts the confirmation, asks, and for a native-display installation asks
// to trust the signature unless the certificate lookup says it already is.
bool confirm_install(HWND owner, const InstallConfirmationOptions& options, std::int32_t& confirmations,
                     const std::function<bool()>& certificate_trusted = signing_certificate_trusted);

bool confirm_signature_trust(HWND owner, bool embedded_fonts_in_gdi);
bool confirm_restart(HWND owner, bool embedded_fonts_in_gdi);
void inform_installation_in_progress(HWND owner, bool embedded_fonts_in_gdi);

}  // namespace zelkora::ui
