// The exchange between the program and its update job process, both ways: a line the program reads from the
// job, and the arguments the job is started with. What is accepted has every field in its range and says
// the same once written out again; everything the job may say fits a line and is accepted as it was meant.

#include "FuzzCheck.h"

#include "update/UpdateJobWire.h"
#include "update/UpdateResults.h"
#include "update/Versions.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

bool Same(const JobLine& a, const JobLine& b) {
    return a.kind == b.kind && a.what == b.what && a.value == b.value && a.version == b.version;
}

bool Same(const UpdateJobRequest& a, const UpdateJobRequest& b) {
    return a.command == b.command && a.displayModel == b.displayModel && a.firmware == b.firmware &&
           a.version == b.version && a.cancelEvent == b.cancelEvent && a.program == b.program;
}

// The results a job may report, with the details each may carry.
bool MayReport(WPARAM what, LPARAM detail) {
    constexpr std::pair<WPARAM, LPARAM> kReports[] = {
        {kUpdateSoftware, 0},
        {kUpdateSoftware, 1},
        {kUpdateFirmware, 0},
        {kUpdateFirmware, 1},
        {kUpdateInstallerStarted, 0},
        {kUpdateNotInstalled, kUpdateSoftware},
        {kUpdateNotInstalled, kUpdateFirmware},
    };
    return std::find(std::begin(kReports), std::end(kReports), std::pair{what, detail}) != std::end(kReports);
}

std::string Format(const JobLine& line) {
    switch (line.kind) {
        case JobLine::Kind::kResult:
            return FormatResultLine(line.what, line.value);
        case JobLine::Kind::kProgress:
            return FormatProgressLine(line.value);
        case JobLine::Kind::kVersion:
            return FormatVersionLine(line.what, line.version);
    }
    return {};
}

// A line as the job writes it: parsed without its "\n", it must come back as it was.
void CheckWritten(const JobLine& news) {
    const std::string written = Format(news);
    FUZZ_CHECK(!written.empty() && written.back() == '\n');
    const std::string_view line(written.data(), written.size() - 1);
    FUZZ_CHECK(line.size() <= kJobLineMaxChars);
    FUZZ_CHECK(fuzz::IsPrintableAscii(line));
    const auto parsed = ParseJobLine(line);
    FUZZ_CHECK(parsed && Same(*parsed, news));
}

void CheckLine(std::string_view line) {
    const auto parsed = ParseJobLine(line);
    if (!parsed) {
        return;
    }
    FUZZ_CHECK(line.size() <= kJobLineMaxChars);
    FUZZ_CHECK(fuzz::IsPrintableAscii(line));
    switch (parsed->kind) {
        case JobLine::Kind::kResult:
            FUZZ_CHECK(line[0] == 'R' && MayReport(parsed->what, parsed->value) && parsed->version.empty());
            break;
        case JobLine::Kind::kProgress:
            FUZZ_CHECK(line[0] == 'P' && parsed->what == 0 && parsed->value >= 0 &&
                       parsed->value <= INT_MAX && parsed->version.empty());
            break;
        case JobLine::Kind::kVersion:
            FUZZ_CHECK(line[0] == 'V' &&
                       (parsed->what == kUpdateSoftware || parsed->what == kUpdateFirmware) &&
                       parsed->value == 0 && IsVersionText(parsed->version));
            break;
    }
    CheckWritten(*parsed);
}

std::vector<std::wstring> Split(const std::wstring& text) {
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (size_t space; (space = text.find(L' ', start)) != std::wstring::npos; start = space + 1) {
        fields.push_back(text.substr(start, space - start));
    }
    fields.push_back(text.substr(start));
    return fields;
}

// Arguments as the program writes them: one command line word each, parsed back to the same request.
void CheckFormatted(const UpdateJobRequest& request) {
    const std::wstring text = FormatJobArguments(request);
    FUZZ_CHECK(text.find_first_not_of(L"0123456789ABCDEF- ") == std::wstring::npos);
    const auto parsed = ParseJobArguments(Split(text));
    FUZZ_CHECK(parsed && Same(*parsed, request));
}

void CheckArguments(const std::vector<std::wstring>& args) {
    const auto parsed = ParseJobArguments(args);
    if (!parsed) {
        return;
    }
    FUZZ_CHECK(args.size() == 6);
    FUZZ_CHECK(parsed->command >= WorkerCommand::kSoftwareCheck &&
               parsed->command <= WorkerCommand::kFirmwareDownload);
    FUZZ_CHECK(parsed->displayModel >= 0 && parsed->displayModel <= 2);
    FUZZ_CHECK(parsed->firmware >= -1 && parsed->firmware <= 0xFFFF);
    FUZZ_CHECK(parsed->version.empty() || IsVersionText(parsed->version));
    FUZZ_CHECK(parsed->cancelEvent != 0 && parsed->program != 0);
    CheckFormatted(*parsed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    CheckLine(input.ConsumeRandomLengthString(2 * kJobLineMaxChars));
    const std::string args = input.ConsumeRandomLengthString(256);
    CheckArguments(Split(input.ConsumeBool() ? fuzz::UnitsFromPairs(args) : fuzz::UnitsFromBytes(args)));

    // Whatever the job may say and the program may ask.
    std::wstring version = fuzz::UnitsFromPairs(input.ConsumeRandomLengthString(2 * kMaxVersionLength));
    if (!IsVersionText(version)) {
        version = L"1.0.0.6";
    }
    const WPARAM kind = input.ConsumeBool() ? kUpdateSoftware : kUpdateFirmware;
    CheckWritten({JobLine::Kind::kVersion, kind, 0, version});
    CheckWritten({JobLine::Kind::kProgress, 0, input.ConsumeIntegralInRange<LPARAM>(0, INT_MAX), {}});
    const WPARAM what = input.ConsumeIntegralInRange<WPARAM>(kUpdateSoftware, kUpdateNotInstalled);
    const LPARAM detail = input.ConsumeIntegralInRange<LPARAM>(0, 2);
    if (MayReport(what, detail)) {
        CheckWritten({JobLine::Kind::kResult, what, detail, {}});
    }
    CheckFormatted({static_cast<WorkerCommand>(input.ConsumeIntegralInRange<int>(
                        static_cast<int>(WorkerCommand::kSoftwareCheck),
                        static_cast<int>(WorkerCommand::kFirmwareDownload))),
                    input.ConsumeIntegralInRange<int>(0, 2), input.ConsumeIntegralInRange<int>(-1, 0xFFFF),
                    input.ConsumeBool() ? std::wstring() : version,
                    input.ConsumeIntegralInRange<uint32_t>(1, UINT32_MAX),
                    input.ConsumeIntegralInRange<uint32_t>(1, UINT32_MAX)});
    return 0;
}
