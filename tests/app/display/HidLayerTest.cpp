// The Windows HID layer that the virtual collections present: what the program's own probe meets over either
// stand-in, and what the real hidapi.dll meets beneath it. Opening, the HID calls, and feature report
// requests with overlapped I/O, as Windows answers them.

#include "VirtualDisplayFixture.h"

#include "VirtualDevices.h"

#include <hidclass.h>

// The HID headers have no C linkage of their own.
extern "C" {
#include <hidsdi.h>
}

#include <string>

namespace display_tests {
namespace {

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr int kPointer = 0;
constexpr int kVendorK1 = 2;
constexpr int kVendorK2 = 3;
constexpr LONG kStatusCancelled = static_cast<LONG>(0xC0000120);

std::wstring PathOf(int iface) {
    const char* path = vdisplay::kInterfaces[iface].path;
    return std::wstring(path, path + std::strlen(path));
}

UniqueFileHandle OpenInterface(int iface, DWORD access) {
    return UniqueFileHandle(::CreateFileW(PathOf(iface).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
}

// Starts reading the feature report with that ID into report; the call's result and last error.
std::pair<BOOL, DWORD> StartRead(HANDLE file, unsigned char* report, DWORD length, OVERLAPPED* overlapped,
                                 DWORD code = IOCTL_HID_GET_FEATURE) {
    *overlapped = OVERLAPPED{};
    const BOOL ok = ::DeviceIoControl(file, code, report, length, report, length, nullptr, overlapped);
    return {ok, ok ? ERROR_SUCCESS : ::GetLastError()};
}

std::pair<BOOL, DWORD> Refused(DWORD error) {
    return {FALSE, error};
}

bool Completes(const OVERLAPPED& overlapped) {
    return WaitUntil([&] { return HasOverlappedIoCompleted(&overlapped); });
}

TEST_P(VirtualDisplay, CollectionsOpenAsWindowsOpensThem) {
    state_.SetPlugged(kK1, true);
    state_.SetArrivalDelay(vdisplay::kLongestDelayMs);
    state_.SetPlugged(kK2, true);
    struct Case {
        const char* what;
        int iface;
        uint32_t fault;  // of K1
        DWORD access;
        DWORD error;  // ERROR_SUCCESS: it opens
    };
    const Case cases[] = {
        {"vendor collection", kVendorK1, 0, kReadWrite, ERROR_SUCCESS},
        {"vendor collection without access", kVendorK1, 0, 0, ERROR_SUCCESS},
        {"pointer, kept by the system", kPointer, 0, kReadWrite, ERROR_ACCESS_DENIED},
        {"pointer without access", kPointer, 0, 0, ERROR_SUCCESS},
        {"refused by the system", kVendorK1, vdisplay::kFaultOpen, 0, ERROR_ACCESS_DENIED},
        {"held by another program", kVendorK1, vdisplay::kFaultExclusive, kReadWrite,
         ERROR_SHARING_VIOLATION},
        {"held by another program, without access", kVendorK1, vdisplay::kFaultExclusive, 0, ERROR_SUCCESS},
        {"plugged in, collections not ready yet", kVendorK2, 0, 0, ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        state_.SetFaults(kK1, c.fault);
        UniqueFileHandle file = OpenInterface(c.iface, c.access);
        ASSERT_EQ(file.valid(), c.error == ERROR_SUCCESS);
        if (!file) {
            EXPECT_EQ(::GetLastError(), c.error);
            continue;
        }
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof(attributes);
        ASSERT_TRUE(::HidD_GetAttributes(file.get(), &attributes));
        EXPECT_EQ(attributes.VendorID, vdisplay::kInterfaces[c.iface].vendorId);
    }
}

TEST_P(VirtualDisplay, FeatureRequestsAreRefusedAsWindowsRefusesThem) {
    state_.SetPlugged(kK1, true);
    UniqueFileHandle file = OpenInterface(kVendorK1, kReadWrite);
    ASSERT_TRUE(file);
    unsigned char report[vdisplay::kVendorFeatureLength + 1] = {vdisplay::kReportId};
    OVERLAPPED overlapped{};
    struct Case {
        const char* what;
        DWORD code;
        DWORD length;
        unsigned char reportId;
        DWORD error;
    };
    const Case cases[] = {
        {"a buffer shorter than the report", IOCTL_HID_GET_FEATURE, 64, vdisplay::kReportId,
         ERROR_INVALID_PARAMETER},
        {"another report ID", IOCTL_HID_GET_FEATURE, 65, 0x06, ERROR_INVALID_PARAMETER},
        {"a request the collection does not answer", IOCTL_HID_GET_INPUT_REPORT, 65, vdisplay::kReportId,
         ERROR_INVALID_FUNCTION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        report[0] = c.reportId;
        EXPECT_EQ(StartRead(file.get(), report, c.length, &overlapped, c.code), Refused(c.error));
    }
    // hidapi pads a short send because Windows refuses it.
    report[0] = vdisplay::kReportId;
    EXPECT_FALSE(::HidD_SetFeature(file.get(), report, 64));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(::HidD_SetFeature(file.get(), report, 65));
    DWORD written = 0;
    EXPECT_FALSE(::WriteFile(file.get(), report, 65, &written, &overlapped));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));  // no output reports
}

TEST_P(VirtualDisplay, FeatureReadsCompleteLaterAndEndByCancelOrPullOut) {
    state_.SetPlugged(kK1, true);
    state_.SetFirmware(kK1, 0x0105);
    UniqueFileHandle file = OpenInterface(kVendorK1, kReadWrite);
    ASSERT_TRUE(file);
    unsigned char report[vdisplay::kVendorFeatureLength] = {vdisplay::kReportId};
    OVERLAPPED overlapped{};
    DWORD bytes = 0;

    // A display that does not answer: pending until cancelled.
    state_.SetTransferTime(kK1, vdisplay::kLongestDelayMs);
    EXPECT_EQ(StartRead(file.get(), report, sizeof(report), &overlapped), Refused(ERROR_IO_PENDING));
    EXPECT_FALSE(::GetOverlappedResult(file.get(), &overlapped, &bytes, FALSE));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
    EXPECT_TRUE(::CancelIo(file.get()));
    ASSERT_TRUE(Completes(overlapped));
    EXPECT_FALSE(::GetOverlappedResult(file.get(), &overlapped, &bytes, FALSE));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));

    // An answering display: the whole report, its ID left as asked, the file handle signalled.
    state_.SetTransferTime(kK1, 0);
    EXPECT_EQ(StartRead(file.get(), report, sizeof(report), &overlapped), Refused(ERROR_IO_PENDING));
    ASSERT_TRUE(WaitUntil([&] { return ::WaitForSingleObject(file.get(), 0) == WAIT_OBJECT_0; }));
    EXPECT_TRUE(::GetOverlappedResult(file.get(), &overlapped, &bytes, FALSE));
    EXPECT_EQ(bytes, vdisplay::kVendorFeatureLength);
    EXPECT_EQ(report[0], vdisplay::kReportId);
    EXPECT_EQ(report[1] * 256 + report[2], 0x0105);

    // Pulled out meanwhile: the read fails, and the handle stays dead after the display is back.
    state_.SetTransferTime(kK1, vdisplay::kLongestDelayMs);
    EXPECT_EQ(StartRead(file.get(), report, sizeof(report), &overlapped), Refused(ERROR_IO_PENDING));
    state_.SetPlugged(kK1, false);
    ASSERT_TRUE(Completes(overlapped));
    EXPECT_FALSE(::GetOverlappedResult(file.get(), &overlapped, &bytes, FALSE));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    state_.SetPlugged(kK1, true);
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    EXPECT_FALSE(::HidD_GetAttributes(file.get(), &attributes));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(StartRead(file.get(), report, sizeof(report), &overlapped),
              Refused(ERROR_DEVICE_NOT_CONNECTED));

    // Closing a handle ends what is pending on it.
    UniqueFileHandle again = OpenInterface(kVendorK1, kReadWrite);
    ASSERT_TRUE(again);
    EXPECT_EQ(StartRead(again.get(), report, sizeof(report), &overlapped), Refused(ERROR_IO_PENDING));
    again.reset();
    ASSERT_TRUE(Completes(overlapped));
    EXPECT_EQ(static_cast<LONG>(overlapped.Internal), kStatusCancelled);
}

}  // namespace
}  // namespace display_tests
