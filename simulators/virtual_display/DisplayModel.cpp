#include "DisplayModel.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace vdisplay {

namespace {

constexpr DWORD kTransferSliceMs = 10;  // how often a transfer in progress looks for an unplug

// The display's slot while the handle still refers to the display as plugged when it was opened, else null.
// Called with the lock held.
DisplaySlot* LiveSlotLocked(const Opened& opened) noexcept {
    if (opened.iface->display < 0) {
        return nullptr;
    }
    DisplaySlot& slot = Shared().Get()->displays[opened.iface->display];
    return slot.plugged && slot.plugSerial == opened.serial ? &slot : nullptr;
}

// Logs a transfer of a display's collection and returns its time. bytes: what travelled (at least kRawBytes
// of it), or null. Called with the lock held.
int64_t LogTransferLocked(const Opened& opened, Transfer kind, size_t length, int wire, int result,
                          const unsigned char* bytes) noexcept {
    Block* block = Shared().Get();
    LogEntry& entry = block->log[block->logCount % kLogCapacity];
    entry.ticks = Now();
    entry.sequence = ++block->logCount;
    entry.display = opened.iface->display;
    entry.kind = kind;
    entry.length = static_cast<int32_t>(std::min<size_t>(length, INT_MAX));
    entry.wire = wire;
    entry.result = result;
    std::memset(entry.raw, 0, sizeof(entry.raw));
    if (bytes) {
        std::memcpy(entry.raw, bytes, sizeof(entry.raw));
    }
    return entry.ticks;
}

// Logs a transfer that did not reach the display; a refused send counts against the display. Called with the
// lock held.
void LogFailedLocked(const Opened& opened, Transfer kind, size_t length) noexcept {
    if (opened.iface->display < 0) {
        return;
    }
    if (kind != kTransferGet) {
        ++Shared().Get()->displays[opened.iface->display].failedSends;
    }
    LogTransferLocked(opened, kind, length, 0, -1, nullptr);
}

// The display's slot for a transfer that ends now, or null with the refusal (logged as a failed transfer):
// the display is gone, or the fault makes it fail. Called with the lock held.
DisplaySlot* EndingSlotLocked(const Opened& opened, Transfer kind, size_t length, uint32_t fault,
                              Refusal* refusal) noexcept {
    DisplaySlot* slot = LiveSlotLocked(opened);
    *refusal = !slot ? Refusal::kGone : (slot->faults & fault) ? Refusal::kDeviceFailed : Refusal::kNone;
    if (*refusal != Refusal::kNone) {
        LogFailedLocked(opened, kind, length);
        return nullptr;
    }
    return slot;
}

}  // namespace

Refusal OpenCollection(const Interface& iface, bool readWrite, Opened* opened) noexcept {
    Guard guard(Shared());
    int32_t serial = 0;
    if (!InterfacePresentLocked(iface, &serial)) {
        return Refusal::kNotPresent;
    }
    if (iface.display < 0) {
        if (readWrite) {
            return Refusal::kSystemOwned;
        }
    } else {
        DisplaySlot& slot = Shared().Get()->displays[iface.display];
        if (slot.faults & kFaultOpen) {
            return Refusal::kDenied;
        }
        if (readWrite && (slot.faults & kFaultExclusive)) {
            return Refusal::kHeldElsewhere;
        }
        ++slot.openHandles[iface.number];
        ++slot.opensTotal[iface.number];
    }
    *opened = Opened{&iface, serial};
    return Refusal::kNone;
}

void CloseCollection(const Opened& opened) noexcept {
    if (opened.iface->display < 0) {
        return;
    }
    Guard guard(Shared());
    // A reset in between has already cleared the count.
    int32_t& open = Shared().Get()->displays[opened.iface->display].openHandles[opened.iface->number];
    if (open > 0) {
        --open;
    }
}

bool StillConnected(const Opened& opened) noexcept {
    if (opened.iface->display < 0) {
        return true;
    }
    Guard guard(Shared());
    return LiveSlotLocked(opened) != nullptr;
}

bool InitFails() noexcept {
    Guard guard(Shared());
    return Shared().Get()->initFails != 0;
}

bool ProductRefused(const Interface& iface) noexcept {
    if (iface.display < 0) {
        return false;
    }
    Guard guard(Shared());
    return (Shared().Get()->displays[iface.display].faults & kFaultProduct) != 0;
}

Transfer SendKind(const unsigned char* data, size_t length) noexcept {
    return length >= 2 && data[1] == kQueryCode ? kTransferQuery : kTransferReport;
}

Refusal BeginTransfer(const Opened& opened, Transfer kind, const unsigned char* buffer, size_t length,
                      ShortSend shortSend, int* transferMs) noexcept {
    Guard guard(Shared());
    const unsigned short reportLength = opened.iface->featureLength;
    Refusal refusal = Refusal::kNone;
    const DisplaySlot* slot = LiveSlotLocked(opened);
    if (opened.iface->display >= 0 && !slot) {
        refusal = Refusal::kGone;
    } else if (!slot || reportLength == 0 || length == 0 || buffer[0] != kReportId) {
        refusal = Refusal::kNoSuchReport;
    } else if (length < reportLength && (kind == kTransferGet || shortSend == ShortSend::kRefused)) {
        refusal = Refusal::kShortBuffer;
    }
    if (refusal != Refusal::kNone) {
        LogFailedLocked(opened, kind, length);
        return refusal;
    }
    *transferMs = slot->transferMs;
    return Refusal::kNone;
}

void AwaitTransfer(const Opened& opened, int ms) noexcept {
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(ms);
    for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
        ::Sleep(static_cast<DWORD>(std::min<ULONGLONG>(end - now, kTransferSliceMs)));
        if (!StillConnected(opened)) {
            return;  // pulled out: the transfer fails at once
        }
    }
}

Refusal EndSend(const Opened& opened, const unsigned char* data, size_t length, int result) noexcept {
    const Transfer kind = SendKind(data, length);
    Guard guard(Shared());
    Refusal refusal;
    DisplaySlot* slot = EndingSlotLocked(opened, kind, length, kFaultSend, &refusal);
    if (!slot) {
        return refusal;
    }
    // What reaches the display: exactly its feature report length.
    const size_t wire = opened.iface->featureLength;
    unsigned char bytes[kVendorFeatureLength] = {};
    std::memcpy(bytes, data, std::min(length, wire));
    const int64_t ticks = LogTransferLocked(opened, kind, length, static_cast<int>(wire), result, bytes);
    if (kind == kTransferQuery) {
        ++slot->queries;
        slot->wrongIdPending = (slot->faults & kFaultWrongReportId) != 0 ? 1 : 0;
        return Refusal::kNone;
    }
    Shown shown{};
    DecodeTemperatureReport(bytes, wire, &shown);
    shown.reports = slot->shown.reports + 1;
    shown.ticks = ticks;
    slot->shown = shown;
    return Refusal::kNone;
}

Refusal EndGet(const Opened& opened, unsigned char* data, size_t length, ReplyId replyId,
               int* bytes) noexcept {
    Guard guard(Shared());
    Refusal refusal;
    DisplaySlot* slot = EndingSlotLocked(opened, kTransferGet, length, kFaultGet, &refusal);
    if (!slot) {
        return refusal;
    }
    const size_t wire = opened.iface->featureLength;
    unsigned char reply[kVendorFeatureLength] = {};
    reply[0] = slot->wrongIdPending ? kReportId - 1 : kReportId;
    reply[1] = static_cast<unsigned char>(slot->firmware >> 8);
    reply[2] = static_cast<unsigned char>(slot->firmware & 0xFF);
    slot->wrongIdPending = 0;
    const size_t from = replyId == ReplyId::kAsRequested ? 1 : 0;
    std::memcpy(data + from, reply + from, wire - from);
    *bytes = static_cast<int>(wire);
    LogTransferLocked(opened, kTransferGet, length, *bytes, *bytes, reply);
    return Refusal::kNone;
}

void LogUnfinished(const Opened& opened, Transfer kind, size_t length) noexcept {
    Guard guard(Shared());
    LogFailedLocked(opened, kind, length);
}

}  // namespace vdisplay
