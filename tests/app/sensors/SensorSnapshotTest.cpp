#include "sensors/SensorSnapshot.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

using testing_support::Quote;
using testing_support::RunProcess;
using testing_support::TestDir;

namespace {

std::wstring Writer() {
    return Quote(TestDir() + L"SensorWriter.exe");
}

// Runs the writer and keeps it holding the block until the returned guard is released.
class HeldWriter {
  public:
    explicit HeldWriter(const std::wstring& args) {
        static int serial = 0;
        name_ =
            L"snapshot_test_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++serial);
        ready_.reset(::CreateEventW(nullptr, TRUE, FALSE, (name_ + L"_ready").c_str()));
        done_.reset(::CreateEventW(nullptr, TRUE, FALSE, (name_ + L"_done").c_str()));
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        std::wstring cmd = Writer() + L" --hold " + name_ + L" " + args;
        PROCESS_INFORMATION pi{};
        if (::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            process_.reset(pi.hProcess);
            const UniqueHandle thread(pi.hThread);
        }
    }
    bool WaitReady() { return process_ && ::WaitForSingleObject(ready_.get(), 20000) == WAIT_OBJECT_0; }
    ~HeldWriter() {
        ::SetEvent(done_.get());
        if (process_) {
            ::WaitForSingleObject(process_.get(), 20000);
        }
    }

  private:
    std::wstring name_;
    UniqueHandle ready_;
    UniqueHandle done_;
    UniqueHandle process_;
};

// The server creates the block first; the program opens it and reads what was written.
TEST(SensorSnapshot, ReadsValuesOfABlockThatAnotherProcessCreated) {
    HeldWriter writer(L"152=45.9 132=-0.5 156=nan");
    ASSERT_TRUE(writer.WaitReady());
    const SensorSnapshotView m = MapSensorSnapshot();
    ASSERT_TRUE(m);
    ASSERT_NE(m.Get(), nullptr);
    EXPECT_EQ(SnapshotCpuTemperature(*m.Get()), 45);
    EXPECT_EQ(SnapshotSecondReading(*m.Get()), 0);
    EXPECT_TRUE(std::isnan(SnapshotLiveness(*m.Get())));
}

// The program creates the block first (zero-filled) and sees the server's values as soon as it writes them.
TEST(SensorSnapshot, BlockCreatedByTheProgramReadsZerosThenTheServersValues) {
    const SensorSnapshotView m = MapSensorSnapshot();
    ASSERT_TRUE(m);
    EXPECT_EQ(SnapshotCpuTemperature(*m.Get()), 0);
    EXPECT_EQ(SnapshotSecondReading(*m.Get()), 0);
    EXPECT_EQ(SnapshotLiveness(*m.Get()), 0.0f);

    auto r = RunProcess(Writer() + L" 152=1e30 132=-1e30 156=1.5");
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.exitCode, 0u);
    EXPECT_EQ(SnapshotCpuTemperature(*m.Get()), INT_MAX);
    EXPECT_EQ(SnapshotSecondReading(*m.Get()), INT_MIN);
    EXPECT_EQ(SnapshotLiveness(*m.Get()), 1.5f);

    r = RunProcess(Writer() + L" 152=inf 132=-inf 156=0");
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(SnapshotCpuTemperature(*m.Get()), INT_MAX);
    EXPECT_EQ(SnapshotSecondReading(*m.Get()), INT_MIN);
    EXPECT_EQ(SnapshotLiveness(*m.Get()), 0.0f);
}

// The view is read-only: the program can never write into the server's block.
TEST(SensorSnapshot, ViewIsReadOnly) {
    const SensorSnapshotView m = MapSensorSnapshot();
    ASSERT_TRUE(m);
    MEMORY_BASIC_INFORMATION info{};
    ASSERT_NE(::VirtualQuery(m.Get(), &info, sizeof(info)), 0u);
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READONLY));
}

// Someone else created a block under the same name with only 100 bytes. Windows keeps the section's exact
// size and the block is refused; wine rounds sections up to whole pages, and then all 772 bytes lie inside
// the mapped, zero-filled page. Either way nothing is read past the end of the mapped memory.
TEST(SensorSnapshot, SmallerExistingBlockIsNeverReadPastItsEnd) {
    HeldWriter writer(L"--size 100 0=1");
    ASSERT_TRUE(writer.WaitReady());

    const SensorSnapshotView m = MapSensorSnapshot();
    if (m) {
        MEMORY_BASIC_INFORMATION info{};
        ASSERT_NE(::VirtualQuery(m.Get(), &info, sizeof(info)), 0u);
        EXPECT_GE(info.RegionSize, kSensorBlockSize);
        EXPECT_EQ(SnapshotCpuTemperature(*m.Get()), 0);
    } else {
        EXPECT_EQ(m.Get(), nullptr);
    }
}

}  // namespace
