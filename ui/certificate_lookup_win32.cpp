#include "ui/certificate_lookup_win32.h"

#include <wincrypt.h>

#include <algorithm>
#include <string_view>

#include "core/owners_win32.h"

namespace zelkora::ui {
namespace {

constexpr BYTE hex_value(wchar_t digit) {
    if (digit >= L'0' && digit <= L'9') return static_cast<BYTE>(digit - L'0');
    if (digit >= L'A' && digit <= L'F') return static_cast<BYTE>(digit - L'A' + 10);
    return static_cast<BYTE>(digit - L'a' + 10);
}

constexpr Sha1Hash sha1_from_hex(std::wstring_view hex) {
    Sha1Hash hash{};
    for (size_t i = 0; i < hash.size(); ++i) {
        hash[i] = static_cast<BYTE>(hex_value(hex[2 * i]) << 4 | hex_value(hex[2 * i + 1]));
    }
    return hash;
}

static_assert(std::wstring_view(kSigningCertificateThumbprint).size() == 40);
constexpr Sha1Hash kSigningCertificateSha1 = sha1_from_hex(kSigningCertificateThumbprint);

bool machine_store_holds(const wchar_t* store_name, const Sha1Hash& sha1) {
    const UniqueCertStore store(::CertOpenStore(
        CERT_STORE_PROV_SYSTEM_W, 0, 0,
        CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG, store_name));
    if (!store) return false;
    CRYPT_HASH_BLOB blob{static_cast<DWORD>(sha1.size()), const_cast<BYTE*>(sha1.data())};
    const UniqueCertificate found(::CertFindCertificateInStore(
        store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, nullptr));
    return static_cast<bool>(found);
}

}  // namespace

bool certificate_in_machine_stores(std::span<const wchar_t* const> store_names, const Sha1Hash& sha1) {
    if (store_names.empty()) return false;
    return std::all_of(store_names.begin(), store_names.end(),
                       [&](const wchar_t* name) { return machine_store_holds(name, sha1); });
}

bool signing_certificate_trusted() {
    static constexpr const wchar_t* kStores[] = {L"Root", L"TrustedPublisher"};
    return certificate_in_machine_stores(kStores, kSigningCertificateSha1);
}

}  // namespace zelkora::ui
