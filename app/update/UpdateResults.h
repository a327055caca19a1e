#pragma once

// What the update work reports: the wParam of kUpdateResultMessage (WindowMessages.h), which the update job
// process also sends to the program by number (UpdateJobWire.h).

#include <windows.h>

// lParam 1: the server has newer software (LatestVersion).
inline constexpr WPARAM kUpdateSoftware = 1;
// lParam 1: the server has newer display firmware (LatestVersion).
inline constexpr WPARAM kUpdateFirmware = 2;
// The accepted update's installer runs: time to end.
inline constexpr WPARAM kUpdateInstallerStarted = 3;
// lParam kUpdateSoftware or kUpdateFirmware: that update could not be installed.
inline constexpr WPARAM kUpdateNotInstalled = 4;
