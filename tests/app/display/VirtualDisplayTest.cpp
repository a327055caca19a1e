// Discovery, reports, the firmware query and the worker against the virtual display, over either stand-in
// (VirtualDisplayFixture.h).

#include "VirtualDisplayFixture.h"

#include "VirtualDevices.h"
#include "win/HidHandles.h"

#include <hidapi.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

namespace display_tests {
namespace {

int ThreadsOfThisProcess() {
    const UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = snapshot && ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry)) {
        count += entry.th32OwnerProcessID == ::GetCurrentProcessId() ? 1 : 0;
    }
    return count;
}

TEST_P(VirtualDisplay, FindsAK1AloneAndSkipsItsOtherInterface) {
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
    EXPECT_EQ(record->releaseNumber, vdisplay::kReleaseNumber);
    EXPECT_NE(std::string(record->path).find("mi_00"), std::string::npos);
    const vdisplay::DisplaySlot slot = Slot(kK1);
    EXPECT_EQ(slot.openHandles[0], 1);
    // Both interfaces were opened by the enumeration (for their attributes) and by the program, and the
    // second one closed again.
    EXPECT_EQ(slot.opensTotal[0], 2);
    EXPECT_EQ(slot.opensTotal[1], 2);
    EXPECT_EQ(slot.openHandles[1], 0);
}

TEST_P(VirtualDisplay, FindsAK2Alone) {
    state_.SetPlugged(kK2, true);
    manager_.RescanDisplays(facts_);
    ASSERT_EQ(manager_.Count(), 1);
    EXPECT_EQ(facts_.model.load(), kModelK2);
    EXPECT_EQ(manager_.Record(0)->productId, kProductIdK2);
    EXPECT_EQ(manager_.Record(0)->productText, L"Kelvaro-DIG K2");
}

// What hidapi's enumeration says of each collection: the program picks its display by these.
TEST_P(VirtualDisplay, EnumerationDescribesEachCollection) {
    state_.SetPlugged(kK1, true);
    state_.SetPlugged(kK2, true);
    struct Entry {
        unsigned short productId;
        unsigned short usagePage;
        int interfaceNumber;
        const char* pathMarker;
    };
    const Entry k1[] = {{kProductIdK1, 0x000C, 1, "pid_4c84&mi_01"},
                        {kProductIdK1, 0xFF01, 0, "pid_4c84&mi_00"}};
    const Entry k2[] = {{kProductIdK2, 0xFF01, 0, "pid_4d84&mi_00"},
                        {kProductIdK2, 0x000C, 1, "pid_4d84&mi_01"}};
    struct Case {
        const char* what;
        unsigned short productId;
        std::vector<Entry> entries;
    };
    const Case cases[] = {
        {"both models", 0, {k1[0], k1[1], k2[0], k2[1]}},
        {"K2 only", kProductIdK2, {k2[0], k2[1]}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const UniqueHidDeviceList devices(hid_enumerate(kDisplayVendorId, c.productId));
        size_t i = 0;
        for (const hid_device_info* d = devices.get(); d; d = d->next, ++i) {
            ASSERT_LT(i, c.entries.size());
            const Entry& e = c.entries[i];
            EXPECT_NE(std::string(d->path).find(e.pathMarker), std::string::npos) << d->path;
            EXPECT_EQ(d->vendor_id, kDisplayVendorId);
            EXPECT_EQ(d->product_id, e.productId);
            EXPECT_EQ(d->usage_page, e.usagePage);
            EXPECT_EQ(d->usage, kDisplayUsage);
            EXPECT_EQ(d->interface_number, e.interfaceNumber);
            EXPECT_EQ(d->release_number, vdisplay::kReleaseNumber);
            EXPECT_EQ(d->bus_type, HID_API_BUS_USB);
            EXPECT_STREQ(d->manufacturer_string, vdisplay::kManufacturer);
            EXPECT_STREQ(d->product_string,
                         e.productId == kProductIdK1 ? L"Kelvaro-DIG K1" : L"Kelvaro-DIG K2");
        }
        EXPECT_EQ(i, c.entries.size());
    }
}

TEST_P(VirtualDisplay, SendsToBothDisplaysAndTakesTheModelOfTheFirst) {
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

TEST_P(VirtualDisplay, OpensADisplayUnlessTheSystemRefusesIt) {
    struct Case {
        const char* what;
        uint32_t fault;
        int displays;  // found by the rescan
        int k1Reports;
    };
    // A display held by another program still opens, without read and write access, and takes feature
    // reports.
    const Case cases[] = {
        {"refused by the system", vdisplay::kFaultOpen, 1, 0},
        {"held by another program", vdisplay::kFaultExclusive, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        state_.Reset();
        state_.SetArrivalDelay(0);
        state_.SetPlugged(kK1, true);
        state_.SetPlugged(kK2, true);
        state_.SetFaults(kK1, c.fault);
        manager_.RescanDisplays(facts_);
        ASSERT_EQ(manager_.Count(), c.displays);
        EXPECT_EQ(manager_.Record(0)->index, 0);
        EXPECT_EQ(facts_.model.load(), c.displays == 1 ? kModelK2 : kModelK1);
        EXPECT_TRUE(manager_.SendReportToAll(Report(45.0f, 37.0f)));
        EXPECT_EQ(Slot(kK1).shown.reports, c.k1Reports);
        EXPECT_EQ(Slot(kK2).shown.reports, 1);
    }
}

TEST_P(VirtualDisplay, KeepsADisplayThatRefusesItsProductString) {
    state_.SetPlugged(kK1, true);
    state_.SetFaults(kK1, vdisplay::kFaultProduct);
    manager_.RescanDisplays(facts_);
    ASSERT_EQ(manager_.Count(), 1);
    EXPECT_TRUE(manager_.Record(0)->productText.empty());
}

TEST_P(VirtualDisplayWithoutHidLibrary, FindsNothingAndTriesAgainLater) {
    state_.SetPlugged(kK1, true);
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

TEST_P(VirtualDisplay, ADisplayPulledOutBeforeSendingDoesNotStopTheOthers) {
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

TEST_P(VirtualDisplay, QueriesTheFirmwareVersionOfTheFirstDisplay) {
    state_.SetPlugged(kK1, true);
    state_.SetPlugged(kK2, true);
    state_.SetFirmware(kK1, 0x0105);
    state_.SetFirmware(kK2, 0x0302);
    const int threads = ThreadsOfThisProcess();
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
    EXPECT_EQ(transfers[0].length, static_cast<int32_t>(HandedLength(64, vdisplay::kVendorFeatureLength)));
    EXPECT_EQ(transfers[0].wire, 65);
    EXPECT_EQ(transfers[0].raw[0], 0x07);
    EXPECT_EQ(transfers[1].kind, vdisplay::kTransferGet);
    EXPECT_EQ(transfers[1].length, 65);
    EXPECT_EQ(transfers[1].result, 65);
    EXPECT_GE(Milliseconds(transfers[0].ticks - asked), 15.0);
    EXPECT_GE(Milliseconds(transfers[1].ticks - transfers[0].ticks), 15.0);
    // As with the system's driver, no thread stays behind for the transfers once they are done.
    EXPECT_TRUE(WaitUntil([&] { return ThreadsOfThisProcess() == threads; })) << ThreadsOfThisProcess();
}

// A reply whose byte 0 is another report ID is read again. Only the stand-in hidapi.dll hands one to the
// program: beneath hidapi, Windows leaves byte 0 as the caller set it, whatever the display sent.
TEST_P(VirtualDisplay, ReadsTheVersionAgainAfterAWrongReportId) {
    state_.SetPlugged(kK2, true);
    state_.SetFirmware(kK2, 0x1234);
    state_.SetFaults(kK2, vdisplay::kFaultWrongReportId);
    manager_.RescanDisplays(facts_);
    int version = 0;
    ASSERT_TRUE(manager_.QueryFirmwareVersion(&version));
    EXPECT_EQ(version, 0x1234);
    const std::vector<vdisplay::LogEntry> transfers = LoggedSince(0);
    ASSERT_GE(transfers.size(), 2u);
    EXPECT_EQ(transfers[1].raw[0], 0x06);  // what the display sent
    if (OverHidLayer()) {
        EXPECT_EQ(transfers.size(), 2u);
        return;
    }
    ASSERT_EQ(transfers.size(), 3u);
    EXPECT_EQ(transfers[2].kind, vdisplay::kTransferGet);
    EXPECT_EQ(transfers[2].length, 65);
    EXPECT_EQ(transfers[2].raw[0], 0x07);
    EXPECT_GE(Milliseconds(transfers[2].ticks - transfers[1].ticks), 15.0);
}

// What hidapi over Windows does with the vendor collection's 65-byte feature report, which the tests above
// rely on: shorter sends are padded and longer ones cut (the call returns the caller's length), a read needs
// a buffer for the whole report, and only the vendor collection with report ID 7 takes feature reports.
// Beneath the real hidapi.dll the stand-in is handed the padded report.
TEST_P(VirtualDisplay, FeatureReportsMeetTheCollectionsLength) {
    state_.SetPlugged(kK1, true);
    const UniqueHidDevice vendorDevice(hid_open_path(vdisplay::kInterfaces[2].path));
    const UniqueHidDevice otherDevice(hid_open_path(vdisplay::kInterfaces[1].path));
    ASSERT_TRUE(vendorDevice);
    ASSERT_TRUE(otherDevice);
    hid_device* const vendor = vendorDevice.get();
    hid_device* const other = otherDevice.get();
    struct Case {
        const char* what;
        hid_device* device;
        size_t report;  // the collection's feature report length
        vdisplay::Transfer kind;
        size_t length;
        unsigned char reportId;
        int result;
        int wire;
    };
    constexpr size_t kVendor = vdisplay::kVendorFeatureLength;
    const Case cases[] = {
        {"short send", vendor, kVendor, vdisplay::kTransferReport, 8, 0x07, 8, 65},
        {"whole send", vendor, kVendor, vdisplay::kTransferReport, 65, 0x07, 65, 65},
        {"long send", vendor, kVendor, vdisplay::kTransferReport, 80, 0x07, 80, 65},
        {"other report ID", vendor, kVendor, vdisplay::kTransferReport, 65, 0x06, -1, 0},
        {"collection without feature reports", other, 0, vdisplay::kTransferReport, 65, 0x07, -1, 0},
        {"short read", vendor, kVendor, vdisplay::kTransferGet, 64, 0x07, -1, 0},
        {"whole read", vendor, kVendor, vdisplay::kTransferGet, 65, 0x07, 65, 65},
        {"long read", vendor, kVendor, vdisplay::kTransferGet, 100, 0x07, 65, 65},
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
        const size_t handed = c.kind == vdisplay::kTransferGet ? c.length : HandedLength(c.length, c.report);
        EXPECT_EQ(logged[0].length, static_cast<int32_t>(handed));
        EXPECT_EQ(logged[0].wire, c.wire);
    }
}

TEST_P(VirtualDisplay, FailsTheQueryWhenTheDisplayRefusesOrIsMissing) {
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

TEST_P(VirtualDisplay, RefreshShowsTheSnapshotInTheChosenUnitAndLight) {
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

TEST_P(VirtualDisplay, RefreshSendsNothingBeforeTheSnapshotIsMapped) {
    state_.SetPlugged(kK1, true);
    LinkWorker worker(0);
    DisplayLink& link = worker.link;
    manager_.RescanDisplays(link.Facts());  // a display, but no snapshot yet
    ASSERT_EQ(link.Facts().present.load(), 1);
    EXPECT_FALSE(link.RunStep(worker).has_value());
    EXPECT_FALSE(link.Refresh(worker));
    EXPECT_EQ(Slot(kK1).shown.reports, 0);
}

TEST_P(VirtualDisplay, EachStepTakesOneCommandAndRescansComeBeforeTheNextRefresh) {
    SensorBlock sensors;
    ASSERT_TRUE(sensors.ok());
    sensors.Set(50.0f, 20.0f);
    state_.SetPlugged(kK1, true);
    LinkWorker worker(0);
    DisplayLink& link = worker.link;
    link.QueueCommand(WorkerCommand::kRescan);
    link.QueueCommand(WorkerCommand::kRescan);
    EXPECT_FALSE(link.RunStep(worker).has_value());
    EXPECT_EQ(link.Queue().Size(), 1u);
    EXPECT_FALSE(link.RunStep(worker).has_value());
    EXPECT_EQ(Slot(kK1).shown.reports, 0);
    EXPECT_FALSE(link.RunStep(worker).has_value());  // queue empty, display present: a refresh
    EXPECT_EQ(Slot(kK1).shown.reports, 1);

    // A K2 arrives: its rescan runs first, then the refresh reaches both.
    state_.SetPlugged(kK2, true);
    link.QueueCommand(WorkerCommand::kRescan);
    EXPECT_FALSE(link.RunStep(worker).has_value());
    EXPECT_EQ(Slot(kK2).shown.reports, 0);
    EXPECT_FALSE(link.RunStep(worker).has_value());
    EXPECT_EQ(Slot(kK1).shown.reports, 2);
    EXPECT_EQ(Slot(kK2).shown.reports, 1);

    // Every command but the rescan is handed to the caller, one per step, in order.
    for (int command : {2, 3, 4, 9, -1, 5, 6, 7, 8}) {
        link.QueueCommand(static_cast<WorkerCommand>(command));
    }
    std::vector<int> handedOut;
    for (int i = 0; i < 9; ++i) {
        handedOut.push_back(static_cast<int>(link.RunStep(worker).value_or(WorkerCommand::kRescan)));
    }
    EXPECT_EQ(handedOut, (std::vector<int>{2, 3, 4, 9, -1, 5, 6, 7, 8}));
    EXPECT_EQ(link.Queue().Size(), 0u);
    EXPECT_EQ(Slot(kK1).shown.reports, 2);  // no refresh while commands waited
}

TEST_P(VirtualDisplay, TheWorkerRefreshesUntilStopped) {
    SensorBlock sensors;
    ASSERT_TRUE(sensors.ok());
    sensors.Set(61.0f, 5.0f);
    state_.SetPlugged(kK1, true);
    LinkWorker worker(DisplayLink::kRefreshPauseMs);
    worker.link.QueueCommand(WorkerCommand::kRescan);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return Slot(kK1).shown.reports >= 1; }));
    EXPECT_EQ(Slot(kK1).shown.value, 61);
    // The worker is now inside its one-second pause; Stop ends it within its bound.
    EXPECT_TRUE(worker.Stop());
    const int reports = Slot(kK1).shown.reports;
    worker.Join();
    EXPECT_EQ(Slot(kK1).shown.reports, reports) << "a report after Stop";
}

TEST_P(VirtualDisplay, AStalledDisplayHoldsTheWorkerPastStopUntilItIsPulledOut) {
    SensorBlock sensors;
    ASSERT_TRUE(sensors.ok());
    sensors.Set(52.0f, 5.0f);
    state_.SetPlugged(kK1, true);
    state_.SetTransferTime(kK1, 60000);
    LinkWorker worker(DisplayLink::kRefreshPauseMs);
    worker.link.QueueCommand(WorkerCommand::kRescan);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return Copy()->transfersBegun == 1; })) << "no report went out";
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

INSTANTIATE_TEST_SUITE_P(Over, VirtualDisplay, ::testing::Values(LoadedStandIn()));
INSTANTIATE_TEST_SUITE_P(Over, VirtualDisplayWithoutHidLibrary, ::testing::Values(LoadedStandIn()));

}  // namespace
}  // namespace display_tests
