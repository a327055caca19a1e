#pragma once

// I/O on the virtual collections' file handles (CollectionHandles.h), as Windows carries it out on a HID
// collection; calls on any other handle go to the system.
//
// - DeviceIoControl with IOCTL_HID_SET_FEATURE (the report in the input buffer) or IOCTL_HID_GET_FEATURE (the
//   report ID in byte 0 of the output buffer) is checked at once; a refusal fails the call with its error
//   (DisplayModel.h). Otherwise the request is pending until the display's transfer time has passed: the call
//   returns FALSE with ERROR_IO_PENDING and the OVERLAPPED's Internal holds STATUS_PENDING. When it
//   completes, InternalHigh takes the byte count and Internal the status, and the file handle and the
//   OVERLAPPED's event (both reset when the request started) are signalled, so the system's
//   GetOverlappedResult and waits work on it unchanged; a thread of the stand-in completes such requests and
//   runs only while one is pending. A pull-out completes it with
//   STATUS_DEVICE_NOT_CONNECTED. Without an OVERLAPPED the call waits for its request on the caller's thread
//   and returns once it has completed. A
//   read leaves byte 0 as the caller set it, as Windows does. Other control codes fail with
//   ERROR_INVALID_FUNCTION: the virtual collections answer no other request.
// - ReadFile needs read access; a collection with input reports keeps the read pending (none ever arrive)
//   until it is cancelled or the display is pulled out; one without fails with ERROR_INVALID_FUNCTION.
// - WriteFile needs write access and fails with ERROR_INVALID_FUNCTION: no collection has output reports.
// - CancelIo completes the calling thread's pending requests on the handle with STATUS_CANCELLED;
//   CloseHandle completes all of them so, then closes the handle.

#include "CollectionHandles.h"

#include <windows.h>

namespace vdisplay {

BOOL WINAPI ControlCollection(HANDLE handle, DWORD code, LPVOID in, DWORD inLength, LPVOID out,
                              DWORD outLength, LPDWORD returned, LPOVERLAPPED overlapped);
BOOL WINAPI ReadCollection(HANDLE handle, LPVOID buffer, DWORD length, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WINAPI WriteCollection(HANDLE handle, LPCVOID buffer, DWORD length, LPDWORD written,
                            LPOVERLAPPED overlapped);
BOOL WINAPI CancelCollectionIo(HANDLE handle);
BOOL WINAPI CloseCollectionFile(HANDLE handle);

// A feature report sent (or read, get) through collection and waited for, as HidD_SetFeature and
// HidD_GetFeature do it: false with the last error set when it fails.
[[nodiscard]] bool TransferFeatureReport(const CollectionHandle& collection, bool get, void* buffer,
                                         ULONG length) noexcept;

}  // namespace vdisplay
