#pragma once

// HTTPS transfers for the update checks and package downloads, over WinINet.
//
// The update server is trusted only as far as TLS and the answers' shape allow: only https:// addresses are
// opened, redirects are not followed, only a 200 answer counts, and every transfer is bounded in time and
// size (TransferLimits), so an unreachable, stalled or flooding server cannot hold the update job for
// long.

#include "update/HttpsRequest.h"
#include "update/UpdateNotify.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

inline constexpr int kTransferDone = 1;
inline constexpr int kTransferNoInternet = 0;  // WinINet could not be opened
// Not opened, not 200, too big, too slow, or a read or write failed.
inline constexpr int kTransferFailed = -1;
inline constexpr int kTransferStopped = -2;  // Stop was called during the transfer

inline constexpr DWORD kTransferReadSize = 10240;

// Progress values of a download, posted with kDownloadProgressMessage (wParam 0).
inline constexpr int kProgressIdle = 0;
inline constexpr int kProgressOnline = 2;
inline constexpr int kProgressOpened = 8;
inline constexpr int kProgressReceiving = 10;
inline constexpr int kProgressPerPiece = 90;  // spread over the pieces the content length announces
inline constexpr int kProgressComplete = 100;

// A version file holds at most 10 characters: a few seconds and a kilobyte are plenty, and the start-up
// checks run before the first display report (opening takes at most 2 + 3 s).
inline constexpr TransferLimits kVersionFileLimits{2000, 2000, 3000, 6000, 1024};
// A package is an installer in a zip: minutes and hundreds of megabytes.
inline constexpr TransferLimits kPackageLimits{10000, 10000, 30000, 15 * 60 * 1000, 512ull << 20};

class HttpTransfer {
  public:
    explicit HttpTransfer(const TransferLimits& textLimits = kVersionFileLimits,
                          const TransferLimits& fileLimits = kPackageLimits) noexcept
        : textLimits_(textLimits), fileLimits_(fileLimits) {}
    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;

    // The body of url, decoded as UTF-8 up to its first zero byte. text is assigned on kTransferDone and
    // kTransferStopped only.
    int FetchText(const std::wstring& url, std::wstring* text) noexcept;
    // The body of url as it came, within the same limits; bytes is assigned on kTransferDone and
    // kTransferStopped only.
    int FetchBytes(const std::wstring& url, std::string* bytes) noexcept;

    // Writes the body of url into file (open for writing and empty, the caller's to keep and check) and sends
    // progress to notify as kDownloadProgressMessage (empty: none), each value only when it differs from the
    // last one posted: 0 first if the last was not 0, then 2, 8, 10, 10 + 90 * pieces / (content length /
    // 10240) after each piece when the length is known (not clamped: more pieces than announced go past 100),
    // and 100 at the end. Only a complete download leaves anything in the file: on every other result it is
    // emptied again.
    int DownloadFile(const std::wstring& url, HANDLE file, const UpdateNotify& notify) noexcept;

    // Any thread: ends the running transfer after its current read.
    void Stop() noexcept { keepRunning_.store(0); }

    [[nodiscard]] int LastProgress() const noexcept { return lastProgress_; }

  private:
    void PostProgress(const UpdateNotify& notify, int64_t value) noexcept;

    const TransferLimits textLimits_;
    const TransferLimits fileLimits_;
    std::atomic<uint8_t> keepRunning_{0};
    int lastProgress_ = kProgressIdle;
};
