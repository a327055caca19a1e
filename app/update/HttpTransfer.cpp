#include "update/HttpTransfer.h"

#include "common/WindowMessages.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace {

// The announced body length, 0 when the answer does not say.
DWORD ContentLength(HINTERNET request) noexcept {
    DWORD length = 0;
    DWORD size = sizeof(length);
    if (!::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size,
                          nullptr)) {
        return 0;
    }
    return length;
}

std::wstring Utf8ToText(const std::string& bytes) {
    const size_t end = std::min(bytes.find('\0'), bytes.size());
    if (end == 0) {
        return {};
    }
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(end), nullptr, 0);
    std::wstring text(static_cast<size_t>(std::max(size, 0)), L'\0');
    if (size > 0) {
        ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(end), text.data(), size);
    }
    return text;
}

class Deadline {
  public:
    explicit Deadline(DWORD ms) noexcept : end_(::GetTickCount64() + ms) {}
    [[nodiscard]] bool Passed() const noexcept { return ::GetTickCount64() > end_; }

  private:
    ULONGLONG end_;
};

}  // namespace

int HttpTransfer::FetchBytes(const std::wstring& url, std::string* bytes) noexcept {
    keepRunning_.store(1);
    const Deadline deadline(textLimits_.totalMs);
    const HttpsRequest opened = OpenHttpsRequest(url, textLimits_);
    if (!opened.online) {
        return kTransferNoInternet;
    }
    const HINTERNET request = opened.request.get();
    if (!request || ContentLength(request) > textLimits_.maxBytes) {
        return kTransferFailed;
    }
    std::string body;
    char buffer[kTransferReadSize];
    for (;;) {
        // One byte past the cap is enough to tell that the body is too long.
        const DWORD want =
            static_cast<DWORD>(std::min<uint64_t>(sizeof(buffer), textLimits_.maxBytes + 1 - body.size()));
        DWORD got = 0;
        if (!::InternetReadFile(request, buffer, want, &got)) {
            return kTransferFailed;
        }
        if (got == 0) {
            break;
        }
        body.append(buffer, got);
        if (body.size() > textLimits_.maxBytes || deadline.Passed()) {
            return kTransferFailed;
        }
        if (keepRunning_.load() == 0) {
            break;
        }
    }
    *bytes = std::move(body);
    return keepRunning_.load() != 0 ? kTransferDone : kTransferStopped;
}

int HttpTransfer::FetchText(const std::wstring& url, std::wstring* text) noexcept {
    std::string body;
    const int result = FetchBytes(url, &body);
    if (result == kTransferDone || result == kTransferStopped) {
        *text = Utf8ToText(body);
    }
    return result;
}

int HttpTransfer::DownloadFile(const std::wstring& url, HANDLE file, const UpdateNotify& notify) noexcept {
    keepRunning_.store(1);
    const Deadline deadline(fileLimits_.totalMs);
    PostProgress(notify, kProgressIdle);  // only if the last download left another value
    const HttpsRequest opened = OpenHttpsRequest(url, fileLimits_);
    if (!opened.online) {
        return kTransferNoInternet;
    }
    PostProgress(notify, kProgressOnline);
    const HINTERNET request = opened.request.get();
    if (!request) {
        return kTransferFailed;
    }
    PostProgress(notify, kProgressOpened);
    const DWORD length = ContentLength(request);
    if (length > fileLimits_.maxBytes) {
        return kTransferFailed;
    }
    // A partial package is no package.
    const auto empty = [file]() noexcept {
        LARGE_INTEGER start{};
        ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
        ::SetEndOfFile(file);
    };
    const auto fail = [&]() noexcept {
        empty();
        return kTransferFailed;
    };
    const int64_t pieces = length / kTransferReadSize;
    PostProgress(notify, kProgressReceiving);

    std::vector<char> buffer(kTransferReadSize);
    uint64_t received = 0;
    int64_t counter = 0;
    for (;;) {
        DWORD got = 0;
        if (!::InternetReadFile(request, buffer.data(), kTransferReadSize, &got)) {
            return fail();
        }
        if (got == 0) {
            break;
        }
        received += got;
        DWORD written = 0;
        if (received > fileLimits_.maxBytes || deadline.Passed() ||
            !::WriteFile(file, buffer.data(), got, &written, nullptr) || written != got) {
            return fail();
        }
        counter += kProgressPerPiece;
        if (pieces != 0) {
            PostProgress(notify, kProgressReceiving + counter / pieces);
        }
        if (keepRunning_.load() == 0) {
            break;
        }
    }
    if (keepRunning_.load() == 0) {
        empty();
        PostProgress(notify, kProgressComplete);
        return kTransferStopped;
    }
    PostProgress(notify, kProgressComplete);
    return kTransferDone;
}

void HttpTransfer::PostProgress(const UpdateNotify& notify, int64_t value) noexcept {
    const int progress = static_cast<int>(std::min<int64_t>(value, INT_MAX));
    if (progress == lastProgress_) {
        return;
    }
    lastProgress_ = progress;
    if (notify) {
        notify(kDownloadProgressMessage, 0, progress);
    }
}
