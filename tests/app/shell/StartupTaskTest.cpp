#include "shell/StartupTask.h"

#include "FakeTaskScheduler.h"
#include "LineCollector.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testing_support::LineCollector;
using testing_support::TestDir;

namespace {

using Lines = std::vector<std::wstring>;
using Calls = std::vector<std::string>;

HRESULT FakeFactory(ITaskService** service) {
    return CreateFakeTaskService(reinterpret_cast<void**>(service));
}

// True when the calling thread is left without a COM apartment: only then does a multithreaded one start
// afresh (S_OK rather than S_FALSE or RPC_E_CHANGED_MODE).
bool ComLeftUninitialised() {
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr)) {
        ::CoUninitialize();
    }
    return hr == S_OK;
}

std::string ExpectedPath() {
    const std::wstring path = TestDir() + L"Calidra.exe";
    return "\"" + std::string(path.begin(), path.end()) + "\"";  // the build folder's path is ASCII
}

Calls FullSequence(bool withDelay) {
    Calls calls = {
        "TaskScheduler.CreateInstance()",
        "TaskService.Connect(EMPTY, EMPTY, EMPTY, EMPTY)",
        "TaskService.GetFolder(\"\\\")",
        "TaskService.NewTask(0)",
        "TaskDefinition.get_Triggers()",
        "TriggerCollection.Create(9)",
        "Trigger.QueryInterface(ILogonTrigger)",
        "Trigger.put_Delay(\"PT30S\")",
        "Trigger.put_Id(\"Administrator\")",
        "TaskDefinition.get_Principal()",
        "Principal.put_RunLevel(1)",
        "TaskDefinition.get_Settings()",
        "Settings.put_StopIfGoingOnBatteries(FALSE)",
        "Settings.put_DisallowStartIfOnBatteries(FALSE)",
        "Settings.put_AllowDemandStart(TRUE)",
        "Settings.put_StartWhenAvailable(FALSE)",
        "Settings.put_MultipleInstances(0)",
        "Settings.put_ExecutionTimeLimit(\"PT0S\")",
        "TaskDefinition.get_Actions()",
        "ActionCollection.Create(0)",
        "Action.QueryInterface(IExecAction)",
        "Action.put_Path(" + ExpectedPath() + ")",
        "TaskFolder.RegisterTaskDefinition(\"Kelvaro-DIG StartupTask\", TaskDefinition, 6, EMPTY, EMPTY, 3, "
        "BSTR \"\", null)",
    };
    if (!withDelay) {
        std::erase(calls, "Trigger.put_Delay(\"PT30S\")");
    }
    return calls;
}

FakeTaskScheduler Failing(const char* call, HRESULT hr) {
    FakeTaskScheduler fake;
    fake.failing = call;
    fake.failure = hr;
    return fake;
}

class StartupTask : public ::testing::Test {
  protected:
    void SetUp() override { UseFakeTaskScheduler(&fake_); }
    void TearDown() override { UseFakeTaskScheduler(nullptr); }
    int Register() { return RegisterStartupTask(&FakeFactory, errors_); }

    FakeTaskScheduler fake_;
    LineCollector errors_;
};

TEST_F(StartupTask, RegistersTheWholeTaskThenReleasesEverythingAndCom) {
    EXPECT_EQ(Register(), 0);
    EXPECT_EQ(fake_.calls, FullSequence(true));
    EXPECT_EQ(errors_.lines, Lines{});
    EXPECT_EQ(fake_.references, 0);
    EXPECT_TRUE(ComLeftUninitialised());
}

TEST_F(StartupTask, ATriggerWithoutTheLogonInterfaceGetsNoDelay) {
    fake_.logonTrigger = false;
    EXPECT_EQ(Register(), 0);
    EXPECT_EQ(fake_.calls, FullSequence(false));
    EXPECT_EQ(errors_.lines, Lines{});
    EXPECT_EQ(fake_.references, 0);
}

struct Failure {
    const char* call;
    HRESULT hr;
    int result;
    const wchar_t* line;  // null: nothing is reported
};

// Every failure ends the sequence with its line, except those of the delay and the settings (silent) and of
// the registration itself (reported, result 0). A step that succeeds without handing out its interface
// counts as a failure with E_POINTER.
const Failure kFailures[] = {
    {"TaskScheduler.CreateInstance", REGDB_E_CLASSNOTREG, 1,
     L"Failed to create Task Scheduler instance with HRESULT: 0x80040154"},
    {"TaskService.Connect", E_ACCESSDENIED, 1,
     L"Failed to connect to Task Scheduler service with HRESULT: 0x80070005"},
    {"TaskService.GetFolder", E_OUTOFMEMORY, 1, L"Failed to get root folder with HRESULT: 0x8007000e"},
    {"TaskService.NewTask", E_FAIL, 1, L"Failed to create new task with HRESULT: 0x80004005"},
    {"TaskDefinition.get_Triggers", E_FAIL, 1, L"Failed to get trigger collection with HRESULT: 0x80004005"},
    {"TriggerCollection.Create", E_NOTIMPL, 1, L"Failed to create trigger with HRESULT: 0x80004001"},
    {"Trigger.put_Id", E_INVALIDARG, 1, L"Failed to set trigger ID with HRESULT: 0x80070057"},
    {"TaskDefinition.get_Principal", E_FAIL, 1, L"Failed to get principal with HRESULT: 0x80004005"},
    {"TaskDefinition.get_Principal", S_OK, 1, L"Failed to get principal with HRESULT: 0x80004003"},
    {"Principal.put_RunLevel", E_NOTIMPL, 1, L"Failed to set run level with HRESULT: 0x80004001"},
    {"TaskDefinition.get_Actions", E_FAIL, 1, L"Failed to get action collection with HRESULT: 0x80004005"},
    {"ActionCollection.Create", E_FAIL, 1, L"Failed to create action with HRESULT: 0x80004005"},
    {"Action.QueryInterface(IExecAction)", E_NOINTERFACE, 1,
     L"Failed to query exec action interface with HRESULT: 0x80004002"},
    {"Action.put_Path", E_INVALIDARG, 1, L"Failed to set executable path with HRESULT: 0x80070057"},
    {"TaskFolder.RegisterTaskDefinition", E_ACCESSDENIED, 0,
     L"Failed to register task definition with HRESULT: 0x80070005"},
    {"Trigger.put_Delay", E_NOTIMPL, 0, nullptr},
    {"Settings.put_AllowDemandStart", E_ACCESSDENIED, 0, nullptr},
    {"TaskDefinition.get_Settings", E_FAIL, 0, nullptr},
};

TEST_F(StartupTask, EachFailureIsReportedWithItsHresultAndReleasesWhatWasObtained) {
    for (const Failure& failure : kFailures) {
        SCOPED_TRACE(std::string(failure.call) + (failure.hr == S_OK ? " (empty-handed)" : ""));
        fake_ = Failing(failure.call, failure.hr);
        errors_.lines.clear();

        EXPECT_EQ(Register(), failure.result);
        EXPECT_EQ(errors_.lines, failure.line ? Lines{failure.line} : Lines{});
        EXPECT_EQ(fake_.references, 0);
        EXPECT_TRUE(ComLeftUninitialised());
        ASSERT_FALSE(fake_.calls.empty());
        if (failure.result == 1) {
            EXPECT_EQ(fake_.calls.back().rfind(failure.call, 0), 0u) << "went on after the failure";
        } else {
            EXPECT_EQ(fake_.calls.back().rfind("TaskFolder.RegisterTaskDefinition", 0), 0u);
        }
    }
    // A failing setting does not keep the later ones from being made.
    fake_ = Failing("Settings.put_StopIfGoingOnBatteries", E_FAIL);
    Register();
    EXPECT_EQ(fake_.calls, FullSequence(true));
}

TEST_F(StartupTask, WithoutComItStopsAtOnceAndLeavesTheApartmentAlone) {
    // A thread in the multithreaded apartment cannot enter the single-threaded one.
    ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(Register(), 1);
    EXPECT_EQ(errors_.lines, Lines{L"CoInitialize failed with HRESULT: 0x80010106"});
    EXPECT_EQ(fake_.calls, Calls{});
    // Still initialised once: this call only adds a count.
    EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    ::CoUninitialize();
    ::CoUninitialize();
}

// Wine's Task Scheduler refuses logon triggers (E_NOTIMPL): the registration stops there, says so in one
// line, and leaves COM as it found it.
TEST(StartupTaskOnWine, StopsAtTheLogonTriggerWithItsMessage) {
    LineCollector errors;
    EXPECT_EQ(RegisterStartupTask(&CreateTaskSchedulerService, errors), 1);
    EXPECT_EQ(errors.lines, Lines{L"Failed to create trigger with HRESULT: 0x80004001"});
    EXPECT_TRUE(ComLeftUninitialised());
}

}  // namespace
