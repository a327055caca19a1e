#pragma once

// The check that an update package is one the releaser signed, made before anything in it is unpacked or
// started.
//
// Beside each package "<name>.zip" the server keeps "<name>.zip.sig": the ECDSA P-256 signature of the
// SHA-256 of the package's statement (PackageStatement.h), as 64 bytes, r then s, 32 bytes each, big-endian.
// That raw form is what CNG's BCryptVerifySignature takes, so the program parses nothing but its length; the
// signing side converts openssl's DER (packaging/update_signing.py). It is checked with the system's CNG
// against the key built into the program (UpdateKey.h), whose private half never sits on the update server.

#include "update/HttpTransfer.h"
#include "update/UpdateKey.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr size_t kPackageSignatureSize = 64;
inline constexpr wchar_t kSignatureSuffix[] = L".sig";

enum class SignatureCheck {
    kValid,
    kMissing,     // no signature came: not there (not 200), too big, too slow, or no connection
    kMalformed,   // what came is not a signature of 64 bytes
    kUnreadable,  // the package could not be read through its handle, or is bigger than a package may be
    kMismatch,  // the signature does not vouch for this package, under this name and version, in this folder
    kUnavailable,  // the system's cryptography could not check it
};

// What the program asked for; the statement is made from it and the package's bytes.
struct PackageIdentity {
    std::wstring_view folder;  // below the server's base address, ending with "/": "display-K/K1K2/software/"
    std::wstring_view name;    // "Software-1.0.0.6.zip"
    std::wstring_view version;  // "1.0.0.6", as it is in the name
};

// Checks signature against the package's bytes, read through package (open for reading) from its start in
// pieces, at most maxBytes of them; a handle read whole is left at the start again. Reading through the
// handle the package was written with means the bytes checked are the bytes that are then unpacked.
[[nodiscard]] SignatureCheck VerifyPackage(HANDLE package, const PackageIdentity& identity,
                                           std::string_view signature,
                                           const UpdateKey& key = BuiltInUpdateKey(),
                                           uint64_t maxBytes = kPackageLimits.maxBytes) noexcept;

// Fetches packageUrl + ".sig" with transfer, within the version file's limits, and verifies the package with
// it as above.
[[nodiscard]] SignatureCheck CheckPackageSignature(HttpTransfer& transfer, const std::wstring& packageUrl,
                                                   HANDLE package, const PackageIdentity& identity,
                                                   const UpdateKey& key = BuiltInUpdateKey()) noexcept;

// Why a package was refused, for the log: "the signature could not be fetched", ...
[[nodiscard]] const wchar_t* SignatureCheckText(SignatureCheck check) noexcept;
