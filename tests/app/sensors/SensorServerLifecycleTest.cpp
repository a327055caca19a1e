#include "sensors/SensorServer.h"

#include "LineCollector.h"
#include "ServerProcesses.h"
#include "TempFolder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using testing_support::CopyFileTo;
using testing_support::LineCollector;
using testing_support::Quote;
using testing_support::ReadFileBytes;
using testing_support::RunProcess;
using testing_support::ServerLikeProcesses;
using testing_support::TempFolder;
using testing_support::TestDir;

namespace {

// A copy of the harmless probe under a server-like name, waiting until terminated (or 30 s).
class WaitingProbe {
  public:
    explicit WaitingProbe(const std::wstring& exePath) {
        if (!CopyFileTo(TestDir() + L"ServerProbe.exe", exePath)) {
            return;
        }
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        std::wstring cmd = Quote(exePath) + L" --wait 30000";
        ::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_);
    }
    ~WaitingProbe() {
        if (pi_.hProcess) {
            ::TerminateProcess(pi_.hProcess, 1);
            ::WaitForSingleObject(pi_.hProcess, 10000);
            ::CloseHandle(pi_.hThread);
            ::CloseHandle(pi_.hProcess);
        }
    }
    WaitingProbe(const WaitingProbe&) = delete;
    WaitingProbe& operator=(const WaitingProbe&) = delete;
    [[nodiscard]] bool started() const { return pi_.hProcess != nullptr; }
    [[nodiscard]] DWORD id() const { return pi_.dwProcessId; }
    // True when the probe ended within timeoutMs with the exit code of a termination (0).
    [[nodiscard]] bool WasTerminated(DWORD timeoutMs) const {
        DWORD code = 1;
        return ::WaitForSingleObject(pi_.hProcess, timeoutMs) == WAIT_OBJECT_0 &&
               ::GetExitCodeProcess(pi_.hProcess, &code) && code == 0;
    }
    [[nodiscard]] bool StillRuns() const { return ::WaitForSingleObject(pi_.hProcess, 300) == WAIT_TIMEOUT; }

  private:
    PROCESS_INFORMATION pi_{};
};

TEST(StopSensorServer, WithNoServerRunningStillReturnsTrueAndSparesSimilarNames) {
    ASSERT_TRUE(ServerLikeProcesses().empty());
    TempFolder folder(L"calidra stop");
    WaitingProbe nearMiss(folder.path() + L"OpenTermivoxServer2.exe");
    ASSERT_TRUE(nearMiss.started());

    EXPECT_TRUE(StopSensorServer());
    EXPECT_TRUE(nearMiss.StillRuns());
}

TEST(StopSensorServer, TerminatesAServerWhoseNameDiffersOnlyInLetterCase) {
    TempFolder folder(L"calidra stop");
    WaitingProbe server(folder.path() + L"openTermivoxServer.EXE");
    ASSERT_TRUE(server.started());

    EXPECT_TRUE(StopSensorServer());
    EXPECT_TRUE(server.WasTerminated(10000));
    EXPECT_TRUE(ServerLikeProcesses().empty());
}

// Only the first server in the system's process list goes; the next call takes the other.
TEST(StopSensorServer, TerminatesOnlyTheFirstOfTwoServers) {
    TempFolder folder(L"calidra stop");
    WaitingProbe a(folder.path() + L"a\\openTermivoxServer.EXE");
    WaitingProbe b(folder.path() + L"b\\OPENTERMIVOXSERVER.exe");
    ASSERT_TRUE(a.started());
    ASSERT_TRUE(b.started());
    const std::vector<DWORD> listed = ServerLikeProcesses();
    ASSERT_EQ(listed.size(), 2u);
    const WaitingProbe& first = listed[0] == a.id() ? a : b;
    const WaitingProbe& second = listed[0] == a.id() ? b : a;

    EXPECT_TRUE(StopSensorServer());
    EXPECT_TRUE(first.WasTerminated(10000));
    EXPECT_TRUE(second.StillRuns());

    EXPECT_TRUE(StopSensorServer());
    EXPECT_TRUE(second.WasTerminated(10000));
}

// --- the Windows version probe ------------------------------------------------------------------------

std::vector<std::wstring> ProbeErrors(const wchar_t* library, const char* function, bool* result) {
    LineCollector errors;
    *result = IsNtMajorVersion10OrLater(library, function, errors);
    return errors.lines;
}

using Lines = std::vector<std::wstring>;

TEST(IsWindows10OrLater, ReportsEachOfItsTwoFailuresInOneLine) {
    bool result = true;
    EXPECT_EQ(ProbeErrors(L"no-such-library.dll", "RtlGetNtVersionNumbers", &result),
              Lines{L"\u65e0\u6cd5\u52a0\u8f7d ntdll.dll"});  // "无法加载 ntdll.dll"
    EXPECT_FALSE(result);

    result = true;
    EXPECT_EQ(ProbeErrors(L"kernel32.dll", "RtlGetNtVersionNumbers", &result),
              Lines{L"\u65e0\u6cd5\u83b7\u53d6 RtlGetNtVersionNumbers "
                    L"\u51fd\u6570\u7684\u5730\u5740"});  // "无法获取 RtlGetNtVersionNumbers 函数的地址"
    EXPECT_FALSE(result);
}

// Which version the prefix reports is set per executable (see the watchdog tests below).
TEST(IsWindows10OrLater, ReadsTheVersionFromNtdllSilently) {
    bool result = false;
    EXPECT_EQ(ProbeErrors(L"ntdll.dll", "RtlGetNtVersionNumbers", &result), Lines{});
    EXPECT_EQ(result, IsWindows10OrLater());
}

TEST(SensorServerPath, FollowsTheAttemptAndTheVersionWithTheDoubledBackslash) {
    const std::wstring folder = GetProgramFolder();
    EXPECT_EQ(folder, TestDir());
    const std::wstring win10 = folder + L"\\Termivox\\OpenTermivoxServer.exe";
    const std::wstring older = folder + L"\\TermivoxWin7\\OpenTermivoxServer.exe";
    EXPECT_NE(win10.find(L"\\\\Termivox\\"), std::wstring::npos);
    EXPECT_EQ(SensorServerPath(0, true), win10);
    EXPECT_EQ(SensorServerPath(7, true), win10);
    EXPECT_EQ(SensorServerPath(-1, true), win10);
    EXPECT_EQ(SensorServerPath(8, true), older);
    EXPECT_EQ(SensorServerPath(11, true), older);
    EXPECT_EQ(SensorServerPath(0, false), older);
}

// --- the watchdog, driven in a fresh process with probe servers ----------------------------------------

// A program folder whose name has a space: the driver beside probe copies in Termivox\ and TermivoxWin7\,
// and a decoy "launch.exe" where an unquoted command line would look first.
class LaunchFolder {
  public:
    LaunchFolder() : root_(L"calidra watchdog"), app_(root_.path() + L"launch test\\") {
        ok_ = CopyFileTo(TestDir() + L"LifecycleDriver.exe", app_ + L"LifecycleDriver.exe") &&
              CopyFileTo(TestDir() + L"ServerProbe.exe", app_ + L"Termivox\\OpenTermivoxServer.exe") &&
              CopyFileTo(TestDir() + L"ServerProbe.exe", app_ + L"TermivoxWin7\\OpenTermivoxServer.exe") &&
              CopyFileTo(TestDir() + L"ServerProbe.exe", root_.path() + L"launch.exe");
        ::SetEnvironmentVariableW(L"CALIDRA_PROBE_LOG", log().c_str());
    }
    ~LaunchFolder() { ::SetEnvironmentVariableW(L"CALIDRA_PROBE_LOG", nullptr); }

    [[nodiscard]] bool ok() const { return ok_; }
    [[nodiscard]] std::wstring log() const { return root_.path() + L"started.log"; }

    // The command lines the probes recorded, in order.
    [[nodiscard]] std::vector<std::wstring> Started() const {
        const std::string bytes = ReadFileBytes(log());
        std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
        std::vector<std::wstring> lines;
        for (size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
    [[nodiscard]] std::wstring Win10Server() const {
        return L"\"" + app_ + L"\\Termivox\\OpenTermivoxServer.exe\"";
    }
    [[nodiscard]] std::wstring OlderServer() const {
        return L"\"" + app_ + L"\\TermivoxWin7\\OpenTermivoxServer.exe\"";
    }
    [[nodiscard]] int Driver(const std::wstring& args) const {
        const auto r = RunProcess(Quote(app_ + L"LifecycleDriver.exe") + L" " + args, 60000);
        return r.finished ? static_cast<int>(r.exitCode) : -1;
    }

  private:
    TempFolder root_;
    std::wstring app_;
    bool ok_ = false;
};

// Wine reports the Windows version per executable from HKCU\Software\Wine\AppDefaults\<exe>\Version (the
// prefix itself reports Windows 7 here); the guard sets it for the driver only and puts back what was there.
class DriverReportsVersion {
  public:
    explicit DriverReportsVersion(const std::wstring& version) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                          &disposition_);
        if (!key_) {
            return;
        }
        DWORD size = sizeof(previous_);
        hadValue_ = ::RegQueryValueExW(key_, L"Version", nullptr, nullptr, reinterpret_cast<BYTE*>(previous_),
                                       &size) == ERROR_SUCCESS;
        previousSize_ = size;
        ok_ = ::RegSetValueExW(key_, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                               static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    ~DriverReportsVersion() {
        if (!key_) {
            return;
        }
        if (hadValue_) {
            ::RegSetValueExW(key_, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(previous_),
                             previousSize_);
        } else {
            ::RegDeleteValueW(key_, L"Version");
        }
        ::RegCloseKey(key_);
        if (disposition_ == REG_CREATED_NEW_KEY) {
            ::RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
        }
    }
    DriverReportsVersion(const DriverReportsVersion&) = delete;
    DriverReportsVersion& operator=(const DriverReportsVersion&) = delete;
    [[nodiscard]] bool ok() const { return ok_; }

  private:
    static constexpr wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\LifecycleDriver.exe";
    HKEY key_ = nullptr;
    DWORD disposition_ = 0;
    bool hadValue_ = false;
    wchar_t previous_[64] = {};
    DWORD previousSize_ = 0;
    bool ok_ = false;
};

// With the server never delivering, ticks 1 to 8 start the Windows 10 build and 9 to 12 the older one; the
// 12th tick ends the watchdog.
TEST(SensorWatchdogTick, OnWindows10StartsTheNewBuildThenFallsBackFromTheNinthTick) {
    DriverReportsVersion win10(L"win10");
    ASSERT_TRUE(win10.ok());
    LaunchFolder folder;
    ASSERT_TRUE(folder.ok());
    EXPECT_EQ(folder.Driver(L"version"), 1);
    EXPECT_EQ(folder.Driver(L"ticks 12 zero"), 12);

    std::vector<std::wstring> expected(8, folder.Win10Server());
    expected.insert(expected.end(), 4, folder.OlderServer());
    EXPECT_EQ(folder.Started(), expected);  // the decoy launch.exe never ran
}

TEST(SensorWatchdogTick, OnOlderWindowsAlwaysStartsTheOlderBuild) {
    DriverReportsVersion win7(L"win7");
    ASSERT_TRUE(win7.ok());
    LaunchFolder folder;
    ASSERT_TRUE(folder.ok());
    EXPECT_EQ(folder.Driver(L"version"), 0);
    EXPECT_EQ(folder.Driver(L"ticks 12 zero"), 12);
    EXPECT_EQ(folder.Started(), std::vector<std::wstring>(12, folder.OlderServer()));
}

// Readings flowing, a NaN liveness value, or a block not mapped yet: nothing is started, and the 12th tick
// still ends the watchdog (never an earlier one).
TEST(SensorWatchdogTick, StartsNothingUnlessTheLivenessIsZeroAndEndsOnTheTwelfthTick) {
    DriverReportsVersion win10(L"win10");
    ASSERT_TRUE(win10.ok());
    LaunchFolder folder;
    ASSERT_TRUE(folder.ok());
    EXPECT_EQ(folder.Driver(L"version"), 1);
    EXPECT_EQ(folder.Driver(L"ticks 12 live"), 12);
    EXPECT_EQ(folder.Driver(L"ticks 12 nan"), 12);
    EXPECT_EQ(folder.Driver(L"ticks 12 unmapped"), 12);
    EXPECT_EQ(folder.Driver(L"ticks 11 zero"), 0);
    std::vector<std::wstring> expected(8, folder.Win10Server());
    expected.insert(expected.end(), 3, folder.OlderServer());
    EXPECT_EQ(folder.Started(), expected);
}

}  // namespace
