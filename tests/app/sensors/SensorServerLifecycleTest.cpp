#include "sensors/SensorServer.h"

#include "common/ProgramFolder.h"

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
class WaitingProbe : public testing_support::ChildProcess {
  public:
    explicit WaitingProbe(const std::wstring& exePath)
        : ChildProcess(CopyFileTo(TestDir() + L"ServerProbe.exe", exePath) ? Quote(exePath) + L" --wait 30000"
                                                                           : std::wstring()) {}
    // True when the probe ended within timeoutMs with the exit code of a termination (0).
    [[nodiscard]] bool WasTerminated(DWORD timeoutMs) const {
        return ExitCode(timeoutMs) == std::optional<DWORD>(0);
    }
    [[nodiscard]] bool StillRuns() const { return Runs(300); }
};

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
    [[nodiscard]] const std::wstring& Root() const { return root_.path(); }
    // The driver's program folder, with a trailing backslash.
    [[nodiscard]] const std::wstring& App() const { return app_; }

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
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(),
                          &disposition_);
        if (!key_) {
            return;
        }
        DWORD size = sizeof(previous_);
        hadValue_ = ::RegQueryValueExW(key_.get(), L"Version", nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(previous_), &size) == ERROR_SUCCESS;
        previousSize_ = size;
        ok_ = ::RegSetValueExW(key_.get(), L"Version", 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(version.c_str()),
                               static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    ~DriverReportsVersion() {
        if (!key_) {
            return;
        }
        if (hadValue_) {
            ::RegSetValueExW(key_.get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(previous_),
                             previousSize_);
        } else {
            ::RegDeleteValueW(key_.get(), L"Version");
        }
        key_.reset();
        if (disposition_ == REG_CREATED_NEW_KEY) {
            ::RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
        }
    }
    DriverReportsVersion(const DriverReportsVersion&) = delete;
    DriverReportsVersion& operator=(const DriverReportsVersion&) = delete;
    [[nodiscard]] bool ok() const { return ok_; }

  private:
    static constexpr wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\LifecycleDriver.exe";
    UniqueHKey key_;
    DWORD disposition_ = 0;
    bool hadValue_ = false;
    wchar_t previous_[64] = {};
    DWORD previousSize_ = 0;
    bool ok_ = false;
};

// The driver's Windows version set to win10 or win7, and a fresh launch folder.
struct WatchdogRun {
    explicit WatchdogRun(const wchar_t* windows) : version(windows) {}
    [[nodiscard]] bool ok() const { return version.ok() && folder.ok(); }

    DriverReportsVersion version;
    LaunchFolder folder;
};

// --- stopping the server, driven in a fresh process whose program folder holds probe servers --------------

// Only one of the program's own two server paths, in its session, is ended: a process of the same name from
// any other folder is left alone, however often the program stops its server.
TEST(StopSensorServer, EndsItsOwnServerAndNeverADecoyOfTheSameNameElsewhere) {
    LaunchFolder folder;
    ASSERT_TRUE(folder.ok());
    WaitingProbe decoy(folder.Root() + L"elsewhere\\OpenTermivoxServer.exe");
    WaitingProbe nearMiss(folder.Root() + L"OpenTermivoxServer2.exe");
    WaitingProbe own(folder.App() + L"Termivox\\OpenTermivoxServer.exe");
    ASSERT_TRUE(decoy.started() && nearMiss.started() && own.started());

    EXPECT_EQ(folder.Driver(L"stop"), 1);
    EXPECT_TRUE(own.WasTerminated(10000));
    EXPECT_EQ(folder.Driver(L"stop"), 1);
    EXPECT_TRUE(decoy.StillRuns());
    EXPECT_TRUE(nearMiss.StillRuns());
}

// Letter case does not count; only the first of two own servers goes, and the next stop takes the other.
TEST(StopSensorServer, EndsTheFirstOwnServerWhateverTheLetterCase) {
    LaunchFolder folder;
    ASSERT_TRUE(folder.ok());
    WaitingProbe a(folder.App() + L"termivox\\openTermivoxServer.EXE");
    WaitingProbe b(folder.App() + L"TermivoxWin7\\OPENTERMIVOXSERVER.exe");
    ASSERT_TRUE(a.started() && b.started());
    const std::vector<DWORD> listed = ServerLikeProcesses();
    ASSERT_EQ(listed.size(), 2u);
    const WaitingProbe& first = listed[0] == a.id() ? a : b;
    const WaitingProbe& second = listed[0] == a.id() ? b : a;

    EXPECT_EQ(folder.Driver(L"stop"), 1);
    EXPECT_TRUE(first.WasTerminated(10000));
    EXPECT_TRUE(second.StillRuns());
    EXPECT_EQ(folder.Driver(L"stop"), 1);
    EXPECT_TRUE(second.WasTerminated(10000));
}

TEST(StopSensorServer, KnowsItsOwnServerByImagePathAndSession) {
    const std::wstring win10 = L"C:\\Program Files\\Calidra\\\\Termivox\\OpenTermivoxServer.exe";
    const std::wstring older = L"C:\\Program Files\\Calidra\\\\TermivoxWin7\\OpenTermivoxServer.exe";
    const struct {
        const wchar_t* image;
        DWORD session;
        bool own;
    } cases[] = {
        {L"C:\\Program Files\\Calidra\\Termivox\\OpenTermivoxServer.exe", 1, true},
        {L"c:\\program files\\calidra\\TERMIVOXWIN7\\opentermivoxserver.exe", 1, true},
        {L"C:\\Program Files\\Calidra\\Termivox\\OpenTermivoxServer.exe", 2, false},
        {L"C:\\Users\\u\\Downloads\\OpenTermivoxServer.exe", 1, false},
        {L"C:\\Program Files\\Calidra\\OpenTermivoxServer.exe", 1, false},
        {L"", 1, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsOwnSensorServer(c.image, c.session, 1, win10, older), c.own)
            << c.image << " " << c.session;
    }
}

// With the server never delivering, Windows 10 starts the new build on ticks 1 to 8 and the older one on 9
// to 12; older Windows always starts the older build. The 12th tick ends the watchdog.
TEST(SensorWatchdogTick, StartsTheBuildOfTheWindowsVersionAndFallsBackFromTheNinthTick) {
    struct Case {
        const wchar_t* version;
        int isWindows10;
        size_t newBuildTicks;
    };
    for (const Case& c : {Case{L"win10", 1, 8}, Case{L"win7", 0, 0}}) {
        SCOPED_TRACE(testing::Message() << c.isWindows10);
        WatchdogRun run(c.version);
        ASSERT_TRUE(run.ok());
        EXPECT_EQ(run.folder.Driver(L"version"), c.isWindows10);
        EXPECT_EQ(run.folder.Driver(L"ticks 12 zero"), 12);
        std::vector<std::wstring> expected(c.newBuildTicks, run.folder.Win10Server());
        expected.insert(expected.end(), 12 - c.newBuildTicks, run.folder.OlderServer());
        EXPECT_EQ(run.folder.Started(), expected);  // the decoy launch.exe never ran
    }
}

// Readings flowing, a NaN liveness value, or a block not mapped yet: nothing is started, and the 12th tick
// still ends the watchdog (never an earlier one).
TEST(SensorWatchdogTick, StartsNothingUnlessTheLivenessIsZeroAndEndsOnTheTwelfthTick) {
    WatchdogRun run(L"win10");
    ASSERT_TRUE(run.ok());
    LaunchFolder& folder = run.folder;
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
