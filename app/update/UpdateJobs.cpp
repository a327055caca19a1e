#include "update/UpdateJobs.h"

#include "update/UpdateJobLaunch.h"
#include "update/UpdateJobWire.h"
#include "update/Updater.h"

#include "common/ProgramLog.h"
#include "common/WindowMessages.h"

#include <string_view>

namespace {

constexpr DWORD kPipeReadSize = 512;

SECURITY_ATTRIBUTES Inheritable() noexcept {
    return SECURITY_ATTRIBUTES{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
}

bool IsDownload(WorkerCommand command) noexcept {
    return command == WorkerCommand::kSoftwareDownload || command == WorkerCommand::kFirmwareDownload;
}

}  // namespace

UpdateJobs::~UpdateJobs() {
    Shutdown();
}

void UpdateJobs::Configure(HWND window, const std::wstring& programFolder, const std::wstring& unprotected) {
    window_ = window;
    if (!unprotected.empty()) {
        LogEvent(L"No update checks or installs: the program's folder is not protected: %ls",
                 unprotected.c_str());
        return;
    }
    program_ = programFolder + kUpdateJobProgram;
}

bool UpdateJobs::HandOver(WorkerCommand command, int displayModel, int firmware) noexcept {
    std::lock_guard lock(mutex_);
    if (program_.empty() || stopping_) {
        return false;
    }
    if (jobs_.size() >= kCapacity) {
        LogEvent(L"Update command %d dropped: too many are waiting", command);
        return false;
    }
    try {
        jobs_.push_back({command, displayModel, firmware});
        if (!runnerBusy_) {
            // The last thread has taken its last job and only returns.
            if (runner_.joinable()) {
                runner_.join();
            }
            runner_ = std::thread(&UpdateJobs::RunJobs, this);
            runnerBusy_ = true;
        }
        return true;
    } catch (...) {
        // Out of memory or threads: dropped like a command beyond the capacity.
        jobs_.clear();
        LogEvent(L"Update command %d dropped: no thread for it", command);
        return false;
    }
}

std::wstring UpdateJobs::LatestVersion(WPARAM kind) const {
    std::lock_guard lock(mutex_);
    return kind == kUpdateFirmware ? latestFirmware_ : latestSoftware_;
}

void UpdateJobs::Shutdown() noexcept {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    ::SetEvent(stopEvent_.get());
    if (runner_.joinable()) {
        runner_.join();
    }
}

void UpdateJobs::RunJobs() noexcept {
    for (;;) {
        Job job{};
        {
            std::lock_guard lock(mutex_);
            if (jobs_.empty() || stopping_) {
                runnerBusy_ = false;
                return;
            }
            job = jobs_.front();
            jobs_.pop_front();
        }
        try {
            RunJob(job);
        } catch (...) {
            LogEvent(L"Update command %d not run: out of memory", job.command);
        }
    }
}

void UpdateJobs::RunJob(const Job& job) {
    SECURITY_ATTRIBUTES inheritable = Inheritable();
    UniqueHandle cancel(::CreateEventW(&inheritable, TRUE, FALSE, nullptr));
    HANDLE self = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self, SYNCHRONIZE,
                      TRUE, 0);
    const UniqueHandle program(self);
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!::CreatePipe(&read, &write, &inheritable, 0)) {
        read = write = nullptr;
    }
    const UniqueHandle pipe(read);
    UniqueHandle output(write);
    if (!cancel || !program || !pipe || !::SetHandleInformation(pipe.get(), HANDLE_FLAG_INHERIT, 0)) {
        LogEvent(L"Update command %d not run: no handles for it (error %lu)", job.command, ::GetLastError());
        return;
    }

    UpdateJobRequest request{job.command, job.displayModel, job.firmware, {}, 0, 0};
    if (IsDownload(job.command)) {
        request.version = LatestVersion(job.command == WorkerCommand::kSoftwareDownload ? kUpdateSoftware
                                                                                        : kUpdateFirmware);
    }
    request.cancelEvent = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(cancel.get()));
    request.program = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(program.get()));
    std::wstring why;
    const UniqueHandle process = StartUpdateJob(program_, FormatJobArguments(request), output.get(),
                                                {output.get(), cancel.get(), program.get()}, &why);
    if (!process) {
        LogEvent(L"Update command %d not run: %ls: %ls", job.command, program_.c_str(), why.c_str());
        return;
    }
    output.reset();  // the job's copy is the only one left: its end ends the pipe

    std::thread reader;
    try {
        reader = std::thread(&UpdateJobs::ReadNews, this, pipe.get(), process.get());
    } catch (...) {
        ::TerminateProcess(process.get(), kUpdateJobEndedByForce);
        LogEvent(L"Update command %d ended: no thread to read it", job.command);
        ::WaitForSingleObject(process.get(), limits_.cancelWaitMs);
        return;
    }
    const HANDLE waits[] = {process.get(), stopEvent_.get()};
    const DWORD limit = IsDownload(job.command) ? limits_.downloadMs : limits_.checkMs;
    const DWORD ended = ::WaitForMultipleObjects(2, waits, FALSE, limit);
    if (ended != WAIT_OBJECT_0) {
        ::SetEvent(cancel.get());
        if (::WaitForSingleObject(process.get(), limits_.cancelWaitMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.get(), kUpdateJobEndedByForce);
            LogEvent(L"Update command %d ended by force %ls", job.command,
                     ended == WAIT_OBJECT_0 + 1 ? L"at shutdown" : L"after its time limit");
        }
    }
    // The reader ends at the end of the pipe, which the job's end brings.
    reader.join();
}

void UpdateJobs::ReadNews(HANDLE pipe, HANDLE process) noexcept {
    const auto disbelieve = [process](const char* why) noexcept {
        LogEvent(L"Update job ended: its output is not believed (%hs)", why);
        ::TerminateProcess(process, kUpdateJobEndedByForce);
    };
    try {
        char line[kJobLineMaxChars];
        size_t length = 0;
        size_t lines = 0;
        char buffer[kPipeReadSize];
        DWORD got = 0;
        while (::ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
            for (const char c : std::string_view(buffer, got)) {
                if (c != '\n') {
                    if (length == kJobLineMaxChars) {
                        return disbelieve("a line too long");
                    }
                    line[length++] = c;
                    continue;
                }
                const std::optional<JobLine> news = ParseJobLine(std::string_view(line, length));
                length = 0;
                if (!news) {
                    return disbelieve("a line out of its form");
                }
                if (++lines > limits_.maxLines) {
                    return disbelieve("too many lines");
                }
                Pass(*news);
            }
        }
    } catch (...) {
        disbelieve("out of memory");
    }
}

void UpdateJobs::Pass(const JobLine& news) {
    switch (news.kind) {
        case JobLine::Kind::kVersion: {
            std::lock_guard lock(mutex_);
            (news.what == kUpdateFirmware ? latestFirmware_ : latestSoftware_) = news.version;
            break;
        }
        case JobLine::Kind::kResult:
            ::PostMessageW(window_, kUpdateResultMessage, news.what, news.value);
            break;
        case JobLine::Kind::kProgress:
            ::PostMessageW(window_, kDownloadProgressMessage, 0, news.value);
            break;
    }
}
