#pragma once

// What the stand-in for the update job process (UpdateJobStandIn.cpp, installed as CalidraUpdate.exe in a
// folder of its own) writes to the program's pipe. It plays the row its request's firmware number names.

#include <windows.h>

#include <string>

enum StandInRow : int {
    kWellFormed,      // "1.0.0.6\n" found and offered
    kSentinel,        // progress kSentinelProgress only: every job before it has been read to its end
    kLineTooLong,     // an offer whose line runs past the limit, then a sound offer
    kUnknownResult,   // a result no job may report, then a sound offer
    kTooLongVersion,  // a version of 11 characters, then a sound offer
    kBrokenHex,       // a version that is no hexadecimal, then a sound offer
    kTooManyLines,    // five progress lines, then a sound offer
    kHangs,           // progress: its process id, then it waits for ever and ignores the cancel
    kWaitsForCancel,  // progress: its process id, then it ends when the program cancels it
    kEchoesVersion,   // offers firmware with the version its request brought
    kSetsCancel,      // sets the event its request names as the cancel event, if it holds that handle
};

// The folder beside the running tests that holds the stand-in as CalidraUpdate.exe.
inline std::wstring StandInFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring self(path);
    return self.substr(0, self.find_last_of(L'\\') + 1) + L"update_job_stand_in\\";
}

inline constexpr int kSentinelProgress = 424242;
