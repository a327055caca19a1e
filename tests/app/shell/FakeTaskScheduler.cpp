// The interfaces are built from their C vtable layouts, so that only the methods the registration calls
// need code: every other slot answers E_NOTIMPL and records the surprise.
#define CINTERFACE
#define COBJMACROS

#include "FakeTaskScheduler.h"

#include <oleauto.h>
#include <taskschd.h>

#include <cstddef>
#include <cstring>

namespace {

FakeTaskScheduler* g_fake = nullptr;

const IID kIidLogonTrigger = {0x72dade38, 0xfae4, 0x4b3e, {0xba, 0xf4, 0x5d, 0x00, 0x9a, 0xf0, 0x2b, 0x1c}};

struct FakeObject {
    const void* vtbl;  // first, as in every COM object
    const char* name;
    LONG refs;
};

// ILogonTrigger: ITrigger's slots, then four of its own.
struct LogonTriggerVtbl {
    ITriggerVtbl trigger;
    HRESULT(STDMETHODCALLTYPE* get_Delay)(ITrigger*, BSTR*);
    HRESULT(STDMETHODCALLTYPE* put_Delay)(ITrigger*, BSTR);
    HRESULT(STDMETHODCALLTYPE* get_UserId)(ITrigger*, BSTR*);
    HRESULT(STDMETHODCALLTYPE* put_UserId)(ITrigger*, BSTR);
};

template <typename I>
FakeObject* Self(I* object) {
    return reinterpret_cast<FakeObject*>(object);
}

std::string Narrow(BSTR text) {
    if (!text) {
        return "null";
    }
    std::string out = "\"";
    for (const wchar_t* c = text; *c; ++c) {
        out += *c < 128 ? static_cast<char>(*c) : '?';
    }
    return out + "\"";
}

std::string Describe(const VARIANT& v) {
    if (v.vt == VT_EMPTY) {
        return "EMPTY";
    }
    if (v.vt == VT_BSTR) {
        return "BSTR " + Narrow(v.bstrVal);
    }
    return "vt " + std::to_string(v.vt);
}

bool IsFailing(const std::string& call) {
    return !g_fake->failing.empty() && call.rfind(g_fake->failing, 0) == 0;
}

// Records the call; its result is the configured failure when it is the failing one.
HRESULT Record(FakeObject* self, const std::string& call) {
    g_fake->calls.push_back(std::string(self->name) + "." + call);
    return IsFailing(g_fake->calls.back()) ? g_fake->failure : S_OK;
}

// A call that hands out a new object: none when it is the failing one (even if told to succeed).
template <typename I>
HRESULT HandOut(FakeObject* self, const std::string& call, const void* vtbl, const char* name, I** out) {
    *out = nullptr;
    const HRESULT hr = Record(self, call);
    if (IsFailing(g_fake->calls.back())) {
        return hr;
    }
    *out = reinterpret_cast<I*>(new FakeObject{vtbl, name, 1});
    ++g_fake->references;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Unexpected(FakeObject* self) {
    g_fake->calls.push_back(std::string(self->name) + ": unexpected call");
    return E_NOTIMPL;
}

template <typename I>
ULONG STDMETHODCALLTYPE AddRef(I* object) {
    ++g_fake->references;
    return static_cast<ULONG>(++Self(object)->refs);
}

template <typename I>
ULONG STDMETHODCALLTYPE Release(I* object) {
    FakeObject* self = Self(object);
    --g_fake->references;
    const LONG left = --self->refs;
    if (left == 0) {
        delete self;
    }
    return static_cast<ULONG>(left);
}

template <typename I>
HRESULT STDMETHODCALLTYPE QueryInterface(I* object, REFIID iid, void** out) {
    FakeObject* self = Self(object);
    *out = nullptr;
    const bool logon = IsEqualIID(iid, kIidLogonTrigger);
    const bool exec = IsEqualIID(iid, IID_IExecAction);
    const HRESULT hr = Record(self, std::string("QueryInterface(") +
                                        (logon  ? "ILogonTrigger"
                                         : exec ? "IExecAction"
                                                : "other") +
                                        ")");
    if (FAILED(hr)) {
        return hr;
    }
    const bool answers = (logon && std::strcmp(self->name, "Trigger") == 0 && g_fake->logonTrigger) ||
                         (exec && std::strcmp(self->name, "Action") == 0);
    if (!answers) {
        return E_NOINTERFACE;
    }
    *out = object;
    AddRef(object);
    return S_OK;
}

// A vtable whose every slot answers E_NOTIMPL, with IUnknown filled in.
template <typename Vtbl, typename I>
Vtbl MakeVtbl() {
    void* slots[sizeof(Vtbl) / sizeof(void*)];
    for (void*& slot : slots) {
        slot = reinterpret_cast<void*>(&Unexpected);
    }
    slots[0] = reinterpret_cast<void*>(&QueryInterface<I>);
    slots[1] = reinterpret_cast<void*>(&AddRef<I>);
    slots[2] = reinterpret_cast<void*>(&Release<I>);
    Vtbl vtbl;
    std::memcpy(&vtbl, slots, sizeof(vtbl));
    return vtbl;
}

std::string Flag(VARIANT_BOOL value) {
    return value == VARIANT_TRUE ? "TRUE" : value == VARIANT_FALSE ? "FALSE" : std::to_string(value);
}

struct Vtables {
    ITaskServiceVtbl service = MakeVtbl<ITaskServiceVtbl, ITaskService>();
    ITaskFolderVtbl folder = MakeVtbl<ITaskFolderVtbl, ITaskFolder>();
    ITaskDefinitionVtbl definition = MakeVtbl<ITaskDefinitionVtbl, ITaskDefinition>();
    ITriggerCollectionVtbl triggers = MakeVtbl<ITriggerCollectionVtbl, ITriggerCollection>();
    LogonTriggerVtbl trigger = MakeVtbl<LogonTriggerVtbl, ITrigger>();
    IPrincipalVtbl principal = MakeVtbl<IPrincipalVtbl, IPrincipal>();
    ITaskSettingsVtbl settings = MakeVtbl<ITaskSettingsVtbl, ITaskSettings>();
    IActionCollectionVtbl actions = MakeVtbl<IActionCollectionVtbl, IActionCollection>();
    IExecActionVtbl action = MakeVtbl<IExecActionVtbl, IExecAction>();

    Vtables();
};

const Vtables& Tables() {
    static const Vtables tables;
    return tables;
}

Vtables::Vtables() {
    service.Connect = [](ITaskService* s, VARIANT server, VARIANT user, VARIANT domain, VARIANT password) {
        return Record(Self(s), "Connect(" + Describe(server) + ", " + Describe(user) + ", " +
                                   Describe(domain) + ", " + Describe(password) + ")");
    };
    service.GetFolder = [](ITaskService* s, BSTR path, ITaskFolder** out) {
        return HandOut(Self(s), "GetFolder(" + Narrow(path) + ")", &Tables().folder, "TaskFolder", out);
    };
    service.NewTask = [](ITaskService* s, DWORD flags, ITaskDefinition** out) {
        return HandOut(Self(s), "NewTask(" + std::to_string(flags) + ")", &Tables().definition,
                       "TaskDefinition", out);
    };
    folder.RegisterTaskDefinition = [](ITaskFolder* f, BSTR path, ITaskDefinition* definition, LONG flags,
                                       VARIANT user, VARIANT password, TASK_LOGON_TYPE logon, VARIANT sddl,
                                       IRegisteredTask** task) {
        return Record(Self(f), "RegisterTaskDefinition(" + Narrow(path) + ", " +
                                   (definition ? Self(definition)->name : "null") + ", " +
                                   std::to_string(flags) + ", " + Describe(user) + ", " + Describe(password) +
                                   ", " + std::to_string(logon) + ", " + Describe(sddl) + ", " +
                                   (task ? "out" : "null") + ")");
    };
    definition.get_Triggers = [](ITaskDefinition* d, ITriggerCollection** out) {
        return HandOut(Self(d), "get_Triggers()", &Tables().triggers, "TriggerCollection", out);
    };
    definition.get_Principal = [](ITaskDefinition* d, IPrincipal** out) {
        return HandOut(Self(d), "get_Principal()", &Tables().principal, "Principal", out);
    };
    definition.get_Settings = [](ITaskDefinition* d, ITaskSettings** out) {
        return HandOut(Self(d), "get_Settings()", &Tables().settings, "Settings", out);
    };
    definition.get_Actions = [](ITaskDefinition* d, IActionCollection** out) {
        return HandOut(Self(d), "get_Actions()", &Tables().actions, "ActionCollection", out);
    };
    triggers.Create = [](ITriggerCollection* c, TASK_TRIGGER_TYPE2 type, ITrigger** out) {
        return HandOut(Self(c), "Create(" + std::to_string(type) + ")", &Tables().trigger, "Trigger", out);
    };
    trigger.trigger.put_Id = [](ITrigger* t, BSTR id) {
        return Record(Self(t), "put_Id(" + Narrow(id) + ")");
    };
    trigger.put_Delay = [](ITrigger* t, BSTR delay) {
        return Record(Self(t), "put_Delay(" + Narrow(delay) + ")");
    };
    principal.put_RunLevel = [](IPrincipal* p, TASK_RUNLEVEL_TYPE level) {
        return Record(Self(p), "put_RunLevel(" + std::to_string(level) + ")");
    };
    settings.put_StopIfGoingOnBatteries = [](ITaskSettings* s, VARIANT_BOOL v) {
        return Record(Self(s), "put_StopIfGoingOnBatteries(" + Flag(v) + ")");
    };
    settings.put_DisallowStartIfOnBatteries = [](ITaskSettings* s, VARIANT_BOOL v) {
        return Record(Self(s), "put_DisallowStartIfOnBatteries(" + Flag(v) + ")");
    };
    settings.put_AllowDemandStart = [](ITaskSettings* s, VARIANT_BOOL v) {
        return Record(Self(s), "put_AllowDemandStart(" + Flag(v) + ")");
    };
    settings.put_StartWhenAvailable = [](ITaskSettings* s, VARIANT_BOOL v) {
        return Record(Self(s), "put_StartWhenAvailable(" + Flag(v) + ")");
    };
    settings.put_MultipleInstances = [](ITaskSettings* s, TASK_INSTANCES_POLICY policy) {
        return Record(Self(s), "put_MultipleInstances(" + std::to_string(policy) + ")");
    };
    settings.put_ExecutionTimeLimit = [](ITaskSettings* s, BSTR limit) {
        return Record(Self(s), "put_ExecutionTimeLimit(" + Narrow(limit) + ")");
    };
    actions.Create = [](IActionCollection* c, TASK_ACTION_TYPE type, IAction** out) {
        return HandOut(Self(c), "Create(" + std::to_string(type) + ")", &Tables().action, "Action", out);
    };
    action.put_Path = [](IExecAction* a, BSTR path) {
        return Record(Self(a), "put_Path(" + Narrow(path) + ")");
    };
}

}  // namespace

void UseFakeTaskScheduler(FakeTaskScheduler* fake) {
    g_fake = fake;
}

HRESULT CreateFakeTaskService(void** service) {
    static FakeObject creator{nullptr, "TaskScheduler", 1};
    return HandOut(&creator, "CreateInstance()", &Tables().service, "TaskService",
                   reinterpret_cast<ITaskService**>(service));
}
