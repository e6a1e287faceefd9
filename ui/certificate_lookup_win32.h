#pragma once
// Whether the local machine already trusts a certificate: a read-only look
// into its system certificate stores.

#include <windows.h>

#include <array>
#include <span>

namespace zelkora::ui {

using Sha1Hash = std::array<BYTE, 20>;

inline constexpr wchar_t kSigningCertificateThumbprint[] = L"37E100B2B382866FA7CE04EE33FE53DF53AEDC6D";

// True when every named local-machine system store exists and holds the
// certificate; a store that cannot be opened read-only counts as not holding it.
bool certificate_in_machine_stores(std::span<const wchar_t* const> store_names, const Sha1Hash& sha1);

// The virtual-display signing certificate in both "Root" and "TrustedPublisher".
bool signing_certificate_trusted();

}  // namespace zelkora::ui
