// The sensor server as a separate process: what it publishes in the shared block, read back here, and how
// the watchdog brings it back.

#include "sensors/SensorServer.h"
#include "sensors/SensorSnapshot.h"

#include "ServerProcesses.h"
#include "TempFolder.h"
#include "TestSupport.h"
#include "Wait.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <utility>

using testing_support::CopyFileTo;
using testing_support::OutDir;
using testing_support::Quote;
using testing_support::ReadFileBytes;
using testing_support::RunProcess;
using testing_support::TempFolder;
using testing_support::TestDir;
using testing_support::WaitUntil;
using testing_support::WriteFileBytes;

namespace {

size_t ServerProcessCount() {
    return testing_support::ServerLikeProcesses().size();
}

// The block as a reader in another process sees it; the test may also clear it while it holds it.
class TestBlock {
  public:
    TestBlock() {
        section_.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            kSensorBlockSize, kSensorBlockName));
        if (section_) {
            mapping_.reset(::MapViewOfFile(section_.get(), FILE_MAP_WRITE, 0, 0, kSensorBlockSize));
            view_ = static_cast<unsigned char*>(mapping_.get());
        }
    }

    [[nodiscard]] bool ok() const { return view_ != nullptr; }
    void Clear() { std::memset(view_, 0, kSensorBlockSize); }
    [[nodiscard]] const SensorSnapshot* snapshot() const {
        return reinterpret_cast<const SensorSnapshot*>(view_);
    }
    [[nodiscard]] const unsigned char* bytes() const { return view_; }
    [[nodiscard]] float Read(size_t offset) const { return ReadSnapshotFloat(*snapshot(), offset); }
    [[nodiscard]] float Liveness() const { return Read(kLivenessOffset); }

    struct Sample {
        float liveness;
        float temperature;
        float second;
    };
    // The three values of one publication: the liveness value is the same before and after reading them.
    [[nodiscard]] bool ReadSample(Sample* s) const {
        s->liveness = Liveness();
        s->temperature = Read(kCpuTemperatureOffset);
        s->second = Read(kSecondReadingOffset);
        ::Sleep(1);
        return s->liveness > 0 && Liveness() == s->liveness;
    }

  private:
    UniqueHandle section_;
    UniqueMapView mapping_;
    unsigned char* view_ = nullptr;  // the mapping's bytes
};

// A copy of the server in a folder of its own, with its configuration and readings beside it.
class ServerFolder {
  public:
    ServerFolder() : folder_(L"calidra server") {
        ok_ = CopyFileTo(OutDir() + L"Termivox\\OpenTermivoxServer.exe", exe());
    }
    [[nodiscard]] bool ok() const { return ok_; }
    [[nodiscard]] std::wstring exe() const { return folder_.path() + L"Termivox\\OpenTermivoxServer.exe"; }
    [[nodiscard]] std::wstring path(const std::wstring& name) const { return folder_.path() + name; }
    [[nodiscard]] bool Write(const std::wstring& name, const std::string& text) const {
        return WriteFileBytes(path(name), text);
    }
    [[nodiscard]] bool Configure(const std::string& text) const {
        return Write(L"Termivox\\OpenTermivoxServer.ini", text);
    }

  private:
    TempFolder folder_;
    bool ok_ = false;
};

// A running server whose standard error goes to a file; terminated at the end of the scope.
class RunningServer : public testing_support::ChildProcess {
  public:
    RunningServer(const std::wstring& exe, const std::wstring& errorsPath)
        : ChildProcess(Quote(exe), errorsPath), errorsPath_(errorsPath) {}

    [[nodiscard]] std::string Errors() const { return ReadFileBytes(errorsPath_); }
    [[nodiscard]] bool SaysEventually(const std::string& text) const {
        return WaitUntil([&] { return Errors().find(text) != std::string::npos; });
    }

  private:
    std::wstring errorsPath_;
};

uint32_t LittleEndianWord(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

class SensorServerProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(ServerProcessCount(), 0u);
        ASSERT_TRUE(block_.ok());
        block_.Clear();
        ASSERT_TRUE(server_.ok());
    }
    // The scripted source replaying `csv` (feed.csv) every 50 ms.
    bool ConfigureScript(const std::string& csv) {
        return server_.Write(L"Termivox\\feed.csv", csv) &&
               server_.Configure("source = csv\ncsv = feed.csv\nperiod_ms = 50\n");
    }

    // Waits until `enough` holds for a published sample; it sees every sample read on the way.
    bool WaitForSample(const std::function<bool(const TestBlock::Sample&)>& enough) {
        return WaitUntil([&] {
            TestBlock::Sample s;
            return block_.ReadSample(&s) && enough(s);
        });
    }

    TestBlock block_;
    ServerFolder server_;
};

TEST_F(SensorServerProcess, PublishesLittleEndianFloat32AtTheAgreedOffsetsAndNothingElse) {
    ASSERT_TRUE(ConfigureScript("45.5,12.25\n"));
    RunningServer run(server_.exe(), server_.path(L"stderr.txt"));
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(WaitUntil([&] { return block_.Liveness() >= 2.0f; }));

    const unsigned char* b = block_.bytes();
    EXPECT_EQ(LittleEndianWord(b + 152), 0x42360000u);  // 45.5f
    EXPECT_EQ(LittleEndianWord(b + 132), 0x41440000u);  // 12.25f
    float liveness;
    const uint32_t bits = LittleEndianWord(b + 156);
    std::memcpy(&liveness, &bits, sizeof(liveness));
    EXPECT_GT(liveness, 0.0f);
    for (size_t i = 0; i < kSensorBlockSize; ++i) {
        if ((i < 132 || i >= 136) && (i < 152 || i >= 160)) {
            ASSERT_EQ(b[i], 0) << "byte " << i;
        }
    }
    EXPECT_TRUE(run.Runs());
}

// Publication n (the liveness value) carries row (n - 1) mod rows.
TEST_F(SensorServerProcess, ReplaysTheCsvRowsInOrderAndLoops) {
    ASSERT_TRUE(ConfigureScript("30,1\n31,2\n32,3\n"));
    RunningServer run(server_.exe(), server_.path(L"stderr.txt"));
    ASSERT_TRUE(run.started());

    std::set<int> rowsSeen;
    bool looped = false;
    ASSERT_TRUE(WaitForSample([&](const TestBlock::Sample& s) {
        const int row = (static_cast<int>(s.liveness) - 1) % 3;
        EXPECT_EQ(s.temperature, 30.0f + row) << "publication " << s.liveness;
        EXPECT_EQ(s.second, 1.0f + row) << "publication " << s.liveness;
        rowsSeen.insert(row);
        looped = looped || s.liveness > 3;
        return s.liveness >= 8;
    }));
    EXPECT_EQ(rowsSeen.size(), 3u);
    EXPECT_TRUE(looped);
    EXPECT_TRUE(run.SaysEventually("replaying 3 scripted readings"));
}

TEST_F(SensorServerProcess, SkipsAMalformedCsvLineWithAMessage) {
    ASSERT_TRUE(ConfigureScript("40,1\nforty,2\n\xff\xfe\n42,3\n"));
    RunningServer run(server_.exe(), server_.path(L"stderr.txt"));
    ASSERT_TRUE(run.started());

    ASSERT_TRUE(WaitForSample([&](const TestBlock::Sample& s) {
        EXPECT_EQ(s.temperature, static_cast<int>(s.liveness) % 2 == 1 ? 40.0f : 42.0f);
        return s.liveness >= 4;
    }));
    const std::string errors = run.Errors();
    EXPECT_NE(errors.find("csv line 2: expected two numbers (temperature, second reading), skipped: forty,2"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("csv line 3: expected two numbers (temperature, second reading), skipped: ??"),
              std::string::npos)
        << errors;
    EXPECT_TRUE(run.Runs());
}

// With no sensor to be had (an empty Linux /sys, and no WMI thermal zones under wine) the temperature is 0
// and the server says why; the load keeps coming.
TEST_F(SensorServerProcess, WithoutATemperatureSourceWritesZeroSaysWhyAndStillPublishesTheLoad) {
    ASSERT_TRUE(server_.Write(L"empty sys\\class\\readme.txt", "nothing here"));
    ASSERT_TRUE(server_.Configure("period_ms = 50\nsysfs = ..\\empty sys\n"));
    RunningServer run(server_.exe(), server_.path(L"stderr.txt"));
    ASSERT_TRUE(run.started());

    ASSERT_TRUE(WaitForSample([&](const TestBlock::Sample& s) {
        EXPECT_GE(s.second, 0.0f);
        EXPECT_LE(s.second, 100.0f);
        EXPECT_EQ(s.temperature, 0.0f);
        return s.liveness >= 5;
    }));
    EXPECT_TRUE(run.SaysEventually("no CPU temperature source: no CPU sensor in "));
    EXPECT_NE(run.Errors().find("WMI has no thermal-zone data"), std::string::npos) << run.Errors();
    EXPECT_NE(run.Errors().find("; writing 0 as the temperature"), std::string::npos) << run.Errors();
}

// A Linux /sys tree as wine shows it on Z:, faked in the test folder: the CPU package sensor of a CPU hwmon
// driver wins over a core sensor and over the thermal zones; without hwmon, x86_pkg_temp wins over acpitz.
TEST_F(SensorServerProcess, TakesTheBestLinuxCpuSensorUnderWine) {
    const std::pair<const wchar_t*, const char*> files[] = {
        {L"thermal\\thermal_zone0\\type", "acpitz\n"},
        {L"thermal\\thermal_zone0\\temp", "30000\n"},
        {L"thermal\\thermal_zone1\\type", "x86_pkg_temp\n"},
        {L"thermal\\thermal_zone1\\temp", "47500\n"},
        {L"thermal\\thermal_zone2\\type", "iwlwifi_1\n"},
        {L"thermal\\thermal_zone2\\temp", "99000\n"},
        {L"hwmon\\hwmon0\\name", "nvme\n"},
        {L"hwmon\\hwmon0\\temp1_input", "80000\n"},
        {L"hwmon\\hwmon1\\name", "coretemp\n"},
        {L"hwmon\\hwmon1\\temp1_input", "61000\n"},
        {L"hwmon\\hwmon1\\temp1_label", "Core 0\n"},
        {L"hwmon\\hwmon1\\temp2_input", "52000\n"},
        {L"hwmon\\hwmon1\\temp2_label", "Package id 0\n"},
    };
    for (const auto& [name, text] : files)
        ASSERT_TRUE(server_.Write(std::wstring(L"sys\\class\\") + name, text));
    ASSERT_TRUE(server_.Configure("period_ms = 50\nsysfs = ..\\sys\n"));
    {
        RunningServer run(server_.exe(), server_.path(L"stderr.txt"));
        ASSERT_TRUE(run.started());
        ASSERT_TRUE(WaitUntil([&] { return block_.Liveness() >= 2.0f; }));
        EXPECT_EQ(block_.Read(kCpuTemperatureOffset), 52.0f);
        EXPECT_TRUE(run.SaysEventually("CPU temperature from Linux hwmon coretemp (Package id 0)"));

        // The sensor is read every time: a new value shows up.
        ASSERT_TRUE(server_.Write(L"sys\\class\\hwmon\\hwmon1\\temp2_input", "55250\n"));
        EXPECT_TRUE(WaitUntil([&] { return block_.Read(kCpuTemperatureOffset) == 55.25f; }));
    }

    ASSERT_TRUE(server_.Write(L"sys\\class\\hwmon\\hwmon1\\name", "nouveau\n"));
    block_.Clear();
    RunningServer run(server_.exe(), server_.path(L"stderr2.txt"));
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(WaitUntil([&] { return block_.Liveness() >= 2.0f; }));
    EXPECT_EQ(block_.Read(kCpuTemperatureOffset), 47.5f);
    EXPECT_TRUE(run.SaysEventually("CPU temperature from Linux thermal zone x86_pkg_temp"));
}

// The program may start a copy while one runs; a killed server leaves a block the next one simply takes on.
TEST_F(SensorServerProcess, ASecondCopyDoesNoHarmAndAKilledOneIsFollowedCleanly) {
    ASSERT_TRUE(ConfigureScript("50,5\n"));
    RunningServer first(server_.exe(), server_.path(L"first.txt"));
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(WaitUntil([&] { return block_.Liveness() > 0.0f; }));

    RunningServer second(server_.exe(), server_.path(L"second.txt"));
    ASSERT_TRUE(second.started());
    EXPECT_EQ(second.ExitCode(10000), std::optional<DWORD>(0));
    EXPECT_NE(second.Errors().find("another copy is already running; this one ends"), std::string::npos);
    EXPECT_TRUE(first.Runs());
    const float before = block_.Liveness();
    EXPECT_TRUE(WaitUntil([&] { return block_.Liveness() > before; }));

    first.Terminate();
    EXPECT_EQ(block_.Read(kCpuTemperatureOffset), 50.0f);  // the last values stay readable
    ASSERT_TRUE(server_.Write(L"Termivox\\feed.csv", "60,6\n"));
    RunningServer third(server_.exe(), server_.path(L"third.txt"));
    ASSERT_TRUE(third.started());
    EXPECT_TRUE(WaitUntil([&] { return block_.Read(kCpuTemperatureOffset) == 60.0f; }));
    EXPECT_TRUE(third.Runs());
}

TEST_F(SensorServerProcess, AnOddConfigurationOrAMissingScriptOnlyGivesMessages) {
    std::string junk = "period_ms = 50\n[section]\nsource = csv\ncsv = missing.csv\n";
    for (int i = 0; i < 300; ++i) {
        junk += static_cast<char>(i % 256);
    }
    ASSERT_TRUE(server_.Configure(junk));
    RunningServer run(server_.exe(), server_.path(L"stderr.txt"));
    ASSERT_TRUE(run.started());
    EXPECT_TRUE(WaitUntil([&] { return block_.Liveness() >= 2.0f; }));
    const std::string errors = run.Errors();
    EXPECT_NE(errors.find("config line 2: expected key = value"), std::string::npos) << errors;
    EXPECT_NE(errors.find("missing.csv: not found"), std::string::npos) << errors;
    EXPECT_NE(errors.find("using the system's sensors instead of the script"), std::string::npos) << errors;
    EXPECT_TRUE(run.Runs());

    // Beyond 64 KiB the file is not read at all.
    run.Terminate();
    ASSERT_TRUE(server_.Configure(std::string(70000, '#')));
    RunningServer big(server_.exe(), server_.path(L"stderr2.txt"));
    ASSERT_TRUE(big.started());
    EXPECT_TRUE(big.SaysEventually("config: larger than 64 KiB, ignored"));
    EXPECT_TRUE(big.Runs());
}

// The watchdog as the main window's timer drives it, with the real server copied beside this test
// (Termivox\ and TermivoxWin7\ under the test folder).
TEST(SensorWatchdog, RestartsAServerKilledBeforeItDeliveredWithinItsTwelveTicks) {
    ASSERT_EQ(ServerProcessCount(), 0u);
    TestBlock block;  // mapped, as the program maps it, and still empty
    ASSERT_TRUE(block.ok());
    block.Clear();
    // The configuration beside the test's server copy lives only for this test.
    struct ConfigFile {
        std::wstring path = TestDir() + L"Termivox\\OpenTermivoxServer.ini";
        ConfigFile() { ::DeleteFileW(path.c_str()); }
        ~ConfigFile() { ::DeleteFileW(path.c_str()); }
    } configFile;
    const std::wstring& config = configFile.path;
    int ticks = 0;
    bool ended = false;
    const auto tick = [&] {
        ++ticks;
        ended = SensorWatchdogTick(block.snapshot());
    };

    // A server that would deliver only after 10 s, killed long before.
    ASSERT_TRUE(WriteFileBytes(config, "period_ms = 10000\n"));
    tick();
    EXPECT_EQ(ServerProcessCount(), 1u);
    EXPECT_TRUE(StopSensorServer());
    ASSERT_TRUE(WaitUntil([] { return ServerProcessCount() == 0; }));
    ::DeleteFileW(config.c_str());
    EXPECT_EQ(block.Liveness(), 0.0f);

    tick();
    EXPECT_EQ(ServerProcessCount(), 1u);
    ASSERT_TRUE(WaitUntil([&] { return block.Liveness() > 0.0f; }));

    // Killed after it delivered, the server leaves its last liveness value in the block, which the watchdog
    // cannot tell from a running one: nothing is started.
    EXPECT_TRUE(StopSensorServer());
    ASSERT_TRUE(WaitUntil([] { return ServerProcessCount() == 0; }));
    tick();
    EXPECT_EQ(ServerProcessCount(), 0u);

    // Another process clears the value (the block writer stands in for a server that never got going).
    const auto r = RunProcess(Quote(TestDir() + L"SensorWriter.exe") + L" 156=0");
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.exitCode, 0u);
    tick();
    EXPECT_EQ(ServerProcessCount(), 1u);
    EXPECT_TRUE(WaitUntil([&] { return block.Liveness() > 0.0f; }));

    while (!ended && ticks < 20) {
        tick();
    }
    EXPECT_EQ(ticks, 12);
    EXPECT_EQ(ServerProcessCount(), 1u);
    EXPECT_TRUE(StopSensorServer());
    EXPECT_TRUE(WaitUntil([] { return ServerProcessCount() == 0; }));
}

}  // namespace
