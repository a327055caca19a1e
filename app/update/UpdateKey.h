#pragma once

// The public key that every update package must be signed with (PackageSignature.h): a point on the NIST
// P-256 curve, X then Y, 32 bytes each, big-endian. It is built into the program and nothing adds another:
// no registry value, file or environment variable can make the program trust a different key.
//
// A release embeds the releaser's key (scripts/release.sh); every other build embeds a test key made in its
// build tree (update-key/test-key.pem), with which it signs its own update-server tree and test packages.

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr size_t kUpdateKeyCoordinateSize = 32;
using UpdateKey = std::array<uint8_t, 2 * kUpdateKeyCoordinateSize>;

[[nodiscard]] const UpdateKey& BuiltInUpdateKey() noexcept;
