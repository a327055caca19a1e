// The program's side of the update work against a stand-in for the job process (UpdateJobStandIn.h): what a
// job writes reaches the window only in its form, a download is given the version its check found, and
// shutdown ends a job that ignores the cancel.

#include "update/UpdateJobs.h"

#include "update/UpdateJobWire.h"
#include "update/Updater.h"
#include "common/WindowMessages.h"

#include "MessageSink.h"
#include "UpdateJobStandIn.h"
#include "Wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using testing_support::MessageSink;
using testing_support::WaitUntil;

namespace {

using Messages = std::vector<std::pair<WPARAM, LPARAM>>;

bool HasProgress(const Messages& progress, LPARAM value) {
    return std::any_of(progress.begin(), progress.end(),
                       [value](const auto& m) { return m.second == value; });
}

class UpdateJobsTest : public testing::Test {
  protected:
    void SetUp() override { jobs_.Configure(sink_.hwnd(), StandInFolder(), L""); }

    // The results and progress values that came until the sentinel's, which follows every job before it.
    std::pair<Messages, Messages> UntilSentinel() {
        EXPECT_TRUE(jobs_.HandOver(WorkerCommand::kSoftwareCheck, 0, kSentinel));
        Messages results;
        Messages progress;
        EXPECT_TRUE(WaitUntil([&] {
            for (auto& m : sink_.Take(kUpdateResultMessage))
                results.push_back(m);
            for (auto& m : sink_.Take(kDownloadProgressMessage))
                progress.push_back(m);
            return HasProgress(progress, kSentinelProgress);
        }));
        return {results, progress};
    }

    MessageSink sink_;
    UpdateJobs jobs_{UpdateJobLimits{.maxLines = 4}};
};

TEST_F(UpdateJobsTest, OnlyWhatIsInItsFormReachesTheWindow) {
    const struct {
        StandInRow row;
        Messages results;
        const wchar_t* latest;
    } rows[] = {
        {kLineTooLong, {}, L""},    {kUnknownResult, {}, L""},
        {kTooLongVersion, {}, L""}, {kBrokenHex, {}, L""},
        {kTooManyLines, {}, L""},   {kWellFormed, {{kUpdateSoftware, 1}}, L"1.0.0.6\n"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.row);
        ASSERT_TRUE(jobs_.HandOver(WorkerCommand::kSoftwareCheck, 0, r.row));
        EXPECT_EQ(UntilSentinel().first, r.results);
        EXPECT_EQ(jobs_.LatestVersion(kUpdateSoftware), r.latest);
    }
}

TEST_F(UpdateJobsTest, ADownloadIsGivenTheVersionItsCheckFound) {
    ASSERT_TRUE(jobs_.HandOver(WorkerCommand::kSoftwareCheck, 0, kWellFormed));
    ASSERT_TRUE(jobs_.HandOver(WorkerCommand::kSoftwareDownload, 0, kEchoesVersion));
    EXPECT_EQ(UntilSentinel().first, (Messages{{kUpdateSoftware, 1}, {kUpdateFirmware, 1}}));
    EXPECT_EQ(jobs_.LatestVersion(kUpdateFirmware), L"1.0.0.6\n");
}

TEST(UpdateJobWire, TheJobTakesOnlyARequestInItsForm) {
    const UpdateJobRequest sound{WorkerCommand::kSoftwareDownload, 1, 0x102, L"1.0.0.6\n", 12, 34};
    const std::wstring args = FormatJobArguments(sound);
    EXPECT_EQ(args, L"7 1 258 0031002E0030002E0030002E0036000A 12 34");
    const auto parsed =
        ParseJobArguments({L"7", L"1", L"258", L"0031002E0030002E0030002E0036000A", L"12", L"34"});
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->version, sound.version);
    const std::vector<std::wstring> refused[] = {
        {L"7", L"1", L"258", L"-", L"12"},               // one missing
        {L"9", L"1", L"258", L"-", L"12", L"34"},        // no such command
        {L"5", L"3", L"258", L"-", L"12", L"34"},        // no such model
        {L"5", L"1", L"65536", L"-", L"12", L"34"},      // no 16-bit firmware
        {L"5", L"1", L"-2", L"-", L"12", L"34"},         // below "none"
        {L"7", L"1", L"258", L"002E002", L"12", L"34"},  // a broken code unit
        {L"7", L"1", L"258", L"00310031003100310031003100310031003100310031", L"12", L"34"},  // 11 characters
        {L"5", L"1", L"258", L"-", L"0", L"34"},                                              // no handle
        {L"5", L"1", L"258", L"-", L"12", L"4294967296"},                                     // past 32 bits
        {L"5", L"+1", L"258", L"-", L"12", L"34"},                                            // a sign
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(ParseJobArguments(r)) << r[0] << L" " << r[1] << L" " << r[2] << L" " << r[3];
    }
}

TEST(UpdateJobs, AFolderOthersMayChangeStartsNoJob) {
    MessageSink sink;
    UpdateJobs jobs;
    jobs.Configure(sink.hwnd(), StandInFolder(), L"the folder can be changed by Users");
    EXPECT_FALSE(jobs.HandOver(WorkerCommand::kSoftwareCheck, 0, kWellFormed));
}

TEST(UpdateJobs, ShutdownCancelsARunningJobAndEndsOneThatIgnoresIt) {
    for (const auto& [row, exitCode] :
         {std::pair{kWaitsForCancel, DWORD{0}}, std::pair{kHangs, DWORD{kUpdateJobEndedByForce}}}) {
        SCOPED_TRACE(row);
        MessageSink sink;
        UpdateJobs jobs;
        jobs.Configure(sink.hwnd(), StandInFolder(), L"");
        ASSERT_TRUE(jobs.HandOver(WorkerCommand::kSoftwareCheck, 0, row));
        Messages pid;
        ASSERT_TRUE(WaitUntil([&] { return !(pid = sink.Take(kDownloadProgressMessage)).empty(); }));
        const UniqueHandle job(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                             static_cast<DWORD>(pid[0].second)));
        ASSERT_TRUE(job);
        jobs.Shutdown();
        ASSERT_EQ(::WaitForSingleObject(job.get(), 0), WAIT_OBJECT_0) << "the job still runs";
        DWORD code = 0;
        EXPECT_TRUE(::GetExitCodeProcess(job.get(), &code));
        EXPECT_EQ(code, exitCode);
        EXPECT_FALSE(jobs.HandOver(WorkerCommand::kSoftwareCheck, 0, kWellFormed))
            << "a job after the shutdown";
    }
}

}  // namespace
