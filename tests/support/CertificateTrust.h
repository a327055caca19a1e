#pragma once

// Makes a test server's certificate trusted for TLS in this wine prefix: WinINet accepts a server whose
// certificate is in the machine-wide "Root" store. Adding the same certificate again changes nothing.

#include "TempFolder.h"

#include "win/Handle.h"

#include <windows.h>
#include <wincrypt.h>

#include <string>

namespace testing_support {

struct CertStoreTraits {
    using pointer = HCERTSTORE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer store) noexcept { ::CertCloseStore(store, 0); }
};
using UniqueCertStore = UniqueResource<CertStoreTraits>;

// der: the certificate file in DER form.
inline bool TrustCertificateFile(const std::wstring& der) {
    const std::string bytes = ReadFileBytes(der);
    if (bytes.empty()) {
        return false;
    }
    const UniqueCertStore store(
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
    return store && ::CertAddEncodedCertificateToStore(
                        store.get(), X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
}

}  // namespace testing_support
