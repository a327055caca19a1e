#pragma once

// The owner of WinINet handles (session, connection, request). Apart from Handle.h so that only the code that
// speaks HTTP pulls in wininet.h; the UI library and the rest never see it.

#include "win/Handle.h"

#include <windows.h>
#include <wininet.h>

using UniqueHInternet = UniqueResource<handle_traits::NullIsNone<HINTERNET, &::InternetCloseHandle>>;
