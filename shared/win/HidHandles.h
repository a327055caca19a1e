#pragma once

// The owners of what hidapi hands out: an open device, and the list hid_enumerate makes. Apart from Handle.h
// so that only the code that talks to displays needs hidapi's header.

#include "win/Handle.h"

#include <hidapi.h>

using UniqueHidDevice = UniqueResource<handle_traits::NullIsNone<hid_device*, &::hid_close>>;
// The first entry of the list; walk it through `next`.
using UniqueHidDeviceList =
    UniqueResource<handle_traits::NullIsNone<hid_device_info*, &::hid_free_enumeration>>;
