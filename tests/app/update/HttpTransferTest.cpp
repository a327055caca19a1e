// HttpTransfer against a real HTTPS server on localhost: what counts as an answer, the bounds on time and
// size, and the progress a real window receives during a download.

#include "update/HttpTransfer.h"

#include "shell/WindowMessages.h"

#include "LocalUpdateServer.h"
#include "MessageSink.h"
#include "TempFolder.h"
#include "Wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <utility>
#include <vector>

using testing_support::LocalUpdateServer;
using testing_support::MessageSink;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WaitUntil;

namespace {

class Transfer : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server_.ok()) << "the local HTTPS server did not start"; }

    // The progress values posted so far (always with wParam 0).
    std::vector<LPARAM> Progress() {
        std::vector<LPARAM> values;
        for (auto [wParam, lParam] : sink_.Take(kTrayCallbackMessage)) {
            EXPECT_EQ(wParam, 0u);
            values.push_back(lParam);
        }
        return values;
    }

    MessageSink sink_;

    LocalUpdateServer server_;
    TempFolder folder_{L"http transfer"};
};

TEST_F(Transfer, OnlyA200AnswerFromAnHttpsAddressIsText) {
    ASSERT_TRUE(server_.Put(L"v/version", "1.0.0.6\n"));
    ASSERT_TRUE(server_.Put(L"v/zero", std::string("1.2\0xyz", 7)));
    ASSERT_TRUE(server_.Put(L"v/utf8", "1.0\xC3\xBC"));
    struct Case {
        std::wstring path;
        int result;
        std::wstring text;  // "unchanged" when the text must stay as it was
    };
    const std::wstring base = server_.BaseUrl();
    const Case cases[] = {
        {base + L"v/version", kTransferDone, L"1.0.0.6\n"},
        {base + L"v/zero", kTransferDone, L"1.2"},
        {base + L"v/utf8", kTransferDone, L"1.0\u00FC"},
        {base + L"v/missing", kTransferFailed, L"unchanged"},              // 404 "Not Found"
        {base + L"_status/500/v/version", kTransferFailed, L"unchanged"},  // an error page
        {base + L"_status/302/v/version", kTransferFailed, L"unchanged"},  // redirects are not followed
        {L"http://localhost/v/version", kTransferFailed, L"unchanged"},    // never plain http
        {L"https://localhost:1/version", kTransferFailed, L"unchanged"},   // nobody listening
    };
    for (const Case& c : cases) {
        HttpTransfer transfer;
        std::wstring text = L"unchanged";
        EXPECT_EQ(transfer.FetchText(c.path, &text), c.result) << c.path.c_str();
        EXPECT_EQ(text, c.text) << c.path.c_str();
    }
}

// A 100 MB answer where a version file belongs is no version text, however it ends.
TEST_F(Transfer, AHugeBodyIsRefused) {
    HttpTransfer transfer;
    std::wstring text;
    EXPECT_EQ(transfer.FetchText(server_.BaseUrl() + L"_big/104857600/version", &text), kTransferFailed);
    EXPECT_TRUE(text.empty());
}

// One server answers nothing after the request, the other not even the TLS handshake (which wine would wait
// for without end). Both fetches give up with a failure, side by side. (How long they take is a figure for
// the benchmarks; the wait here only keeps a fetch that never ends from holding the test.)
TEST_F(Transfer, AStalledOrSilentServerTimesOut) {
    constexpr DWORD kGiveUpMs = 5 * kVersionFileLimits.totalMs;
    const auto fetch = [](std::wstring url) {
        HttpTransfer transfer;
        std::wstring text;
        return transfer.FetchText(url, &text);
    };
    auto stalled = std::async(std::launch::async, fetch, server_.BaseUrl() + L"_stall/version");
    auto silent = std::async(std::launch::async, fetch, server_.SilentUrl() + L"version");
    const auto ended = [](const std::future<int>& f) {
        return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    ASSERT_TRUE(WaitUntil([&] { return ended(stalled) && ended(silent); }, kGiveUpMs))
        << "still waiting: stalled " << !ended(stalled) << ", silent " << !ended(silent);
    EXPECT_EQ(stalled.get(), kTransferFailed);
    EXPECT_EQ(silent.get(), kTransferFailed);
}

TEST_F(Transfer, DownloadPostsProgressOnlyOnChangeAndStartsAgainFromZero) {
    ASSERT_TRUE(server_.Put(L"small.zip", std::string(5000, 's')));
    ASSERT_TRUE(server_.Put(L"pieces.zip", std::string(3 * kTransferReadSize + 1, 'p')));
    HttpTransfer transfer;
    const std::wstring path = folder_.path() + L"package.zip";

    EXPECT_EQ(transfer.DownloadFile(server_.BaseUrl() + L"small.zip", path, sink_.hwnd()), kTransferDone);
    EXPECT_EQ(Progress(), (std::vector<LPARAM>{2, 8, 10, 100}));
    EXPECT_EQ(ReadFileBytes(path), std::string(5000, 's'));

    // Four pieces where the length announced three: past 100 before the final 100.
    EXPECT_EQ(transfer.DownloadFile(server_.BaseUrl() + L"pieces.zip", path, sink_.hwnd()), kTransferDone);
    EXPECT_EQ(Progress(), (std::vector<LPARAM>{0, 2, 8, 10, 40, 70, 100, 130, 100}));
    EXPECT_EQ(ReadFileBytes(path).size(), 3 * kTransferReadSize + 1);
}

TEST_F(Transfer, AFailedOrStoppedDownloadLeavesNoFile) {
    const std::wstring path = folder_.path() + L"package.zip";
    HttpTransfer transfer;
    EXPECT_EQ(transfer.DownloadFile(server_.BaseUrl() + L"missing.zip", path, sink_.hwnd()), kTransferFailed);
    EXPECT_EQ(Progress(), (std::vector<LPARAM>{2}));
    EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);

    TransferLimits small = kPackageLimits;
    small.maxBytes = 100000;
    HttpTransfer capped(kVersionFileLimits, small);
    EXPECT_EQ(capped.DownloadFile(server_.BaseUrl() + L"_big/100001/p.zip", path, nullptr), kTransferFailed);
    EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);

    // Stopped once the download is under way, which the server's having the request shows.
    const std::string big = "/_big/500000000/p.zip";
    auto stopper = std::async(std::launch::async, [&] {
        const bool begun = WaitUntil([&] {
            const std::vector<std::string> requests = server_.Requests();
            return std::find(requests.begin(), requests.end(), big) != requests.end();
        });
        transfer.Stop();
        return begun;
    });
    EXPECT_EQ(
        transfer.DownloadFile(server_.BaseUrl() + std::wstring(big.begin() + 1, big.end()), path, nullptr),
        kTransferStopped);
    EXPECT_TRUE(stopper.get()) << "the server never had the request";
    EXPECT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
