#pragma once

// Opening one GET request to an https:// address with WinINet, bounded in time.

#include "win/InternetHandle.h"

#include <windows.h>

#include <cstdint>
#include <string>

struct TransferLimits {
    DWORD connectMs;    // TCP connect and TLS set-up
    DWORD sendMs;       // sending the request
    DWORD receiveMs;    // the longest wait for any part of the answer
    DWORD totalMs;      // the whole transfer, from opening the address to the last byte
    uint64_t maxBytes;  // the largest body accepted
};

inline constexpr char kUpdateUserAgent[] = "IIC2.0/PC 5.5.0000";

// The handles of an opened request, in the order they close.
struct HttpsRequest {
    bool online = false;  // WinINet could be opened
    UniqueHInternet internet;
    UniqueHInternet connection;
    UniqueHInternet request;  // null unless the server answered 200 in time
};

// Opens WinINet (direct, or through the configured proxy when the system says it uses one), connects to url's
// server and sends "GET" for url's path and query exactly as written, with headers "Accept: */*", never from
// a cache and without following redirects. Only an https:// address is opened, and only a 200 answer counts.
//
// Connecting, the TLS handshake and the wait for the answer's headers together take at most
// limits.connectMs + limits.receiveMs: they run on a thread of their own, which is left behind if it takes
// longer (it closes its handles when it ends), because wine applies no time-out to the handshake. Reads on
// the returned request are bounded by limits.receiveMs each.
[[nodiscard]] HttpsRequest OpenHttpsRequest(const std::wstring& url, const TransferLimits& limits) noexcept;
