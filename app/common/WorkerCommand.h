#pragma once

// The commands the main window queues for its worker thread. The worker performs the rescan itself and hands
// the update commands to the update work, which passes them on to its job process by number
// (UpdateJobWire.h): the numbers are part of that exchange.

enum class WorkerCommand : int {
    kRescan = 1,            // rescan the displays, map the sensor snapshot
    kSoftwareCheck = 5,     // software update check at start-up
    kFirmwareCheck = 6,     // firmware update check at start-up
    kSoftwareDownload = 7,  // the user accepted the software update
    kFirmwareDownload = 8,  // the user accepted the firmware update
};
