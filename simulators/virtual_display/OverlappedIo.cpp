#include "OverlappedIo.h"

#include "win/Handle.h"

#include <hidclass.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <vector>

namespace vdisplay {

namespace {

constexpr LONG kStatusCancelled = static_cast<LONG>(0xC0000120);
constexpr DWORD kConnectionCheckMs = 10;  // how often pending requests look for a pull-out
constexpr int64_t kNever = INT64_MAX;

enum class Request { kSend, kGet, kRead };

struct PendingIo {
    CollectionHandle collection;
    OVERLAPPED* overlapped;  // the caller's, until the request completes
    DWORD thread;            // the thread that made the request, for CancelIo
    Request request;
    Transfer kind;
    unsigned char* buffer;  // the caller's report buffer
    size_t length;
    int64_t dueTicks;  // when the transfer is done; kNever for a read (no input report ever arrives)
    bool inCall;       // made without an OVERLAPPED: its caller waits in the call
};

std::mutex g_mutex;  // before the shared state's lock, never after it
std::vector<PendingIo> g_pending;
HANDLE g_wake = nullptr;  // owned for the process's life

HANDLE EventOf(const OVERLAPPED* overlapped) noexcept {
    // The low bit only tells the system not to queue a completion packet.
    return reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(overlapped->hEvent) & ~ULONG_PTR{1});
}

void SignalCompleted(const PendingIo& io, LONG status, ULONG_PTR bytes) noexcept {
    io.overlapped->InternalHigh = bytes;
    ::MemoryBarrier();  // a reader that sees the status must see the count
    io.overlapped->Internal = static_cast<ULONG_PTR>(static_cast<ULONG>(status));
    ::SetEvent(io.collection.handle);
    if (HANDLE event = EventOf(io.overlapped)) {
        ::SetEvent(event);
    }
}

// Completes io with the display's answer. Called with g_mutex held.
void FinishLocked(PendingIo& io) noexcept {
    int bytes = 0;
    Refusal refusal;
    if (io.request == Request::kGet) {
        refusal = EndGet(io.collection.opened, io.buffer, io.length, ReplyId::kAsRequested, &bytes);
    } else {
        bytes = static_cast<int>(std::min<size_t>(io.length, io.collection.opened.iface->featureLength));
        refusal = EndSend(io.collection.opened, io.buffer, io.length, bytes);
    }
    SignalCompleted(io, CompletionStatus(refusal),
                    refusal == Refusal::kNone ? static_cast<ULONG_PTR>(bytes) : 0);
}

// Completes io without an answer. Called with g_mutex held.
void AbandonLocked(const PendingIo& io, LONG status) noexcept {
    if (io.request != Request::kRead) {
        LogUnfinished(io.collection.opened, io.kind, io.length);
    }
    SignalCompleted(io, status, 0);
}

// Settles io if it is over: a pull-out abandons it, a transfer whose time has passed completes. Called with
// g_mutex held; true when io is done.
bool SettleLocked(PendingIo& io, int64_t now) noexcept {
    if (!StillConnected(io.collection.opened)) {
        AbandonLocked(io, CompletionStatus(Refusal::kGone));
        return true;
    }
    if (now < io.dueTicks) {
        return false;
    }
    FinishLocked(io);
    return true;
}

// How long to wait for io: until its transfer is done, at most until the next look for a pull-out.
int64_t WaitMsFor(const PendingIo& io, int64_t now, int64_t frequency) noexcept {
    const int64_t ahead = io.dueTicks - std::min(io.dueTicks, now);
    if (ahead >= frequency) {  // further ahead than a second: the next look comes first
        return kConnectionCheckMs;
    }
    return std::min<int64_t>(kConnectionCheckMs, ahead == 0 ? 0 : ahead * 1000 / frequency + 1);
}

// The completing thread carries the requests made with an OVERLAPPED (the caller does not wait in the call);
// it runs only while such requests are pending, so a process that waits in its calls holds no thread of
// ours, as with the system's driver.
bool g_completerRunning = false;

DWORD WINAPI CompleteRequests(void*) {
    const int64_t frequency = TicksPerSecond();
    DWORD wait = 0;
    for (;;) {
        if (::WaitForSingleObject(g_wake, wait) == WAIT_FAILED) {
            std::lock_guard lock(g_mutex);
            g_completerRunning = false;
            return 0;
        }
        std::lock_guard lock(g_mutex);
        const int64_t now = Now();
        std::erase_if(g_pending, [&](PendingIo& io) { return SettleLocked(io, now); });
        if (g_pending.empty()) {
            g_completerRunning = false;
            return 0;
        }
        int64_t next = kConnectionCheckMs;
        for (const PendingIo& io : g_pending) {
            next = std::min(next, WaitMsFor(io, now, frequency));
        }
        wait = static_cast<DWORD>(next);
    }
}

// Makes the request pending. One made with an OVERLAPPED is ended by the completing thread (started when
// none runs); one without is ended by its caller (WaitInCall), or by that thread if it runs anyway.
void StartPending(PendingIo io) noexcept {
    io.overlapped->Internal = STATUS_PENDING;
    io.overlapped->InternalHigh = 0;
    ::ResetEvent(io.collection.handle);
    if (HANDLE event = EventOf(io.overlapped)) {
        ::ResetEvent(event);
    }
    std::lock_guard lock(g_mutex);
    if (!g_wake) {
        g_wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    g_pending.push_back(io);
    if (!io.inCall && g_wake && !g_completerRunning) {
        const UniqueHandle completer(::CreateThread(nullptr, 0, &CompleteRequests, nullptr, 0, nullptr));
        g_completerRunning = completer.get() != nullptr;
    }
    if (g_completerRunning) {
        ::SetEvent(g_wake);
    }
}

// Waits for a request made without an OVERLAPPED (own) on the calling thread, as the system does, settling it
// here unless a close or the completing thread does first.
void WaitInCall(const OVERLAPPED* own, HANDLE event) noexcept {
    const int64_t frequency = TicksPerSecond();
    DWORD wait = 0;
    while (::WaitForSingleObject(event, wait) == WAIT_TIMEOUT) {
        std::lock_guard lock(g_mutex);
        const auto io = std::find_if(g_pending.begin(), g_pending.end(),
                                     [&](const PendingIo& p) { return p.overlapped == own; });
        if (io == g_pending.end()) {
            continue;  // settled elsewhere: its event is set
        }
        const int64_t now = Now();
        if (SettleLocked(*io, now)) {
            g_pending.erase(io);
            continue;
        }
        wait = static_cast<DWORD>(WaitMsFor(*io, now, frequency));
    }
}

// Issues a request on a virtual collection: pending with an OVERLAPPED, else waited for here. *done receives
// the byte count of a request that completed before the call returns.
BOOL Issue(PendingIo io, DWORD* done) noexcept {
    if (io.overlapped) {
        StartPending(io);
        ::SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    // As the system does for a call without an OVERLAPPED: a private one, waited for.
    UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        return FALSE;
    }
    OVERLAPPED own{};
    own.hEvent = event.get();
    io.overlapped = &own;
    io.inCall = true;
    StartPending(io);
    WaitInCall(&own, event.get());
    DWORD bytes = 0;
    const BOOL ok = ::GetOverlappedResult(io.collection.handle, &own, &bytes, FALSE);
    if (done) {
        *done = bytes;
    }
    return ok;
}

BOOL IssueFeatureRequest(const CollectionHandle& collection, bool get, unsigned char* buffer, DWORD length,
                         LPOVERLAPPED overlapped, DWORD* done) noexcept {
    const Transfer kind = get ? kTransferGet : SendKind(buffer, length);
    int transferMs = 0;
    const Refusal refusal =
        BeginTransfer(collection.opened, kind, buffer, buffer ? length : 0, ShortSend::kRefused, &transferMs);
    if (refusal != Refusal::kNone) {
        ::SetLastError(WindowsError(refusal));
        return FALSE;
    }
    const int64_t due = Now() + TicksPerSecond() * transferMs / 1000;
    return Issue(PendingIo{collection, overlapped, ::GetCurrentThreadId(),
                           get ? Request::kGet : Request::kSend, kind, buffer, length, due, false},
                 done);
}

// Completes the pending requests on handle (of the calling thread only, if thread is not 0) as cancelled.
void CancelPending(HANDLE handle, DWORD thread) noexcept {
    std::lock_guard lock(g_mutex);
    std::erase_if(g_pending, [&](const PendingIo& io) {
        if (io.collection.handle != handle || (thread != 0 && io.thread != thread)) {
            return false;
        }
        AbandonLocked(io, kStatusCancelled);
        return true;
    });
}

}  // namespace

BOOL WINAPI ControlCollection(HANDLE handle, DWORD code, LPVOID in, DWORD inLength, LPVOID out,
                              DWORD outLength, LPDWORD returned, LPOVERLAPPED overlapped) {
    CollectionHandle collection;
    if (!FindCollection(handle, &collection)) {
        return ::DeviceIoControl(handle, code, in, inLength, out, outLength, returned, overlapped);
    }
    switch (code) {
        case IOCTL_HID_SET_FEATURE:
            return IssueFeatureRequest(collection, false, static_cast<unsigned char*>(in), inLength,
                                       overlapped, returned);
        case IOCTL_HID_GET_FEATURE:
            return IssueFeatureRequest(collection, true, static_cast<unsigned char*>(out), outLength,
                                       overlapped, returned);
        default:
            ::SetLastError(ERROR_INVALID_FUNCTION);
            return FALSE;
    }
}

BOOL WINAPI ReadCollection(HANDLE handle, LPVOID buffer, DWORD length, LPDWORD read,
                           LPOVERLAPPED overlapped) {
    CollectionHandle collection;
    if (!FindCollection(handle, &collection)) {
        return ::ReadFile(handle, buffer, length, read, overlapped);
    }
    const unsigned short reportLength = collection.opened.iface->inputLength;
    DWORD error = ERROR_SUCCESS;
    if ((collection.access & GENERIC_READ) == 0) {
        error = ERROR_ACCESS_DENIED;
    } else if (!StillConnected(collection.opened)) {
        error = ERROR_DEVICE_NOT_CONNECTED;
    } else if (reportLength == 0) {
        error = ERROR_INVALID_FUNCTION;
    } else if (!buffer || length < reportLength) {
        error = ERROR_INVALID_PARAMETER;
    }
    if (error != ERROR_SUCCESS) {
        ::SetLastError(error);
        return FALSE;
    }
    return Issue(PendingIo{collection, overlapped, ::GetCurrentThreadId(), Request::kRead, kTransferGet,
                           static_cast<unsigned char*>(buffer), length, kNever, false},
                 read);
}

BOOL WINAPI WriteCollection(HANDLE handle, LPCVOID buffer, DWORD length, LPDWORD written,
                            LPOVERLAPPED overlapped) {
    CollectionHandle collection;
    if (!FindCollection(handle, &collection)) {
        return ::WriteFile(handle, buffer, length, written, overlapped);
    }
    ::SetLastError((collection.access & GENERIC_WRITE) == 0 ? ERROR_ACCESS_DENIED : ERROR_INVALID_FUNCTION);
    return FALSE;
}

BOOL WINAPI CancelCollectionIo(HANDLE handle) {
    CollectionHandle collection;
    if (!FindCollection(handle, &collection)) {
        return ::CancelIo(handle);
    }
    CancelPending(handle, ::GetCurrentThreadId());
    return TRUE;
}

BOOL WINAPI CloseCollectionFile(HANDLE handle) {
    CollectionHandle collection;
    if (FindCollection(handle, &collection)) {
        CancelPending(handle, 0);
        static_cast<void>(ForgetCollection(handle));
    }
    return ::CloseHandle(handle);
}

bool TransferFeatureReport(const CollectionHandle& collection, bool get, void* buffer,
                           ULONG length) noexcept {
    return IssueFeatureRequest(collection, get, static_cast<unsigned char*>(buffer), length, nullptr,
                               nullptr) != FALSE;
}

}  // namespace vdisplay
