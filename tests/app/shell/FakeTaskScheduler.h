#pragma once

// An in-process fake of the Task Scheduler 2.0 interfaces that the autostart registration uses. Every call
// is recorded with its values ("TaskService.Connect(EMPTY, EMPTY, EMPTY, EMPTY)"); any one of them can be
// made to fail; the interface references the caller holds are counted.

#include <windows.h>

#include <string>
#include <vector>

struct FakeTaskScheduler {
    // The call that fails: the start of its recorded text, e.g. "TaskService.Connect",
    // "Action.QueryInterface(IExecAction)", or "TaskScheduler.CreateInstance" for the creation itself.
    std::string failing;
    // Its result. S_OK makes a call that hands out an interface succeed with none.
    HRESULT failure = E_FAIL;
    // Whether the trigger answers QueryInterface for ILogonTrigger.
    bool logonTrigger = true;

    std::vector<std::string> calls;
    int references = 0;  // handed out and not yet released
};

// Makes fake the one that CreateFakeTaskService serves (null: none).
void UseFakeTaskScheduler(FakeTaskScheduler* fake);

// A TaskServiceFactory: the current fake's ITaskService with one reference.
HRESULT CreateFakeTaskService(void** service);
