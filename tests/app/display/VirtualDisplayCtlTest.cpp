// The control program. It is the same under both stand-ins, so it runs once, in the executable over the
// stand-in hidapi.dll.

#include "VirtualDisplayFixture.h"

#include "TestSupport.h"

#include <string>
#include <vector>

using testing_support::RunProcess;

namespace display_tests {
namespace {

TEST_P(VirtualDisplay, ControlProgramSetsFaultsAndPrintsState) {
    const std::wstring control = ControlProgram();
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
