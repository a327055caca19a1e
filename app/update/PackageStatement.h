#pragma once

// What the signature of an update package vouches for: a short text that names the package, the version it
// is offered as, the folder it is served from, and its bytes by their SHA-256.
//
//   Kelvaro-DIG update package\n
//   folder display-K/K1K2/software/\n
//   name Software-1.0.0.6.zip\n
//   version 1.0.0.6\n
//   sha256 <the package's SHA-256 in 64 lower-case hexadecimal digits>\n
//
// Signing this rather than the package alone binds the version text to the bytes: an old package with its
// valid signature, offered under a newer version (a downgrade), or the K1 firmware tool offered from the K2
// folder, does not match. The program writes the text itself from what it asked for and what it received, so
// the only thing it reads from the server for the check is the 64-byte signature; the signer
// (packaging/update_signing.py) writes the same text.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

using Sha256Digest = std::array<uint8_t, 32>;

// The statement, or empty when folder, name or version is empty or holds anything but printable ASCII
// without spaces (which no folder, package name or version the program asks for does).
[[nodiscard]] std::string PackageStatement(std::wstring_view folder, std::wstring_view name,
                                           std::wstring_view version, const Sha256Digest& package);
