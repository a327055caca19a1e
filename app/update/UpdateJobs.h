#pragma once

// The update work's side in the program. The worker hands each update command over with what it knows at that
// point (the display model, the first display's firmware) and goes straight back to the displays. A thread
// that lives only while commands wait runs them one at a time, in the order they came, each in a short-lived
// update job process (kUpdateJobProgram beside the program, UpdateJobMain.cpp), reads the job's news from a
// pipe (UpdateJobWire.h) and posts it to the window. The network, certificate and TLS libraries the work
// needs are loaded by the job alone and go with it; a silent server or a long download never holds the
// displays' reports.
//
// The job runs elevated as the program does, so it is started only when nobody but an administrator can
// change the program's folder (ProgramFolderCheck.h); otherwise no update work runs and the log says why.

#include "update/UpdateJobWire.h"

#include "win/Handle.h"

#include <windows.h>

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

inline constexpr wchar_t kUpdateJobProgram[] = L"CalidraUpdate.exe";
// The exit code of a job the program ended by force.
inline constexpr UINT kUpdateJobEndedByForce = 0xE0D;

struct UpdateJobLimits {
    DWORD checkMs = 60 * 1000;          // a check: two fetches of a version file, each bounded
    DWORD downloadMs = 20 * 60 * 1000;  // a download: the package's 15 minutes, its signature, the unpacking
    DWORD cancelWaitMs = 3000;          // from the cancel until the job is ended by force
    size_t maxLines = 65536;            // a download's progress values and a few results
};

class UpdateJobs {
  public:
    // Update commands come once at start-up and once per accepted offer: more waiting than this is a fault,
    // and the surplus is dropped.
    static constexpr size_t kCapacity = 8;

    explicit UpdateJobs(const UpdateJobLimits& limits = {}) noexcept : limits_(limits) {}
    ~UpdateJobs();
    UpdateJobs(const UpdateJobs&) = delete;
    UpdateJobs& operator=(const UpdateJobs&) = delete;

    // Before the first hand-over: the window that gets the results and the download progress, the folder
    // (ending with "\") that holds kUpdateJobProgram, and "" when that folder is protected or else why it is
    // not: then no job is started, and the log says so once.
    void Configure(HWND window, const std::wstring& programFolder, const std::wstring& unprotected);

    // Worker: appends command (displayModel: 1 K1, 2 K2, 0 none; firmware: the first display's answer, -1
    // none) and returns at once; false if it was dropped (queue full, update work off, shutting down).
    bool HandOver(WorkerCommand command, int displayModel, int firmware) noexcept;

    // UI thread, after a kUpdateSoftware or kUpdateFirmware result: the version text the check found.
    [[nodiscard]] std::wstring LatestVersion(WPARAM kind) const;

    // Drops what waits, cancels a running job, ends it by force when it has not ended within
    // limits_.cancelWaitMs, and waits until the thread has ended. No command runs after it. Done by the
    // destructor too.
    void Shutdown() noexcept;

  private:
    struct Job {
        WorkerCommand command;
        int displayModel;
        int firmware;
    };

    void RunJobs() noexcept;
    void RunJob(const Job& job);
    // Takes the job's lines from pipe until it ends; a line that is not believed ends the job (process).
    void ReadNews(HANDLE pipe, HANDLE process) noexcept;
    // The latest version kept, or the result or progress posted to the window.
    void Pass(const JobLine& news);

    const UpdateJobLimits limits_;
    HWND window_ = nullptr;
    std::wstring program_;  // the job's executable; empty while the update work is off
    const UniqueHandle stopEvent_{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    mutable std::mutex mutex_;
    std::deque<Job> jobs_;
    bool runnerBusy_ = false;  // the thread takes jobs; once false it only returns
    bool stopping_ = false;
    std::wstring latestSoftware_;
    std::wstring latestFirmware_;
    std::thread runner_;
};
