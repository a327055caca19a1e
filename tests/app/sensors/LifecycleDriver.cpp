// Runs the sensor server lifecycle in a fresh process, so that the process-wide attempt counter starts at 0
// and the system version is the one wine reports for this executable.
//
//   LifecycleDriver.exe version
//       exit code 1 when IsWindows10OrLater, else 0
//   LifecycleDriver.exe stop
//       StopSensorServer with this folder as the program folder; exit code 1 when it returned true, else 0
//   LifecycleDriver.exe ticks N unmapped|zero|nan|live
//       calls the watchdog tick N times with no snapshot, or one whose liveness value is 0, NaN or 1; after
//       each tick it waits (at most 10 s) until no server process runs any more, so the servers start and
//       finish in tick order. Exit code: the first tick that asked to kill the timer (1-based), 0 if none,
//       100 when a server did not finish, 101 on bad arguments.

#include "sensors/SensorServer.h"

#include "ServerProcesses.h"
#include "Wait.h"

#include <cstring>
#include <cwchar>
#include <limits>

namespace {

bool WaitUntilNoServerRuns() {
    return testing_support::WaitUntil([] { return testing_support::ServerLikeProcesses().empty(); });
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wcscmp(argv[1], L"version") == 0) {
        return IsWindows10OrLater() ? 1 : 0;
    }
    if (argc == 2 && std::wcscmp(argv[1], L"stop") == 0) {
        return StopSensorServer() ? 1 : 0;
    }
    if (argc != 4 || std::wcscmp(argv[1], L"ticks") != 0) {
        return 101;
    }
    const int ticks = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
    SensorSnapshot snapshot{};
    const SensorSnapshot* mapped = &snapshot;
    float liveness = 0.0f;
    if (std::wcscmp(argv[3], L"unmapped") == 0) {
        mapped = nullptr;
    } else if (std::wcscmp(argv[3], L"nan") == 0) {
        liveness = std::numeric_limits<float>::quiet_NaN();
    } else if (std::wcscmp(argv[3], L"live") == 0) {
        liveness = 1.0f;
    } else if (std::wcscmp(argv[3], L"zero") != 0) {
        return 101;
    }
    std::memcpy(snapshot.bytes + kLivenessOffset, &liveness, sizeof(liveness));

    int firstKill = 0;
    for (int tick = 1; tick <= ticks; ++tick) {
        if (SensorWatchdogTick(mapped) && firstKill == 0) {
            firstKill = tick;
        }
        if (!WaitUntilNoServerRuns()) {
            return 100;
        }
    }
    return firstKill;
}
