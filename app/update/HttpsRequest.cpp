#include "update/HttpsRequest.h"

#include <shlwapi.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace {

constexpr char kAcceptHeaders[] = "Accept: */*\r\n\r\n";
// Always from the server, never from a cache. Redirects are not followed: the answer must come from the
// address asked (a redirect could otherwise lead an https address to a plain http one).
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_AUTO_REDIRECT |
                                INTERNET_FLAG_SECURE;
constexpr DWORD kHttpOk = 200;
constexpr wchar_t kHttpsScheme[] = L"https://";

// UTF-8 for the wire; empty if url is not an https address or not valid UTF-16. The one check of the scheme:
// INTERNET_FLAG_SECURE then makes the request speak TLS whatever the port.
std::string HttpsUrlToUtf8(const std::wstring& url) {
    constexpr int schemeLength = static_cast<int>(std::size(kHttpsScheme) - 1);
    if (url.size() <= static_cast<size_t>(schemeLength) ||
        ::StrCmpNIW(url.c_str(), kHttpsScheme, schemeLength) != 0) {
        return {};
    }
    const int length = static_cast<int>(url.size());
    const int size = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, url.c_str(), length, nullptr, 0,
                                           nullptr, nullptr);
    if (size <= 0) {
        return {};
    }
    std::string utf8(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, url.c_str(), length, utf8.data(), size, nullptr,
                          nullptr);
    return utf8;
}

UniqueHInternet OpenInternet() noexcept {
    DWORD flags = 0;
    ::InternetGetConnectedState(&flags, 0);
    const DWORD access = (flags & INTERNET_CONNECTION_PROXY) ? INTERNET_OPEN_TYPE_PRECONFIG
                                                             : INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
    return UniqueHInternet(::InternetOpenA(kUpdateUserAgent, access, nullptr, nullptr, 0));
}

// Everything that may block, on the calling thread. Connection and request are opened one by one (not with
// InternetOpenUrl) so that the time-outs reach the request: wine ignores them on the internet handle.
HttpsRequest OpenBlocking(const std::string& url, const TransferLimits& limits) noexcept {
    HttpsRequest opened;
    opened.internet = OpenInternet();
    opened.online = opened.internet.valid();
    char host[INTERNET_MAX_HOST_NAME_LENGTH] = {};
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof(host);
    parts.dwUrlPathLength = 1;  // located in url, not copied
    parts.dwExtraInfoLength = 1;
    if (!opened.online || !::InternetCrackUrlA(url.c_str(), 0, 0, &parts) || host[0] == '\0') {
        return opened;
    }
    const std::string object =
        parts.dwUrlPathLength > 0
            ? std::string(parts.lpszUrlPath, parts.dwUrlPathLength + parts.dwExtraInfoLength)
            : std::string("/");
    opened.connection.reset(::InternetConnectA(opened.internet.get(), host, parts.nPort, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
    if (!opened.connection) {
        return opened;
    }
    UniqueHInternet request(::HttpOpenRequestA(opened.connection.get(), "GET", object.c_str(), nullptr,
                                               nullptr, nullptr, kRequestFlags, 0));
    if (!request) {
        return opened;
    }
    const std::pair<DWORD, DWORD> timeouts[] = {
        {INTERNET_OPTION_CONNECT_TIMEOUT, limits.connectMs},
        {INTERNET_OPTION_SEND_TIMEOUT, limits.sendMs},
        {INTERNET_OPTION_RECEIVE_TIMEOUT, limits.receiveMs},
        {INTERNET_OPTION_DATA_SEND_TIMEOUT, limits.sendMs},
        {INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, limits.receiveMs},
    };
    for (auto [option, ms] : timeouts) {
        ::InternetSetOptionW(request.get(), option, &ms, sizeof(ms));
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (::HttpSendRequestA(request.get(), kAcceptHeaders, static_cast<DWORD>(std::strlen(kAcceptHeaders)),
                           nullptr, 0) &&
        ::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                         nullptr) &&
        status == kHttpOk) {
        opened.request = std::move(request);
    }
    return opened;
}

// What the opening thread and the transfer share; the last of the two to let go frees it (and with it the
// handles of an opening that came too late).
struct Opening {
    std::mutex mutex;
    bool finished = false;
    HttpsRequest opened;
    UniqueHandle done;  // manual reset, set when finished
};

}  // namespace

HttpsRequest OpenHttpsRequest(const std::wstring& url, const TransferLimits& limits) noexcept {
    HttpsRequest failed;
    failed.online = true;
    const std::string utf8 = HttpsUrlToUtf8(url);
    auto opening = std::make_shared<Opening>();
    opening->done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (utf8.empty() || !opening->done) {
        return failed;
    }
    try {
        std::thread([opening, utf8, limits]() noexcept {
            HttpsRequest opened = OpenBlocking(utf8, limits);
            const std::lock_guard lock(opening->mutex);
            opening->opened = std::move(opened);
            opening->finished = true;
            ::SetEvent(opening->done.get());
        }).detach();
    } catch (const std::system_error&) {
        return failed;
    }
    ::WaitForSingleObject(opening->done.get(), limits.connectMs + limits.receiveMs);
    const std::lock_guard lock(opening->mutex);
    if (!opening->finished) {
        return failed;  // too late: the thread goes on alone and closes what it opens
    }
    return std::move(opening->opened);
}
