// The sensor server: publishes the CPU load (offset 132), the CPU temperature (152) and a liveness count
// (156) in the shared block, once per period (a second unless the configuration says otherwise). It takes
// no arguments; OpenTermivoxServer.ini beside it may select the scripted source. It runs until it is
// terminated: every value is a single aligned store, so a kill at any moment leaves a readable block.

#include "CpuLoad.h"
#include "ScriptedReadings.h"
#include "SensorBlockWriter.h"
#include "ServerConfig.h"
#include "TemperatureSources.h"
#include "Text.h"
#include "TextFile.h"

#include "SensorBlock.h"

#include <objbase.h>

#include <cstdio>

namespace {

constexpr wchar_t kInstanceMutexName[] = L"OpenTermivoxServer.running";

void Say(const std::string& line) {
    std::fprintf(stderr, "OpenTermivoxServer: %s\n", line.c_str());
    std::fflush(stderr);
}

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// 1, 2, 3, ...: above 0 from the first reading on. It starts again at 1 after 2^24, the last count a float32
// holds exactly, so that it keeps changing.
class LivenessCount {
  public:
    float Next() noexcept {
        count_ = count_ >= kWrap ? 1 : count_ + 1;
        return static_cast<float>(count_);
    }

  private:
    static constexpr unsigned kWrap = 1u << 24;
    unsigned count_ = 0;
};

// One wake-up per period, on a fixed beat; after a stall (suspend, debugger) it resumes from now instead of
// catching up in a burst.
class Pacer {
  public:
    explicit Pacer(DWORD periodMs) noexcept : periodMs_(periodMs), next_(::GetTickCount64() + periodMs) {}
    void Wait() noexcept {
        const ULONGLONG now = ::GetTickCount64();
        if (next_ > now) {
            ::Sleep(static_cast<DWORD>(next_ - now));
        } else {
            next_ = now;
        }
        next_ += periodMs_;
    }

  private:
    DWORD periodMs_;
    ULONGLONG next_;
};

ServerConfig LoadConfig(const std::wstring& folder, std::vector<std::string>* messages) {
    std::string text;
    switch (ReadTextFile(folder + kServerConfigName, kMaxConfigBytes, &text)) {
        case TextFileResult::Read:
            return ParseServerConfig(text, folder, messages);
        case TextFileResult::Missing:
            break;
        case TextFileResult::TooLarge:
            messages->push_back("config: larger than 64 KiB, ignored");
            break;
        case TextFileResult::Failed:
            messages->push_back("config: cannot be read, ignored");
            break;
    }
    return ServerConfig{};
}

// The script's rows, or none (with the reason among the messages) when the system's sensors must serve.
std::vector<ScriptedReading> LoadScript(const ServerConfig& config, std::vector<std::string>* messages) {
    if (config.source != ReadingSource::Scripted) {
        return {};
    }
    const std::string name = "csv " + Utf8FromWide(config.csvPath);
    std::string text;
    std::vector<ScriptedReading> rows;
    switch (ReadTextFile(config.csvPath, kMaxScriptBytes, &text)) {
        case TextFileResult::Read:
            rows = ParseScriptedReadings(text, messages);
            if (rows.empty()) {
                messages->push_back(name + ": no readings in it");
            }
            break;
        case TextFileResult::Missing:
            messages->push_back(name + ": not found");
            break;
        case TextFileResult::TooLarge:
            messages->push_back(name + ": larger than 4 MiB");
            break;
        case TextFileResult::Failed:
            messages->push_back(name + ": cannot be read");
            break;
    }
    if (rows.empty()) {
        messages->push_back("using the system's sensors instead of the script");
    }
    return rows;
}

[[noreturn]] void ReplayScript(const std::vector<ScriptedReading>& rows, DWORD periodMs,
                               SensorBlockWriter* block) {
    Say("replaying " + std::to_string(rows.size()) + " scripted readings");
    LivenessCount liveness;
    Pacer pacer(periodMs);
    for (size_t i = 0;; i = (i + 1) % rows.size()) {
        block->Write(kSecondReadingOffset, rows[i].second);
        block->Write(kCpuTemperatureOffset, rows[i].temperature);
        block->Write(kLivenessOffset, liveness.Next());
        pacer.Wait();
    }
}

[[noreturn]] void PublishSystemReadings(const ServerConfig& config, SensorBlockWriter* block) {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    std::string reason;
    const std::unique_ptr<TemperatureSource> source = FindTemperatureSource(config, &reason);
    if (source) {
        Say("CPU temperature from " + source->Name());
    } else {
        Say("no CPU temperature source: " + reason + "; writing 0 as the temperature");
    }

    CpuLoadMeter meter;
    LivenessCount liveness;
    Pacer pacer(config.periodMs);
    float load = 0;
    bool answering = true;
    for (;;) {
        pacer.Wait();
        float sample = 0;
        if (meter.Sample(&sample)) {
            load = sample;
        }
        float celsius = 0;
        if (source) {
            const bool read = source->Read(&celsius);
            if (!read) {
                celsius = 0;
            }
            if (read != answering) {
                Say(read
                        ? source->Name() + " answers again"
                        : source->Name() + " gave no reading; writing 0 as the temperature until it answers");
                answering = read;
            }
        }
        block->Write(kSecondReadingOffset, load);
        block->Write(kCpuTemperatureOffset, celsius);
        block->Write(kLivenessOffset, liveness.Next());
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The program may start a copy while one runs; the later one leaves the block to the first.
    UniqueHandle running(::CreateMutexW(nullptr, FALSE, kInstanceMutexName));
    if (running && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        Say("another copy is already running; this one ends");
        return 0;
    }

    const std::wstring folder = OwnFolder();
    std::vector<std::string> messages;
    const ServerConfig config = LoadConfig(folder, &messages);
    const std::vector<ScriptedReading> script = LoadScript(config, &messages);
    for (const std::string& message : messages) {
        Say(message);
    }

    SensorBlockWriter block;
    std::string error;
    if (!block.Open(&error)) {
        Say(error);
        return 3;
    }
    if (!script.empty()) {
        ReplayScript(script, config.periodMs, &block);
    }
    PublishSystemReadings(config, &block);
}
