#pragma once

// What the program and its update job process (UpdateJobMain.cpp) say to each other. The program starts the
// job with its request as arguments and reads the job's news from an anonymous pipe, one line each.
//
// Arguments: "<command> <display model> <firmware> <version> <cancel event> <program>"
//   command: one of the four update commands (Updater.h); display model 0 to 2; firmware: what the first
//   display answered (0 to 65535, -1 nothing); version: the version text a download fetches, as hexadecimal
//   UTF-16 code units (4 digits each), "-" for none; the last two are inherited handle values in decimal: an
//   event the program sets to cancel the job, and the program's own process, whose end cancels it as well.
//
// Lines (ASCII, each ending with "\n"):
//   "R <what> <detail>"  a kUpdateResultMessage (wParam, lParam)
//   "P <value>"          a kDownloadProgressMessage's value (0 to INT_MAX)
//   "V <kind> <hex>"     the version text a check found (kind kUpdateSoftware or kUpdateFirmware), before the
//                        "R" line that offers it; hexadecimal as above, so that no text of the server can
//                        start a line of its own
// The program believes nothing it does not parse: each field is checked against what the job may say (version
// texts with IsVersionText), and a line that fails ends what the program takes from that job.

#include "common/WorkerCommand.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A line is at most this long without its "\n"; a longer one is not believed.
inline constexpr size_t kJobLineMaxChars = 64;

struct UpdateJobRequest {
    WorkerCommand command = WorkerCommand::kSoftwareCheck;
    int displayModel = 0;
    int firmware = -1;
    std::wstring version;  // empty: none
    uint32_t cancelEvent = 0;
    uint32_t program = 0;
};

[[nodiscard]] std::wstring FormatJobArguments(const UpdateJobRequest& request);
// args: the arguments after the program's name. Nothing when any is missing, extra or out of its range.
[[nodiscard]] std::optional<UpdateJobRequest> ParseJobArguments(const std::vector<std::wstring>& args);

struct JobLine {
    enum class Kind { kResult, kProgress, kVersion };
    Kind kind = Kind::kResult;
    WPARAM what = 0;       // kResult: the result; kVersion: the kind
    LPARAM value = 0;      // kResult: the detail; kProgress: the value
    std::wstring version;  // kVersion
};

[[nodiscard]] std::string FormatResultLine(WPARAM what, LPARAM detail);
[[nodiscard]] std::string FormatProgressLine(LPARAM value);
[[nodiscard]] std::string FormatVersionLine(WPARAM kind, const std::wstring& version);
// line: without its "\n". Nothing unless it is one of the lines above with every field in its range.
[[nodiscard]] std::optional<JobLine> ParseJobLine(std::string_view line);
