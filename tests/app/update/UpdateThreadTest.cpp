// The update thread against a real HTTPS server on localhost that answers slowly: the worker hands a check
// over and goes on reporting while the check waits for the server, and the check's result still reaches the
// window.

#include "update/UpdateThread.h"

#include "display/CommandQueue.h"
#include "display/ThreadBasic.h"
#include "shell/WindowMessages.h"

#include "LocalUpdateServer.h"
#include "MessageSink.h"
#include "Wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>

using testing_support::LocalUpdateServer;
using testing_support::MessageSink;
using testing_support::WaitUntil;

namespace {

// A worker shaped like the main window's: one command per step, update commands handed over; with nothing
// queued, one "report" and a short pause.
class ReportingWorker : public CThreadBasic {
  public:
    explicit ReportingWorker(UpdateThread& updates) : updates_(updates) {}
    ~ReportingWorker() override { StopAndJoin(); }
    CommandQueue queue;
    std::atomic<int> reports{0};

  protected:
    void Step() noexcept override {
        if (const auto command = queue.Pop()) {
            (void)updates_.HandOver(*command, 0);
            return;
        }
        ++reports;
        Pause(kReportPauseMs);
    }

  private:
    static constexpr DWORD kReportPauseMs = 20;
    UpdateThread& updates_;
};

TEST(UpdateThread, TheWorkerReportsOnWhileAHandedOverCheckWaitsForItsServer) {
    LocalUpdateServer server;
    ASSERT_TRUE(server.ok()) << "the local HTTPS server did not start";
    MessageSink sink;
    Updater updater(nullptr);
    // The version file "1.0.0.6\n" comes one byte every 300 ms.
    updater.Configure(sink.hwnd(), server.BaseUrl() + L"_trickle/300/", L"");
    UpdateThread updates(updater);
    ASSERT_TRUE(updates.Start());
    ReportingWorker worker(updates);
    ASSERT_TRUE(worker.Start());
    worker.queue.Push(kCommandSoftwareCheck);

    const std::string asked = "/_trickle/300/display-K/K1K2/software/version";
    int reportsWhenAsked = -1;
    ASSERT_TRUE(WaitUntil([&] {
        if (reportsWhenAsked < 0) {
            const std::vector<std::string> requests = server.Requests();
            if (std::find(requests.begin(), requests.end(), asked) != requests.end()) {
                reportsWhenAsked = worker.reports.load();
            }
        }
        return reportsWhenAsked >= 0 && worker.reports.load() >= reportsWhenAsked + 3;
    })) << "no request, or no reports after it";
    EXPECT_TRUE(sink.Take(kUpdateResultMessage).empty()) << "the check ended before the reports came";

    std::vector<std::pair<WPARAM, LPARAM>> results;
    ASSERT_TRUE(WaitUntil([&] { return !(results = sink.Take(kUpdateResultMessage)).empty(); }));
    EXPECT_EQ(results, (std::vector<std::pair<WPARAM, LPARAM>>{{kUpdateSoftware, 1}}));
    EXPECT_EQ(updater.LatestVersion(kUpdateSoftware), L"1.0.0.6\n");
    const int reportsAfter = worker.reports.load();
    EXPECT_TRUE(WaitUntil([&] { return worker.reports.load() > reportsAfter; }));
}

}  // namespace
