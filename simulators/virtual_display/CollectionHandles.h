#pragma once

// File handles of the virtual collections, as CreateFileW gives them for a collection's interface path, and
// how the model's refusals read as Windows errors.
//
// Each handle is a real kernel object (a manual-reset event, which stands for the file in a wait: it is reset
// when I/O on the handle starts and set when it completes), so CloseHandle, WaitForSingleObject and
// GetOverlappedResult work on it as on a device's handle. Opening follows the model (DisplayModel.h): only a
// ready collection opens (ERROR_FILE_NOT_FOUND before), a display the system refuses never
// (ERROR_ACCESS_DENIED), one another program holds not for reading or writing (ERROR_SHARING_VIOLATION), the
// pointer not for reading or writing (ERROR_ACCESS_DENIED).

#include "DisplayModel.h"

#include <windows.h>

namespace vdisplay {

struct CollectionHandle {
    HANDLE handle = nullptr;
    Opened opened;
    DWORD access = 0;  // GENERIC_READ and GENERIC_WRITE as asked for
    bool overlapped = false;
};

// CreateFileW: a collection's interface path opens the virtual collection; every other path goes to the
// system.
HANDLE WINAPI OpenCollectionFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile);

// The virtual collection handle refers to, copied to *out; false for any other handle.
[[nodiscard]] bool FindCollection(HANDLE handle, CollectionHandle* out) noexcept;
// Forgets a virtual collection's handle and counts it closed; false for any other handle. The caller closes
// the kernel object.
[[nodiscard]] bool ForgetCollection(HANDLE handle) noexcept;

// The error Windows reports for what the model refused.
[[nodiscard]] DWORD WindowsError(Refusal refusal) noexcept;
// The status an I/O request that the model refused completes with.
[[nodiscard]] LONG CompletionStatus(Refusal refusal) noexcept;

}  // namespace vdisplay
