// What only the stand-in hidapi.dll can show, and the control program. The Windows HID layer beneath the real
// hidapi.dll hands back the report ID the caller asked for in byte 0 of a feature report read, so a reply
// with another report ID never reaches the program over it.

#include "VirtualDisplayFixture.h"

#include "TestSupport.h"

#include <string>
#include <vector>

using testing_support::Quote;
using testing_support::RunProcess;
using testing_support::TestDir;

namespace display_tests {
namespace {

TEST_P(VirtualDisplay, ReadsTheVersionAgainAfterAWrongReportId) {
    state_.SetPlugged(kK2, true);
    state_.SetFirmware(kK2, 0x1234);
    state_.SetFaults(kK2, vdisplay::kFaultWrongReportId);
    manager_.RescanDisplays(facts_);
    int version = 0;
    ASSERT_TRUE(manager_.QueryFirmwareVersion(&version));
    EXPECT_EQ(version, 0x1234);
    const std::vector<vdisplay::LogEntry> transfers = LoggedSince(0);
    ASSERT_EQ(transfers.size(), 3u);
    EXPECT_EQ(transfers[1].raw[0], 0x06);
    EXPECT_EQ(transfers[2].kind, vdisplay::kTransferGet);
    EXPECT_EQ(transfers[2].length, 65);
    EXPECT_EQ(transfers[2].raw[0], 0x07);
    EXPECT_GE(Milliseconds(transfers[2].ticks - transfers[1].ticks), 15.0);
}

TEST_P(VirtualDisplay, ControlProgramSetsFaultsAndPrintsState) {
    const std::wstring control = Quote(TestDir() + L"..\\..\\virtual_display\\VirtualDisplayCtl.exe");
    EXPECT_EQ(RunProcess(control + L" firmware K2 0x0307").exitCode, 0u);
    EXPECT_EQ(RunProcess(control + L" fault K2 send,wrongid,exclusive").exitCode, 0u);
    EXPECT_EQ(RunProcess(control + L" initfail on").exitCode, 0u);
    EXPECT_EQ(RunProcess(control + L" fault K2 bogus").exitCode, 2u);
    EXPECT_EQ(RunProcess(control + L" plug K3").exitCode, 2u);
    EXPECT_EQ(RunProcess(control + L" wait K1 1 50").exitCode, 4u);
    EXPECT_EQ(RunProcess(control + L" arrival 750").exitCode, 0u);
    EXPECT_EQ(RunProcess(control + L" transfer K2 5").exitCode, 0u);
    EXPECT_EQ(RunProcess(control + L" transfer K2 -1").exitCode, 2u);
    const vdisplay::DisplaySlot slot = Slot(kK2);
    EXPECT_EQ(slot.firmware, 0x0307);
    EXPECT_EQ(slot.faults, static_cast<uint32_t>(vdisplay::kFaultSend | vdisplay::kFaultWrongReportId |
                                                 vdisplay::kFaultExclusive));
    EXPECT_EQ(slot.transferMs, 5);
    EXPECT_EQ(Copy()->initFails, 1);
    EXPECT_EQ(Copy()->arrivalDelayMs, 750);
    EXPECT_EQ(RunProcess(control + L" reset").exitCode, 0u);
    EXPECT_EQ(Slot(kK2).faults, 0u);
    EXPECT_EQ(Slot(kK2).transferMs, 0);
    EXPECT_EQ(Copy()->arrivalDelayMs, vdisplay::kDefaultArrivalDelayMs);
}

}  // namespace
}  // namespace display_tests
