// Discovery, reports, the firmware query and the worker against the virtual display, which this executable
// loads as its hidapi.dll.

#include "VirtualDisplayFixture.h"

#include "VirtualDevices.h"

#include "TestSupport.h"

#include <hidapi.h>

#include <string>
#include <vector>

using testing_support::Quote;
using testing_support::RunProcess;
using testing_support::TestDir;

namespace display_tests {
namespace {

TEST_F(VirtualDisplay, FindsAK1AloneAndSkipsItsOtherInterface) {
    state_.SetPlugged(kK1, true);
    manager_.RescanDisplays(facts_);
    ASSERT_EQ(manager_.Count(), 1);
    EXPECT_EQ(facts_.present.load(), 1);
    EXPECT_EQ(facts_.model.load(), kModelK1);
    const DisplayRecord* record = manager_.Record(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->index, 0);
    EXPECT_EQ(record->vendorId, kDisplayVendorId);
    EXPECT_EQ(record->productId, kProductIdK1);
    EXPECT_EQ(record->modelTag, kModelK1);
    EXPECT_EQ(record->productText, L"Kelvaro-DIG K1");
    EXPECT_NE(std::string(record->path).find("mi_00"), std::string::npos);
    const vdisplay::DisplaySlot slot = Slot(kK1);
    EXPECT_EQ(slot.openHandles[0], 1);
    EXPECT_EQ(slot.opensTotal[1], 1);   // the second interface was opened ...
    EXPECT_EQ(slot.openHandles[1], 0);  // ... and closed again
}

TEST_F(VirtualDisplay, FindsAK2Alone) {
    state_.SetPlugged(kK2, true);
    manager_.RescanDisplays(facts_);
    ASSERT_EQ(manager_.Count(), 1);
    EXPECT_EQ(facts_.model.load(), kModelK2);
    EXPECT_EQ(manager_.Record(0)->productId, kProductIdK2);
    EXPECT_EQ(manager_.Record(0)->productText, L"Kelvaro-DIG K2");
}

TEST_F(VirtualDisplay, SendsToBothDisplaysAndTakesTheModelOfTheFirst) {
    state_.SetPlugged(kK2, true);
    state_.SetPlugged(kK1, true);
    manager_.RescanDisplays(facts_);
    ASSERT_EQ(manager_.Count(), 2);
    EXPECT_EQ(facts_.model.load(), kModelK1);
    EXPECT_EQ(manager_.Record(1)->index, 1);
    EXPECT_TRUE(manager_.SendReportToAll(Report(45.0f, 37.0f)));
    for (int d : {kK1, kK2}) {
        const vdisplay::Shown shown = Slot(d).shown;
        EXPECT_EQ(shown.reports, 1);
        EXPECT_EQ(shown.valid, 1);
        EXPECT_EQ(shown.value, 45);
        EXPECT_EQ(shown.level, 4);
        EXPECT_EQ(shown.second, 37);
    }
    // In list order, each the whole 65-byte report on the wire.
    const std::vector<vdisplay::LogEntry> sent = LoggedSince(0);
    ASSERT_EQ(sent.size(), 2u);
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].display, i == 0 ? kK1 : kK2);
        EXPECT_EQ(sent[i].kind, vdisplay::kTransferReport);
        EXPECT_EQ(sent[i].length, 65);
        EXPECT_EQ(sent[i].wire, 65);
        EXPECT_EQ(sent[i].result, 65);
    }

    // A rescan reopens rather than adds.
    manager_.RescanDisplays(facts_);
    EXPECT_EQ(manager_.Count(), 2);
    EXPECT_EQ(Slot(kK1).openHandles[0], 1);
    EXPECT_EQ(Slot(kK2).openHandles[0], 1);
}

TEST_F(VirtualDisplay, SkipsADisplayThatCannotBeOpened) {
    state_.SetPlugged(kK1, true);
    state_.SetPlugged(kK2, true);
    state_.SetFaults(kK1, vdisplay::kFaultOpen);
    manager_.RescanDisplays(facts_);
    ASSERT_EQ(manager_.Count(), 1);
    EXPECT_EQ(facts_.model.load(), kModelK2);
    EXPECT_EQ(manager_.Record(0)->index, 0);
}

TEST_F(VirtualDisplay, KeepsADisplayThatRefusesItsProductString) {
    state_.SetPlugged(kK1, true);
    state_.SetFaults(kK1, vdisplay::kFaultProduct);
    manager_.RescanDisplays(facts_);
    ASSERT_EQ(manager_.Count(), 1);
    EXPECT_TRUE(manager_.Record(0)->productText.empty());
}

TEST_F(VirtualDisplay, WithoutTheHidLibraryFindsNothingAndTriesAgainLater) {
    state_.SetPlugged(kK1, true);
    state_.SetInitFails(true);
    facts_.present = 1;
    manager_.RescanDisplays(facts_);
    EXPECT_EQ(manager_.Count(), 0);
    EXPECT_EQ(facts_.present.load(), 0);
    int version = 0;
    EXPECT_FALSE(manager_.QueryFirmwareVersion(&version));
    EXPECT_TRUE(manager_.SendReportToAll(Report(45.0f, 37.0f)));
    EXPECT_EQ(Slot(kK1).shown.reports, 0);

    state_.SetInitFails(false);
    manager_.RescanDisplays(facts_);
    EXPECT_EQ(manager_.Count(), 1);
    EXPECT_EQ(facts_.present.load(), 1);
}

TEST_F(VirtualDisplay, ADisplayPulledOutBeforeSendingDoesNotStopTheOthers) {
    state_.SetPlugged(kK1, true);
    state_.SetPlugged(kK2, true);
    manager_.RescanDisplays(facts_);
    state_.SetPlugged(kK1, false);
    EXPECT_TRUE(manager_.SendReportToAll(Report(50.0f, 10.0f)));
    EXPECT_EQ(Slot(kK1).failedSends, 1);
    EXPECT_EQ(Slot(kK2).shown.value, 50);
    state_.SetFaults(kK2, vdisplay::kFaultSend);
    EXPECT_TRUE(manager_.SendReportToAll(Report(60.0f, 10.0f)));
    EXPECT_EQ(Slot(kK2).shown.value, 50);
}

TEST_F(VirtualDisplay, QueriesTheFirmwareVersionOfTheFirstDisplay) {
    state_.SetPlugged(kK1, true);
    state_.SetPlugged(kK2, true);
    state_.SetFirmware(kK1, 0x0105);
    state_.SetFirmware(kK2, 0x0302);
    manager_.RescanDisplays(facts_);
    const int64_t asked = vdisplay::Now();
    int version = 0;
    ASSERT_TRUE(manager_.QueryFirmwareVersion(&version));
    EXPECT_EQ(version, 0x0105);
    EXPECT_EQ(Slot(kK1).queries, 1);
    EXPECT_EQ(Slot(kK2).queries, 0);
    EXPECT_EQ(Slot(kK1).shown.reports, 0);  // the query is not a temperature report

    // A 64-byte request that travels as the 65-byte report, then a read of the whole 65-byte reply (a shorter
    // buffer fails), each 16 ms after the one before.
    const std::vector<vdisplay::LogEntry> transfers = LoggedSince(0);
    ASSERT_EQ(transfers.size(), 2u);
    EXPECT_EQ(transfers[0].kind, vdisplay::kTransferQuery);
    EXPECT_EQ(transfers[0].length, 64);
    EXPECT_EQ(transfers[0].wire, 65);
    EXPECT_EQ(transfers[0].raw[0], 0x07);
    EXPECT_EQ(transfers[1].kind, vdisplay::kTransferGet);
    EXPECT_EQ(transfers[1].length, 65);
    EXPECT_EQ(transfers[1].result, 65);
    EXPECT_GE(Milliseconds(transfers[0].ticks - asked), 15.0);
    EXPECT_GE(Milliseconds(transfers[1].ticks - transfers[0].ticks), 15.0);
}

TEST_F(VirtualDisplay, ReadsTheVersionAgainAfterAWrongReportId) {
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

// What hidapi over Windows does with the vendor collection's 65-byte feature report, which the tests above
// rely on: shorter sends are padded and longer ones cut (the call returns the caller's length), a read needs
// a buffer for the whole report, and only the vendor collection with report ID 7 takes feature reports.
TEST_F(VirtualDisplay, FeatureReportsMeetTheCollectionsLength) {
    state_.SetPlugged(kK1, true);
    hid_device* vendor = hid_open_path(vdisplay::kInterfaces[2].path);
    hid_device* other = hid_open_path(vdisplay::kInterfaces[1].path);
    ASSERT_NE(vendor, nullptr);
    ASSERT_NE(other, nullptr);
    struct Case {
        const char* what;
        hid_device* device;
        vdisplay::Transfer kind;
        size_t length;
        unsigned char reportId;
        int result;
        int wire;
    };
    const Case cases[] = {
        {"short send", vendor, vdisplay::kTransferReport, 8, 0x07, 8, 65},
        {"whole send", vendor, vdisplay::kTransferReport, 65, 0x07, 65, 65},
        {"long send", vendor, vdisplay::kTransferReport, 80, 0x07, 80, 65},
        {"other report ID", vendor, vdisplay::kTransferReport, 65, 0x06, -1, 0},
        {"collection without feature reports", other, vdisplay::kTransferReport, 65, 0x07, -1, 0},
        {"short read", vendor, vdisplay::kTransferGet, 64, 0x07, -1, 0},
        {"whole read", vendor, vdisplay::kTransferGet, 65, 0x07, 65, 65},
        {"long read", vendor, vdisplay::kTransferGet, 100, 0x07, 65, 65},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> buffer(c.length, 0);
        buffer[0] = c.reportId;
        const int32_t before = LogCount();
        const int result = c.kind == vdisplay::kTransferGet
                               ? hid_get_feature_report(c.device, buffer.data(), buffer.size())
                               : hid_send_feature_report(c.device, buffer.data(), buffer.size());
        EXPECT_EQ(result, c.result);
        const std::vector<vdisplay::LogEntry> logged = LoggedSince(before);
        ASSERT_EQ(logged.size(), 1u);
        EXPECT_EQ(logged[0].length, static_cast<int32_t>(c.length));
        EXPECT_EQ(logged[0].wire, c.wire);
    }
    hid_close(other);
    hid_close(vendor);
}

TEST_F(VirtualDisplay, FailsTheQueryWhenTheDisplayRefusesOrIsMissing) {
    int version = -1;
    manager_.RescanDisplays(facts_);
    EXPECT_FALSE(manager_.QueryFirmwareVersion(&version));

    state_.SetPlugged(kK1, true);
    manager_.RescanDisplays(facts_);
    state_.SetFaults(kK1, vdisplay::kFaultSend);
    EXPECT_FALSE(manager_.QueryFirmwareVersion(&version));
    // The request was accepted but no reply can be read: the request must not pass for a version.
    state_.SetFaults(kK1, vdisplay::kFaultGet);
    EXPECT_FALSE(manager_.QueryFirmwareVersion(&version));
    EXPECT_EQ(version, -1);
}

TEST_F(VirtualDisplay, RefreshShowsTheSnapshotInTheChosenUnitAndLight) {
    SensorBlock sensors;
    ASSERT_TRUE(sensors.ok());
    sensors.Set(45.9f, 37.0f);
    state_.SetPlugged(kK1, true);
    LinkWorker worker(0);
    DisplayLink& link = worker.link;
    link.Rescan();
    ASSERT_NE(link.Snapshot(), nullptr);
    ASSERT_EQ(link.Facts().present.load(), 1);

    ASSERT_TRUE(link.Refresh(worker));
    vdisplay::Shown shown = Slot(kK1).shown;
    EXPECT_EQ(shown.value, 45);
    EXPECT_EQ(shown.level, 4);
    EXPECT_EQ(shown.fahrenheit, 0);
    EXPECT_EQ(shown.second, 37);
    EXPECT_EQ(shown.lightOn, 1);

    link.SetUnit(1);
    ASSERT_TRUE(link.Refresh(worker));
    shown = Slot(kK1).shown;
    EXPECT_EQ(shown.value, 113);
    EXPECT_EQ(shown.fahrenheit, 1);

    link.SetLight(2);
    ASSERT_TRUE(link.Refresh(worker));
    shown = Slot(kK1).shown;
    EXPECT_EQ(shown.lightOn, 0);
    EXPECT_EQ(shown.raw[0], 0x07);
    EXPECT_EQ(shown.reports, 3);
}

TEST_F(VirtualDisplay, RefreshSendsNothingBeforeTheSnapshotIsMapped) {
    state_.SetPlugged(kK1, true);
    LinkWorker worker(0);
    DisplayLink& link = worker.link;
    manager_.RescanDisplays(link.Facts());  // a display, but no snapshot yet
    ASSERT_EQ(link.Facts().present.load(), 1);
    EXPECT_EQ(link.RunStep(worker), 0);
    EXPECT_FALSE(link.Refresh(worker));
    EXPECT_EQ(Slot(kK1).shown.reports, 0);
}

TEST_F(VirtualDisplay, EachStepTakesOneCommandAndRescansComeBeforeTheNextRefresh) {
    SensorBlock sensors;
    ASSERT_TRUE(sensors.ok());
    sensors.Set(50.0f, 20.0f);
    state_.SetPlugged(kK1, true);
    LinkWorker worker(0);
    DisplayLink& link = worker.link;
    link.QueueCommand(kCommandRescan);
    link.QueueCommand(kCommandRescan);
    EXPECT_EQ(link.RunStep(worker), 0);
    EXPECT_EQ(link.Queue().Size(), 1u);
    EXPECT_EQ(link.RunStep(worker), 0);
    EXPECT_EQ(Slot(kK1).shown.reports, 0);
    EXPECT_EQ(link.RunStep(worker), 0);  // queue empty, display present: a refresh
    EXPECT_EQ(Slot(kK1).shown.reports, 1);

    // A K2 arrives: its rescan runs first, then the refresh reaches both.
    state_.SetPlugged(kK2, true);
    link.QueueCommand(kCommandRescan);
    EXPECT_EQ(link.RunStep(worker), 0);
    EXPECT_EQ(Slot(kK2).shown.reports, 0);
    EXPECT_EQ(link.RunStep(worker), 0);
    EXPECT_EQ(Slot(kK1).shown.reports, 2);
    EXPECT_EQ(Slot(kK2).shown.reports, 1);

    // Every command but the rescan is handed to the caller, one per step, in order.
    for (int command : {2, 3, 4, 9, -1, 5, 6, 7, 8}) {
        link.QueueCommand(command);
    }
    std::vector<int> handedOut;
    for (int i = 0; i < 9; ++i) {
        handedOut.push_back(link.RunStep(worker));
    }
    EXPECT_EQ(handedOut, (std::vector<int>{2, 3, 4, 9, -1, 5, 6, 7, 8}));
    EXPECT_EQ(link.Queue().Size(), 0u);
    EXPECT_EQ(Slot(kK1).shown.reports, 2);  // no refresh while commands waited
}

TEST_F(VirtualDisplay, TheWorkerRefreshesUntilStopped) {
    SensorBlock sensors;
    ASSERT_TRUE(sensors.ok());
    sensors.Set(61.0f, 5.0f);
    state_.SetPlugged(kK1, true);
    LinkWorker worker(DisplayLink::kRefreshPauseMs);
    worker.link.QueueCommand(kCommandRescan);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return Slot(kK1).shown.reports >= 1; }));
    EXPECT_EQ(Slot(kK1).shown.value, 61);
    // The worker is now inside its one-second pause; Stop ends it within its bound.
    EXPECT_TRUE(worker.Stop());
    const int reports = Slot(kK1).shown.reports;
    worker.Join();
    EXPECT_EQ(Slot(kK1).shown.reports, reports) << "a report after Stop";
}

TEST_F(VirtualDisplay, AStalledDisplayHoldsTheWorkerPastStopUntilItIsPulledOut) {
    SensorBlock sensors;
    ASSERT_TRUE(sensors.ok());
    sensors.Set(52.0f, 5.0f);
    state_.SetPlugged(kK1, true);
    state_.SetTransferTime(kK1, 60000);
    LinkWorker worker(DisplayLink::kRefreshPauseMs);
    worker.link.QueueCommand(kCommandRescan);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return Slot(kK1).transfers == 1; })) << "no report went out";
    EXPECT_FALSE(worker.Stop());  // the report is under way and the display does not answer
    // Pulling the display out ends the minute-long transfer, and with it the worker.
    state_.SetPlugged(kK1, false);
    ASSERT_TRUE(WaitUntil([&] { return LogCount() == 1; })) << "the transfer went on after the pull-out";
    worker.Join();
    const std::vector<vdisplay::LogEntry> transfers = LoggedSince(0);
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_EQ(transfers[0].result, -1);
    EXPECT_EQ(Slot(kK1).shown.reports, 0);
}

TEST_F(VirtualDisplay, ControlProgramSetsFaultsAndPrintsState) {
    const std::wstring control = Quote(TestDir() + L"..\\..\\virtual_display\\VirtualDisplayCtl.exe");
    EXPECT_EQ(RunProcess(control + L" firmware K2 0x0307").exitCode, 0u);
    EXPECT_EQ(RunProcess(control + L" fault K2 send,wrongid").exitCode, 0u);
    EXPECT_EQ(RunProcess(control + L" initfail on").exitCode, 0u);
    EXPECT_EQ(RunProcess(control + L" fault K2 bogus").exitCode, 2u);
    EXPECT_EQ(RunProcess(control + L" plug K3").exitCode, 2u);
    EXPECT_EQ(RunProcess(control + L" wait K1 1 50").exitCode, 4u);
    EXPECT_EQ(RunProcess(control + L" arrival 750").exitCode, 0u);
    EXPECT_EQ(RunProcess(control + L" transfer K2 5").exitCode, 0u);
    EXPECT_EQ(RunProcess(control + L" transfer K2 -1").exitCode, 2u);
    const vdisplay::DisplaySlot slot = Slot(kK2);
    EXPECT_EQ(slot.firmware, 0x0307);
    EXPECT_EQ(slot.faults, static_cast<uint32_t>(vdisplay::kFaultSend | vdisplay::kFaultWrongReportId));
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
