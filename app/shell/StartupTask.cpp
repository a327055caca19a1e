#include "shell/StartupTask.h"

#include "common/ProgramFolder.h"

#include "win/Handle.h"
#include "win/ScopeGuards.h"

#include <wrl/client.h>

#include <cwchar>
#include <string>

// mingw's taskschd.h has no ILogonTrigger: ITrigger's methods, then these four.
MIDL_INTERFACE("72DADE38-FAE4-4B3E-BAF4-5D009AF02B1C")
ILogonTrigger : public ITrigger {
    virtual HRESULT STDMETHODCALLTYPE get_Delay(BSTR * delay) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Delay(BSTR delay) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_UserId(BSTR * user) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_UserId(BSTR user) = 0;
};
__CRT_UUID_DECL(ILogonTrigger, 0x72dade38, 0xfae4, 0x4b3e, 0xba, 0xf4, 0x5d, 0x00, 0x9a, 0xf0, 0x2b, 0x1c)

namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kRootFolder[] = L"\\";
constexpr wchar_t kTriggerId[] = L"Administrator";
constexpr wchar_t kLogonDelay[] = L"PT30S";
constexpr wchar_t kNoTimeLimit[] = L"PT0S";
constexpr wchar_t kProgramFile[] = L"Calidra.exe";

constexpr wchar_t kCoInitializeFailed[] = L"CoInitialize failed with HRESULT: 0x";
constexpr wchar_t kCreateServiceFailed[] = L"Failed to create Task Scheduler instance with HRESULT: 0x";
constexpr wchar_t kConnectFailed[] = L"Failed to connect to Task Scheduler service with HRESULT: 0x";
constexpr wchar_t kGetFolderFailed[] = L"Failed to get root folder with HRESULT: 0x";
constexpr wchar_t kNewTaskFailed[] = L"Failed to create new task with HRESULT: 0x";
constexpr wchar_t kGetTriggersFailed[] = L"Failed to get trigger collection with HRESULT: 0x";
constexpr wchar_t kCreateTriggerFailed[] = L"Failed to create trigger with HRESULT: 0x";
constexpr wchar_t kSetTriggerIdFailed[] = L"Failed to set trigger ID with HRESULT: 0x";
constexpr wchar_t kGetPrincipalFailed[] = L"Failed to get principal with HRESULT: 0x";
constexpr wchar_t kSetRunLevelFailed[] = L"Failed to set run level with HRESULT: 0x";
constexpr wchar_t kGetActionsFailed[] = L"Failed to get action collection with HRESULT: 0x";
constexpr wchar_t kCreateActionFailed[] = L"Failed to create action with HRESULT: 0x";
constexpr wchar_t kQueryExecActionFailed[] = L"Failed to query exec action interface with HRESULT: 0x";
constexpr wchar_t kSetPathFailed[] = L"Failed to set executable path with HRESULT: 0x";
constexpr wchar_t kRegisterFailed[] = L"Failed to register task definition with HRESULT: 0x";

constexpr int kReachedRegistration = 0;
constexpr int kStoppedEarly = 1;

void Report(LineSink& errors, const wchar_t* text, HRESULT hr) noexcept {
    wchar_t line[128] = {};
    std::swprintf(line, std::size(line), L"%ls%lx", text, static_cast<unsigned long>(hr));
    errors.WriteLine(line);
}

// A step's outcome: a success that hands out no interface counts as a failure too. The pointer is looked at
// only here, after the call that fills it.
template <typename T>
HRESULT Outcome(HRESULT hr, const ComPtr<T>& obtained) noexcept {
    return FAILED(hr) ? hr : (obtained ? S_OK : E_POINTER);
}

class Variant {
  public:
    Variant() noexcept { ::VariantInit(&v_); }
    explicit Variant(const wchar_t* text) noexcept : Variant() {
        v_.vt = VT_BSTR;
        v_.bstrVal = ::SysAllocString(text);
    }
    ~Variant() { ::VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    [[nodiscard]] const VARIANT& get() const noexcept { return v_; }

  private:
    VARIANT v_;
};

// Reports a failed step; true when it failed.
bool Failed(LineSink& errors, const wchar_t* text, HRESULT hr) noexcept {
    if (SUCCEEDED(hr)) {
        return false;
    }
    Report(errors, text, hr);
    return true;
}

UniqueBstr Bstr(const wchar_t* text) noexcept {
    return UniqueBstr(::SysAllocString(text));
}

// Connects to the Task Scheduler, builds the logon task and registers it, stopping at the first failed step;
// every interface is released when this returns, before COM goes.
int BuildAndRegister(TaskServiceFactory createService, LineSink& errors, const std::wstring& programPath) {
    ComPtr<ITaskService> service;
    if (Failed(errors, kCreateServiceFailed, Outcome(createService(service.GetAddressOf()), service))) {
        return kStoppedEarly;
    }
    const Variant server, user, domain, password;
    if (Failed(errors, kConnectFailed,
               service->Connect(server.get(), user.get(), domain.get(), password.get()))) {
        return kStoppedEarly;
    }
    ComPtr<ITaskFolder> folder;
    if (Failed(errors, kGetFolderFailed,
               Outcome(service->GetFolder(Bstr(kRootFolder).get(), folder.GetAddressOf()), folder))) {
        return kStoppedEarly;
    }
    ComPtr<ITaskDefinition> task;
    if (Failed(errors, kNewTaskFailed, Outcome(service->NewTask(0, task.GetAddressOf()), task))) {
        return kStoppedEarly;
    }

    ComPtr<ITriggerCollection> triggers;
    ComPtr<ITrigger> trigger;
    if (Failed(errors, kGetTriggersFailed, Outcome(task->get_Triggers(triggers.GetAddressOf()), triggers)) ||
        Failed(errors, kCreateTriggerFailed,
               Outcome(triggers->Create(TASK_TRIGGER_LOGON, trigger.GetAddressOf()), trigger))) {
        return kStoppedEarly;
    }
    {
        ComPtr<ILogonTrigger> logon;
        if (SUCCEEDED(trigger.As(&logon)) && logon) {
            (void)logon->put_Delay(Bstr(kLogonDelay).get());
        }
    }
    if (Failed(errors, kSetTriggerIdFailed, trigger->put_Id(Bstr(kTriggerId).get()))) {
        return kStoppedEarly;
    }

    ComPtr<IPrincipal> principal;
    if (Failed(errors, kGetPrincipalFailed,
               Outcome(task->get_Principal(principal.GetAddressOf()), principal)) ||
        Failed(errors, kSetRunLevelFailed, principal->put_RunLevel(TASK_RUNLEVEL_HIGHEST))) {
        return kStoppedEarly;
    }

    // The settings are wishes: none of their results stops the registration.
    ComPtr<ITaskSettings> settings;
    if (SUCCEEDED(task->get_Settings(settings.GetAddressOf())) && settings) {
        (void)settings->put_StopIfGoingOnBatteries(VARIANT_FALSE);
        (void)settings->put_DisallowStartIfOnBatteries(VARIANT_FALSE);
        (void)settings->put_AllowDemandStart(VARIANT_TRUE);
        (void)settings->put_StartWhenAvailable(VARIANT_FALSE);
        (void)settings->put_MultipleInstances(TASK_INSTANCES_PARALLEL);
        (void)settings->put_ExecutionTimeLimit(Bstr(kNoTimeLimit).get());
    }

    ComPtr<IActionCollection> actions;
    ComPtr<IAction> action;
    ComPtr<IExecAction> exec;
    if (Failed(errors, kGetActionsFailed, Outcome(task->get_Actions(actions.GetAddressOf()), actions)) ||
        Failed(errors, kCreateActionFailed,
               Outcome(actions->Create(TASK_ACTION_EXEC, action.GetAddressOf()), action)) ||
        Failed(errors, kQueryExecActionFailed, Outcome(action.As(&exec), exec)) ||
        Failed(errors, kSetPathFailed, exec->put_Path(Bstr(programPath.c_str()).get()))) {
        return kStoppedEarly;
    }

    const Variant noUser, noPassword, emptySecurityDescriptor(L"");
    (void)Failed(errors, kRegisterFailed,
                 folder->RegisterTaskDefinition(
                     Bstr(kStartupTaskName).get(), task.Get(), TASK_CREATE_OR_UPDATE, noUser.get(),
                     noPassword.get(), TASK_LOGON_INTERACTIVE_TOKEN, emptySecurityDescriptor.get(), nullptr));
    return kReachedRegistration;
}

// Passes lines on and remembers whether any came.
class LineCounter final : public LineSink {
  public:
    explicit LineCounter(LineSink& next) noexcept : next_(next) {}
    void WriteLine(std::wstring_view line) noexcept override {
        ++lines_;
        next_.WriteLine(line);
    }
    [[nodiscard]] int Lines() const noexcept { return lines_; }

  private:
    LineSink& next_;
    int lines_ = 0;
};

}  // namespace

HRESULT CreateTaskSchedulerService(ITaskService** service) noexcept {
    return ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                              reinterpret_cast<void**>(service));
}

int RegisterStartupTask(TaskServiceFactory createService, LineSink& errors) noexcept {
    std::wstring programPath;
    try {
        programPath = GetProgramFolder() + kProgramFile;
    } catch (...) {
        return kStoppedEarly;
    }
    const ComApartment com;
    if (FAILED(com.Result())) {
        Report(errors, kCoInitializeFailed, com.Result());
        return kStoppedEarly;
    }
    const int result = BuildAndRegister(createService, errors, programPath);
    // The registration runs once a start: the Task Scheduler's library goes now that its objects are gone,
    // not when the program ends.
    ::CoFreeUnusedLibrariesEx(0, 0);
    return result;
}

void RegisterStartupTaskInProgramLog() noexcept {
    LineCounter errors(ProgramLog());
    const int result = RegisterStartupTask(&CreateTaskSchedulerService, errors);
    LogEvent(result == kReachedRegistration && errors.Lines() == 0 ? L"Autostart task \"%ls\" registered"
                                                                   : L"Autostart task \"%ls\" not registered",
             kStartupTaskName);
}
