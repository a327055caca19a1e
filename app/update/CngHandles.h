#pragma once

// Owners of the handles of the system's cryptography (CNG, bcrypt.dll), one move-only type per kind, as in
// core/Handle.h.

#include "win/Handle.h"

#include <windows.h>
#include <bcrypt.h>

namespace handle_traits {
inline void CloseCngAlgorithm(BCRYPT_ALG_HANDLE algorithm) noexcept {
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
}
}  // namespace handle_traits

using UniqueCngAlgorithm =
    UniqueResource<handle_traits::NullIsNone<BCRYPT_ALG_HANDLE, &handle_traits::CloseCngAlgorithm>>;
using UniqueCngKey = UniqueResource<handle_traits::NullIsNone<BCRYPT_KEY_HANDLE, &::BCryptDestroyKey>>;
using UniqueCngHash = UniqueResource<handle_traits::NullIsNone<BCRYPT_HASH_HANDLE, &::BCryptDestroyHash>>;
