// HttpTransfer against a real HTTPS server on localhost: what counts as an answer, the bounds on time and
// size, and the progress a real window receives during a download.

#include "update/HttpTransfer.h"

#include "common/WindowMessages.h"

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
using testing_support::TempFolder;
using testing_support::WaitUntil;

namespace {

class Transfer : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server_.ok()) << "the local HTTPS server did not start"; }

    // The progress values posted so far (always with wParam 0).
    std::vector<LPARAM> Progress() {
        std::vector<LPARAM> values;
        for (auto [wParam, lParam] : sink_.Take(kDownloadProgressMessage)) {
            EXPECT_EQ(wParam, 0u);
            values.push_back(lParam);
        }
        return values;
    }

    // A new, empty file for a download, as the update folder makes it.
    UniqueFileHandle NewFile(DWORD access = GENERIC_READ | GENERIC_WRITE) {
        const std::wstring path = folder_.path() + L"package" + std::to_wstring(++files_) + L".zip";
        return UniqueFileHandle(
            ::CreateFileW(path.c_str(), access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    // What the file holds, read through its handle.
    static std::string Contents(HANDLE file) {
        LARGE_INTEGER start{};
        ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
        std::string bytes;
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
            bytes.append(buffer, got);
        }
        return bytes;
    }

    MessageSink sink_;
    int files_ = 0;

    LocalUpdateServer server_;
    TempFolder folder_{L"http transfer"};
};

// Nothing counts but a 200 over TLS from a server whose certificate is trusted, valid and for the name asked;
// plain HTTP is never spoken, whatever the address says.
TEST_F(Transfer, OnlyA200AnswerFromATrustedHttpsServerIsText) {
    ASSERT_TRUE(server_.Put(L"v/version", "1.0.0.6\n"));
    ASSERT_TRUE(server_.Put(L"v/zero", std::string("1.2\0xyz", 7)));
    ASSERT_TRUE(server_.Put(L"v/utf8", "1.0\xC3\xBC"));
    struct Case {
        std::wstring path;
        int result;
        std::wstring text;  // "unchanged" when the text must stay as it was
    };
    const std::wstring base = server_.BaseUrl();
    const std::wstring hostAndPort = base.substr(std::size(L"https://") - 1);
    const auto door = [&](const wchar_t* scheme, const char* name) {
        return scheme + (L"localhost:" + std::to_wstring(server_.PortOf(name))) + L"/v/version";
    };
    const Case cases[] = {
        {base + L"v/version", kTransferDone, L"1.0.0.6\n"},
        {base + L"v/zero", kTransferDone, L"1.2"},
        {base + L"v/utf8", kTransferDone, L"1.0\u00FC"},
        {base + L"v/missing", kTransferFailed, L"unchanged"},              // 404 "Not Found"
        {base + L"_status/500/v/version", kTransferFailed, L"unchanged"},  // an error page
        {base + L"_status/302/v/version", kTransferFailed, L"unchanged"},  // redirects are not followed
        {door(L"http://", "plain"), kTransferFailed, L"unchanged"},        // never plain http
        {door(L"HTTP://", "plain"), kTransferFailed, L"unchanged"},
        {door(L"https://", "plain"), kTransferFailed, L"unchanged"},  // https asked, plain http answers
        {L"http://" + hostAndPort + L"v/version", kTransferFailed, L"unchanged"},  // http asked of TLS
        {door(L"https://", "untrusted"), kTransferFailed, L"unchanged"},  // an issuer nobody trusts (12045)
        {door(L"https://", "expired"), kTransferFailed, L"unchanged"},    // expired (12037)
        {L"https://127.0.0.1" + hostAndPort.substr(hostAndPort.find(L':')) + L"v/version", kTransferFailed,
         L"unchanged"},                                                   // made out to localhost (12038)
        {L"https://localhost:1/version", kTransferFailed, L"unchanged"},  // nobody listening
    };
    for (const Case& c : cases) {
        HttpTransfer transfer;
        std::wstring text = L"unchanged";
        EXPECT_EQ(transfer.FetchText(c.path, &text), c.result) << c.path.c_str();
        EXPECT_EQ(text, c.text) << c.path.c_str();
    }
    // Only the answers over trusted TLS were asked for, and each request named the program, took any type
    // and asked the caches on the way to pass it through.
    EXPECT_EQ(server_.Requests(),
              (std::vector<std::string>{"/v/version", "/v/zero", "/v/utf8", "/v/missing",
                                        "/_status/500/v/version", "/_status/302/v/version"}));
    for (const std::string& request : server_.RequestHeaders()) {
        for (const char* header : {"User-Agent: IIC2.0/PC 5.5.0000", "Accept: */*", "Pragma: no-cache"}) {
            EXPECT_NE((request + '\t').find('\t' + std::string(header) + '\t'), std::string::npos) << request;
        }
    }
}

// Too much or too slow is refused however the answer is framed: a length announced, chunks with none, one
// byte at a time well within each read's time-out but past the whole transfer's. Both for a version file and
// for a package, which is refused before it is written when its length says so, and leaves nothing in its
// file.
TEST_F(Transfer, ABodyPastTheCapOrTheDeadlineIsRefused) {
    TransferLimits quick = kVersionFileLimits;
    quick.totalMs = 1000;
    struct Case {
        const wchar_t* answer;
        const TransferLimits& limits;
        std::vector<LPARAM> progress;
    };
    const Case cases[] = {
        {L"_big/104857600/", kVersionFileLimits, {2, 8}},
        {L"_chunked/1025/", kVersionFileLimits, {2, 8, 10}},
        {L"_trickle/300/", quick, {2, 8, 10}},  // 8 bytes over 2.4 s
    };
    for (const Case& c : cases) {
        HttpTransfer transfer(c.limits, c.limits);
        std::wstring text;
        EXPECT_EQ(transfer.FetchText(server_.BaseUrl() + c.answer + L"version", &text), kTransferFailed)
            << c.answer;
        EXPECT_TRUE(text.empty()) << c.answer;
        const UniqueFileHandle file = NewFile();
        EXPECT_EQ(
            transfer.DownloadFile(server_.BaseUrl() + c.answer + L"p.zip", file.get(), PostTo(sink_.hwnd())),
            kTransferFailed)
            << c.answer;
        EXPECT_EQ(Progress(), c.progress) << c.answer;
        EXPECT_EQ(Contents(file.get()), "") << c.answer;
    }
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
    const UniqueFileHandle small = NewFile();
    const UniqueFileHandle pieces = NewFile();

    EXPECT_EQ(transfer.DownloadFile(server_.BaseUrl() + L"small.zip", small.get(), PostTo(sink_.hwnd())),
              kTransferDone);
    EXPECT_EQ(Progress(), (std::vector<LPARAM>{2, 8, 10, 100}));
    EXPECT_EQ(Contents(small.get()), std::string(5000, 's'));

    // Four pieces where the length announced three: past 100 before the final 100.
    EXPECT_EQ(transfer.DownloadFile(server_.BaseUrl() + L"pieces.zip", pieces.get(), PostTo(sink_.hwnd())),
              kTransferDone);
    EXPECT_EQ(Progress(), (std::vector<LPARAM>{0, 2, 8, 10, 40, 70, 100, 130, 100}));
    EXPECT_EQ(Contents(pieces.get()).size(), 3 * kTransferReadSize + 1);
    EXPECT_TRUE(sink_.Take(kTrayCallbackMessage).empty()) << "progress never travels as a tray message";
}

TEST_F(Transfer, AFailedOrStoppedDownloadLeavesNothingInTheFile) {
    const UniqueFileHandle file = NewFile();
    HttpTransfer transfer;
    EXPECT_EQ(transfer.DownloadFile(server_.BaseUrl() + L"missing.zip", file.get(), PostTo(sink_.hwnd())),
              kTransferFailed);
    EXPECT_EQ(Progress(), (std::vector<LPARAM>{2}));
    EXPECT_EQ(Contents(file.get()), "");

    // Too long: by its announced length, or with none once pieces of it are written.
    TransferLimits small = kPackageLimits;
    small.maxBytes = 100000;
    HttpTransfer capped(kVersionFileLimits, small);
    for (const wchar_t* answer : {L"_big/100001/p.zip", L"_chunked/100001/p.zip"}) {
        EXPECT_EQ(capped.DownloadFile(server_.BaseUrl() + answer, file.get(), {}), kTransferFailed) << answer;
        EXPECT_EQ(Contents(file.get()).size(), 0u) << answer;
    }
    // A file that takes no writes.
    const UniqueFileHandle readOnly = NewFile(GENERIC_READ);
    EXPECT_EQ(transfer.DownloadFile(server_.BaseUrl() + L"_big/5000/p.zip", readOnly.get(), {}),
              kTransferFailed);

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
    EXPECT_EQ(transfer.DownloadFile(server_.BaseUrl() + std::wstring(big.begin() + 1, big.end()), file.get(),
                                    nullptr),
              kTransferStopped);
    EXPECT_TRUE(stopper.get()) << "the server never had the request";
    EXPECT_EQ(Contents(file.get()), "");
}

}  // namespace
