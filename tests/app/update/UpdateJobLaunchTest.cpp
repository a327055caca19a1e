// Starting the update job against what an ordinary process could do to its executable while the elevated
// program starts it: put a link in its place or on its way, hold it open to swap it, or slip the job one of
// the program's inheritable handles.

#include "update/UpdateJobLaunch.h"

#include "update/UpdateJobWire.h"
#include "update/UpdateJobs.h"

#include "HostLink.h"
#include "TempFolder.h"
#include "UpdateJobStandIn.h"
#include "Wait.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::CopyFileTo;
using testing_support::PlantHostLink;
using testing_support::TempFolder;
using testing_support::WaitUntil;

namespace {

SECURITY_ATTRIBUTES Inheritable() {
    return SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
}

// The stand-in's arguments for row, naming event (by default a mere handle value) as its cancel event.
std::wstring Arguments(StandInRow row, HANDLE event = reinterpret_cast<HANDLE>(4)) {
    const auto value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(event));
    return FormatJobArguments({WorkerCommand::kSoftwareCheck, 0, row, {}, value, value});
}

// Starts program as the update work does, and waits for its end; its exit code, or why it did not start.
class JobStart {
  public:
    explicit JobStart(const std::wstring& program, const std::wstring& arguments = Arguments(kWellFormed),
                      HANDLE handed = nullptr) {
        const UniqueHandle process =
            handed ? StartUpdateJob(program, arguments, output_.get(), {output_.get(), handed}, &why_)
                   : StartUpdateJob(program, arguments, output_.get(), {output_.get()}, &why_);
        started_ = process.get() != nullptr;
        if (started_) {
            EXPECT_TRUE(WaitUntil([&] { return ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }));
            ::GetExitCodeProcess(process.get(), &exitCode_);
        }
    }
    [[nodiscard]] bool Started() const { return started_ && exitCode_ == 0; }
    [[nodiscard]] bool RefusedFor(const wchar_t* reason) const {
        return !started_ && why_.find(reason) != std::wstring::npos;
    }
    [[nodiscard]] std::wstring Why() const {
        return why_ + L" (exit code " + std::to_wstring(exitCode_) + L")";
    }

  private:
    SECURITY_ATTRIBUTES inheritable_ = Inheritable();
    const UniqueFileHandle output_{::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 &inheritable_, OPEN_EXISTING, 0, nullptr)};
    bool started_ = false;
    DWORD exitCode_ = STILL_ACTIVE;
    std::wstring why_;
};

class StartUpdateJobTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(CopyFileTo(StandInFolder() + kUpdateJobProgram, program_)); }

    // The program opened as someone who means to swap it would, letting everyone else do anything.
    [[nodiscard]] UniqueFileHandle OpenToSwap(DWORD access) const {
        return UniqueFileHandle(::CreateFileW(program_.c_str(), access,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
    }

    TempFolder temp_{L"update job"};
    const std::wstring real_ = temp_.path() + L"real";
    const std::wstring program_ = real_ + L"\\" + kUpdateJobProgram;
};

// A host symbolic link (wine's stand-in for a reparse point or junction) in place of the executable or of its
// folder leads to a program other than the one asked for: the final path shows it, and it is not started.
TEST_F(StartUpdateJobTest, ALinkInPlaceOfTheProgramOrItsFolderIsRefused) {
    ASSERT_TRUE(PlantHostLink(temp_.path() + L"linked", real_));
    ASSERT_TRUE(PlantHostLink(real_ + L"\\linked.exe", program_));
    for (const std::wstring& path :
         {temp_.path() + L"linked\\" + kUpdateJobProgram, real_ + L"\\linked.exe"}) {
        SCOPED_TRACE(path);
        const JobStart start(path);
        EXPECT_TRUE(start.RefusedFor(L"it leads elsewhere")) << start.Why();
    }
    const JobStart plain(program_);
    EXPECT_TRUE(plain.Started()) << plain.Why();
}

// Whoever holds the executable open for deleting could rename it away after the check and put another in
// its place before it starts; whoever holds it for writing could rewrite it. Neither is started until they
// let go, and once it is pinned for the start nobody can do either.
TEST_F(StartUpdateJobTest, WhileItStartsNobodyCanSwapTheProgram) {
    for (const DWORD access : {DWORD{DELETE}, DWORD{GENERIC_WRITE}}) {
        SCOPED_TRACE(access);
        {
            const UniqueFileHandle held = OpenToSwap(access);
            ASSERT_TRUE(held);
            const JobStart start(program_);
            EXPECT_TRUE(start.RefusedFor(L"it cannot be opened")) << start.Why();
        }
        const JobStart released(program_);
        EXPECT_TRUE(released.Started()) << released.Why();
    }
    std::wstring why;
    const UniqueFileHandle pinned = PinUpdateJobProgram(program_, &why);
    ASSERT_TRUE(pinned) << why;
    EXPECT_FALSE(OpenToSwap(DELETE));
    EXPECT_FALSE(OpenToSwap(GENERIC_WRITE));
    EXPECT_FALSE(::MoveFileW(program_.c_str(), (real_ + L"\\moved.exe").c_str()));
    EXPECT_FALSE(::DeleteFileW(program_.c_str()));
}

// An inheritable handle of the program's that is not handed over stays out of the job: the job cannot set
// the event whose value it is told, and can set it once it is handed over.
TEST_F(StartUpdateJobTest, TheJobInheritsOnlyTheHandlesItIsGiven) {
    for (const bool handed : {true, false}) {
        SCOPED_TRACE(handed);
        SECURITY_ATTRIBUTES inheritable = Inheritable();
        const UniqueHandle event(::CreateEventW(&inheritable, TRUE, FALSE, nullptr));
        ASSERT_TRUE(event);
        const JobStart start(program_, Arguments(kSetsCancel, event.get()), handed ? event.get() : nullptr);
        ASSERT_TRUE(start.Started()) << start.Why();
        EXPECT_EQ(::WaitForSingleObject(event.get(), 0) == WAIT_OBJECT_0, handed);
    }
}

}  // namespace
