// Device-change handling and the system side of hot-plug, with the hidapi.dll of the output folder (which
// finds no display here).

#include "display/DisplayLink.h"
#include "display/DisplayManager.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A DEV_BROADCAST_DEVICEINTERFACE_W carrying name; sizeField overrides the size field when not 0.
std::vector<unsigned char> MakeBroadcast(const std::wstring& name, DWORD sizeField = 0) {
    const size_t size =
        offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * sizeof(wchar_t);
    std::vector<unsigned char> buffer(size, 0);
    auto* b = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(buffer.data());
    b->dbcc_size = sizeField ? sizeField : static_cast<DWORD>(size);
    b->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    std::memcpy(b->dbcc_name, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    return buffer;
}

LPARAM AsParam(std::vector<unsigned char>& buffer) {
    return reinterpret_cast<LPARAM>(buffer.data());
}

const std::wstring kK1Hid =
    L"\\\\?\\HID#VID_1A2C&PID_4C84&MI_00#8&2b1d4c84&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const std::wstring kK2LowerHid =
    L"\\\\?\\hid#vid_1a2c&pid_4d84&mi_00#8&2b1d4d84&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const std::wstring kOtherHid =
    L"\\\\?\\hid#vid_1209&pid_0001#7&1f3e5a6b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

TEST(DeviceChange, ArrivalOfADisplayInterfaceQueuesARescan) {
    DisplayLink link;
    auto k1 = MakeBroadcast(kK1Hid);
    EXPECT_TRUE(link.OnDeviceChange(DBT_DEVICEARRIVAL, AsParam(k1)));
    // The interface cannot be probed (it is not a file here), so the arrival queues the one rescan.
    EXPECT_EQ(link.Queue().Size(), 1u);
    EXPECT_EQ(link.Queue().Pop(), WorkerCommand::kRescan);

    // Identifiers in lower case still match, as the name is compared in upper case.
    auto k2 = MakeBroadcast(kK2LowerHid);
    link.OnDeviceChange(DBT_DEVICEARRIVAL, AsParam(k2));
    EXPECT_EQ(link.Queue().Size(), 1u);

    auto other = MakeBroadcast(kOtherHid);
    EXPECT_FALSE(link.OnDeviceChange(DBT_DEVICEARRIVAL, AsParam(other)));
    EXPECT_EQ(link.Queue().Size(), 1u);
}

TEST(DeviceChange, RemovalClearsPresentAtOnceAndQueuesARescan) {
    DisplayLink link;
    link.Facts().present = 1;
    auto other = MakeBroadcast(kOtherHid);
    link.OnDeviceChange(DBT_DEVICEREMOVECOMPLETE, AsParam(other));
    EXPECT_EQ(link.Facts().present.load(), 1);
    EXPECT_EQ(link.Queue().Size(), 0u);

    auto k2 = MakeBroadcast(kK2LowerHid);
    link.OnDeviceChange(DBT_DEVICEREMOVECOMPLETE, AsParam(k2));
    EXPECT_EQ(link.Facts().present.load(), 0);
    EXPECT_EQ(link.Queue().Size(), 1u);
}

TEST(DeviceChange, IgnoresOtherEventsAndOtherBroadcasts) {
    DisplayLink link;
    link.Facts().present = 1;
    auto k1 = MakeBroadcast(kK1Hid);
    link.OnDeviceChange(DBT_DEVICEQUERYREMOVE, AsParam(k1));
    link.OnDeviceChange(DBT_DEVNODES_CHANGED, 0);
    link.OnDeviceChange(DBT_DEVICEARRIVAL, 0);
    link.OnDeviceChange(DBT_DEVICEREMOVECOMPLETE, 0);
    reinterpret_cast<DEV_BROADCAST_HDR*>(k1.data())->dbch_devicetype = DBT_DEVTYP_VOLUME;
    link.OnDeviceChange(DBT_DEVICEREMOVECOMPLETE, AsParam(k1));
    DisplayManager::OnDeviceInterfaceChange(nullptr, DBT_DEVICEREMOVECOMPLETE, link.Facts(), link.Queue());
    EXPECT_EQ(link.Facts().present.load(), 1);
    EXPECT_EQ(link.Queue().Size(), 0u);
}

TEST(DeviceChange, ReadsTheNameNoFurtherThanTheBroadcastSize) {
    DisplayLink link;
    link.Facts().present = 1;
    // The size field ends the name after "\\?\HID#VID_1A2C&PID_4C": the marker lies beyond it.
    const DWORD cut =
        static_cast<DWORD>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + 22 * sizeof(wchar_t));
    auto k1 = MakeBroadcast(kK1Hid, cut);
    link.OnDeviceChange(DBT_DEVICEREMOVECOMPLETE, AsParam(k1));
    EXPECT_EQ(link.Facts().present.load(), 1);
    auto tiny = MakeBroadcast(kK1Hid, 8);
    link.OnDeviceChange(DBT_DEVICEREMOVECOMPLETE, AsParam(tiny));
    EXPECT_EQ(link.Facts().present.load(), 1);
    EXPECT_EQ(link.Queue().Size(), 0u);
}

TEST(DeviceChange, ProbeRefusesWhatIsNotADisplayInterface) {
    EXPECT_FALSE(DisplayManager::ProbeDisplayInterface(kK1Hid.c_str()));
    EXPECT_FALSE(DisplayManager::ProbeDisplayInterface(L""));
    const std::wstring file = testing_support::TestDir() + L"probe_plain_file.bin";
    {
        UniqueFileHandle f(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(f);
    }
    // Opens fine, but it is no HID collection.
    EXPECT_FALSE(DisplayManager::ProbeDisplayInterface(file.c_str()));
    ::DeleteFileW(file.c_str());
}

TEST(DeviceChange, RegistersAWindowForDeviceInterfaceNotifications) {
    const UniqueWindow window(::CreateWindowExW(0, L"STATIC", L"notifications", WS_POPUP, 0, 0, 10, 10,
                                                nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(window);
    EXPECT_TRUE(DisplayManager::RegisterDisplayNotifications(window.get()));
}

TEST(SystemHidapi, FindsNoDisplayAndNothingBreaks) {
    // Under wine the real library cannot initialise; on a machine without displays it finds none.
    DisplayManager& manager = DisplayManager::Instance();
    DisplayFacts facts;
    facts.present = 1;
    manager.RescanDisplays(facts);
    EXPECT_EQ(facts.present.load(), 0);
    EXPECT_EQ(manager.Count(), 0);
    EXPECT_EQ(manager.Record(0), nullptr);
    int version = -1;
    EXPECT_FALSE(manager.QueryFirmwareVersion(&version));
    EXPECT_EQ(version, -1);
    TemperatureReport report{};
    report[0] = kDisplayReportId;
    EXPECT_TRUE(manager.SendReportToAll(report));
    manager.RescanDisplays(facts);
    EXPECT_EQ(manager.Count(), 0);
}

}  // namespace
