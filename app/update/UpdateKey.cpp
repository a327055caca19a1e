#include "update/UpdateKey.h"

const UpdateKey& BuiltInUpdateKey() noexcept {
    // Written by the build from the key it was given (packaging/update_signing.py c-array).
    static constexpr UpdateKey kKey = {
#include "UpdatePublicKey.inc"
    };
    return kKey;
}
