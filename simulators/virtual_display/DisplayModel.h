#pragma once

// What the virtual collections do, the one model both stand-ins answer from: the stand-in hidapi.dll through
// hidapi's functions, the stand-in hid.dll through the Windows HID calls beneath the real hidapi.dll.
//
// - A collection opens only while its display is plugged in and its collections are ready. A display the
//   system refuses (fault `open`) cannot be opened at all; one that another program holds for itself (fault
//   `exclusive`) opens only without read or write access, as the pointer always does (Windows keeps reading
//   and writing it to itself). Every open and close is counted in the shared state.
// - A handle dies with an unplug: the display's plug serial has moved on since it was opened.
// - Feature reports go only to a collection that has them, with its report ID; a buffer shorter than the
//   report is refused (a send the caller pads is not), a longer one carries the report's length. What reaches
//   the display is decoded into what it shows; every transfer, failed ones too, is logged.
// - A transfer takes the display's transfer time, without a bound, and fails if the display is pulled out
//   meanwhile or a fault says so.

#include "VirtualDevices.h"

#include <cstddef>
#include <cstdint>

namespace vdisplay {

// Why the model refused; each stand-in reports it its own way (hidapi's error text, a Windows error code).
enum class Refusal {
    kNone,
    kNotPresent,     // not plugged in, or its collections are not ready yet
    kGone,           // pulled out since the handle was opened
    kDenied,         // the system refuses every open of it
    kHeldElsewhere,  // another program holds it: no opening to read or write
    kSystemOwned,    // Windows keeps reading and writing it to itself
    kNoSuchReport,   // the collection has no feature report with that report ID
    kShortBuffer,    // the buffer cannot hold the whole report
    kDeviceFailed,   // the display did not accept the report or did not answer
};

// One open handle of a collection.
struct Opened {
    const Interface* iface = nullptr;  // an entry of kInterfaces
    int32_t serial = 0;                // the display's plug serial when it was opened
};

// What a shorter buffer than the report means for a send.
enum class ShortSend {
    kPadded,   // the caller pads it with zeros, as hidapi does
    kRefused,  // refused, as Windows does
};

// What a reply's byte 0 holds.
enum class ReplyId {
    kAsSent,       // the report ID the display sent
    kAsRequested,  // left as the caller set it: Windows returns the report after it
};

// Opens iface (with read and write access, or without either). On success *opened describes the handle.
[[nodiscard]] Refusal OpenCollection(const Interface& iface, bool readWrite, Opened* opened) noexcept;
// Counts the handle as closed.
void CloseCollection(const Opened& opened) noexcept;
// Whether the handle's display is still the one it was opened on.
[[nodiscard]] bool StillConnected(const Opened& opened) noexcept;

[[nodiscard]] bool InitFails() noexcept;
[[nodiscard]] bool ProductRefused(const Interface& iface) noexcept;

// Whether a report sent to a display is the firmware query rather than a temperature report.
[[nodiscard]] Transfer SendKind(const unsigned char* data, size_t length) noexcept;

// Starts a feature report transfer of kind (a send or kTransferGet) over a buffer of length bytes whose byte
// 0 names the report ID. Gives the display's transfer time in *transferMs, or the refusal (logged as a failed
// transfer). The caller then waits that long, or until the display is pulled out, and ends the transfer.
[[nodiscard]] Refusal BeginTransfer(const Opened& opened, Transfer kind, const unsigned char* buffer,
                                    size_t length, ShortSend shortSend, int* transferMs) noexcept;
// Waits out ms in the calling thread, less if the display is pulled out meanwhile.
void AwaitTransfer(const Opened& opened, int ms) noexcept;
// Delivers a send to the display: the collection's report length of data (zeros past length). result is what
// the caller's call returns, for the log.
[[nodiscard]] Refusal EndSend(const Opened& opened, const unsigned char* data, size_t length,
                              int result) noexcept;
// Reads the display's reply into data (length bytes, at least the report); *bytes is the report's length.
[[nodiscard]] Refusal EndGet(const Opened& opened, unsigned char* data, size_t length, ReplyId replyId,
                             int* bytes) noexcept;
// Logs a transfer that ended before it reached the display (cancelled, or its handle closed).
void LogUnfinished(const Opened& opened, Transfer kind, size_t length) noexcept;

}  // namespace vdisplay
