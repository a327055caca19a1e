// HttpTransfer against a real HTTPS server on localhost: what counts as an answer, the bounds on time and
// size, and the progress a real window receives during a download.

#include "update/HttpTransfer.h"

#include "shell/WindowMessages.h"

#include "LocalUpdateServer.h"
#include "MessageSink.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <utility>
#include <vector>

using testing_support::LocalUpdateServer;
using testing_support::MessageSink;
using testing_support::TempFolder;

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
    UniqueFileHandle NewFile() {
        const std::wstring path = folder_.path() + L"package" + std::to_wstring(++files_) + L".zip";
        return UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
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
// for without end). Both give up within the time-outs, side by side; the slack covers a loaded machine, far
// below the minutes an unbounded wait would take.
TEST_F(Transfer, AStalledOrSilentServerTimesOut) {
    constexpr ULONGLONG kSlackMs = 3000;
    const auto fetch = [](std::wstring url) {
        HttpTransfer transfer;
        std::wstring text;
        const ULONGLONG start = ::GetTickCount64();
        const int result = transfer.FetchText(url, &text);
        return std::make_pair(result, ::GetTickCount64() - start);
    };
    auto stalled = std::async(std::launch::async, fetch, server_.BaseUrl() + L"_stall/version");
    auto silent = std::async(std::launch::async, fetch, server_.SilentUrl() + L"version");
    for (auto [result, took] : {stalled.get(), silent.get()}) {
        EXPECT_EQ(result, kTransferFailed);
        EXPECT_LE(took, kVersionFileLimits.connectMs + kVersionFileLimits.receiveMs + kSlackMs);
    }
}

TEST_F(Transfer, DownloadPostsProgressOnlyOnChangeAndStartsAgainFromZero) {
    ASSERT_TRUE(server_.Put(L"small.zip", std::string(5000, 's')));
    ASSERT_TRUE(server_.Put(L"pieces.zip", std::string(3 * kTransferReadSize + 1, 'p')));
    HttpTransfer transfer;
    const UniqueFileHandle small = NewFile();
    const UniqueFileHandle pieces = NewFile();

    EXPECT_EQ(transfer.DownloadFile(server_.BaseUrl() + L"small.zip", small.get(), sink_.hwnd()),
              kTransferDone);
    EXPECT_EQ(Progress(), (std::vector<LPARAM>{2, 8, 10, 100}));
    EXPECT_EQ(Contents(small.get()), std::string(5000, 's'));

    // Four pieces where the length announced three: past 100 before the final 100.
    EXPECT_EQ(transfer.DownloadFile(server_.BaseUrl() + L"pieces.zip", pieces.get(), sink_.hwnd()),
              kTransferDone);
    EXPECT_EQ(Progress(), (std::vector<LPARAM>{0, 2, 8, 10, 40, 70, 100, 130, 100}));
    EXPECT_EQ(Contents(pieces.get()).size(), 3 * kTransferReadSize + 1);
    EXPECT_TRUE(sink_.Take(kTrayCallbackMessage).empty()) << "progress never travels as a tray message";
}

TEST_F(Transfer, AFailedOrStoppedDownloadLeavesNothingInTheFile) {
    const UniqueFileHandle file = NewFile();
    HttpTransfer transfer;
    EXPECT_EQ(transfer.DownloadFile(server_.BaseUrl() + L"missing.zip", file.get(), sink_.hwnd()),
              kTransferFailed);
    EXPECT_EQ(Progress(), (std::vector<LPARAM>{2}));
    EXPECT_EQ(Contents(file.get()), "");

    TransferLimits small = kPackageLimits;
    small.maxBytes = 100000;
    HttpTransfer capped(kVersionFileLimits, small);
    EXPECT_EQ(capped.DownloadFile(server_.BaseUrl() + L"_big/100001/p.zip", file.get(), nullptr),
              kTransferFailed);
    EXPECT_EQ(Contents(file.get()), "");

    auto stopper = std::async(std::launch::async, [&transfer] {
        ::Sleep(300);
        transfer.Stop();
    });
    EXPECT_EQ(transfer.DownloadFile(server_.BaseUrl() + L"_big/500000000/p.zip", file.get(), nullptr),
              kTransferStopped);
    EXPECT_EQ(Contents(file.get()), "");
}

}  // namespace
