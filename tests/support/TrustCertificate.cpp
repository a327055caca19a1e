// Trusts a test server's certificate in the wine prefix it runs in (for tests written in Python).
//
//   TrustCertificate.exe CERT.der        exit code 0 when the certificate is in the machine's "Root" store

#include "CertificateTrust.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        return 2;
    }
    return testing_support::TrustCertificateFile(argv[1]) ? 0 : 1;
}
