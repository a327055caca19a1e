#include "VirtualDisplayState.h"

#include <cstring>
#include <cwchar>
#include <string>

namespace vdisplay {

namespace {

constexpr uint32_t kMagic = 0x56445332;  // "VDS2"
constexpr wchar_t kMappingName[] = L"CalidraVirtualDisplay_state";
constexpr wchar_t kMutexName[] = L"CalidraVirtualDisplay_lock";
constexpr int32_t kDefaultFirmware[kDisplayCount] = {0x0102, 0x0201};

std::wstring NotifyEventName(DWORD pid) {
    return L"CalidraVirtualDisplay_notify_" + std::to_wstring(pid);
}

int Bounded(int ms) noexcept {
    return ms < 0 ? 0 : (ms > kLongestDelayMs ? kLongestDelayMs : ms);
}

std::wstring BackingFile() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"ProgramData", folder, MAX_PATH);
    std::wstring path = (n > 0 && n < MAX_PATH) ? std::wstring(folder) : std::wstring(L"C:\\ProgramData");
    return path + L"\\CalidraVirtualDisplay.state";
}

}  // namespace

int64_t Now() noexcept {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t TicksPerSecond() noexcept {
    static const int64_t frequency = [] {
        LARGE_INTEGER f{};
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return frequency;
}

const wchar_t* DisplayName(int display) noexcept {
    return display == 0 ? L"K1" : L"K2";
}

int ParseDisplayName(const wchar_t* text) noexcept {
    if (_wcsicmp(text, L"K1") == 0) {
        return 0;
    }
    if (_wcsicmp(text, L"K2") == 0) {
        return 1;
    }
    return -1;
}

void DecodeTemperatureReport(const unsigned char* data, size_t length, Shown* shown) noexcept {
    unsigned char bytes[65] = {};
    std::memcpy(bytes, data, length < sizeof(bytes) ? length : sizeof(bytes));
    bool restZero = true;
    for (size_t i = kRawBytes; i < sizeof(bytes); ++i) {
        restZero = restZero && bytes[i] == 0;
    }
    const int level = bytes[4] >> 4;
    const int unit = bytes[4] & 0x0F;
    bool digitsOk = true;
    for (int i : {1, 2, 3, 5, 6, 7}) {
        digitsOk = digitsOk && bytes[i] <= 9;
    }
    bool lightOn = false;
    for (int i = 1; i <= 7; ++i) {
        lightOn = lightOn || bytes[i] != 0;
    }
    shown->valid = (digitsOk && level <= 10 && unit <= 1 && restZero) ? 1 : 0;
    shown->lightOn = lightOn ? 1 : 0;
    shown->value = bytes[1] * 100 + bytes[2] * 10 + bytes[3];
    shown->level = level;
    shown->fahrenheit = unit;
    shown->second = bytes[5] * 100 + bytes[6] * 10 + bytes[7];
    std::memcpy(shown->raw, bytes, kRawBytes);
}

bool State::Open() noexcept {
    mutex_.reset(::CreateMutexW(nullptr, FALSE, kMutexName));
    if (!mutex_) {
        return false;
    }
    Guard guard(*this);
    UniqueFileHandle file(::CreateFileW(BackingFile().c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    mapping_.reset(::CreateFileMappingW(file.get(), nullptr, PAGE_READWRITE, 0, sizeof(Block), kMappingName));
    if (!mapping_) {
        return false;
    }
    view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(Block)));
    if (!view_) {
        return false;
    }
    block_ = static_cast<Block*>(view_.get());
    if (block_->magic != kMagic || block_->size != sizeof(Block)) {
        InitializeLocked();
    }
    return true;
}

void State::Lock() const noexcept {
    // An owner that died while holding the lock leaves it abandoned; the state is still usable.
    ::WaitForSingleObject(mutex_.get(), INFINITE);
}

void State::Unlock() const noexcept {
    ::ReleaseMutex(mutex_.get());
}

void State::InitializeLocked() noexcept {
    std::memset(block_, 0, sizeof(Block));
    block_->magic = kMagic;
    block_->size = sizeof(Block);
    block_->frequency = TicksPerSecond();
    block_->arrivalDelayMs = kDefaultArrivalDelayMs;
    for (int i = 0; i < kDisplayCount; ++i) {
        block_->displays[i].firmware = kDefaultFirmware[i];
    }
}

void State::Reset() noexcept {
    Guard guard(*this);
    uint32_t listeners[kListenerCapacity];
    std::memcpy(listeners, block_->listeners, sizeof(listeners));
    int32_t serials[kDisplayCount];
    bool wasPlugged = false;
    for (int i = 0; i < kDisplayCount; ++i) {
        serials[i] = block_->displays[i].plugSerial;
        wasPlugged = wasPlugged || block_->displays[i].plugged;
    }
    InitializeLocked();
    std::memcpy(block_->listeners, listeners, sizeof(listeners));
    for (int i = 0; i < kDisplayCount; ++i) {
        block_->displays[i].plugSerial = serials[i];
    }
    if (wasPlugged) {
        NotifyListenersLocked();
    }
}

void State::SetPlugged(int display, bool plugged) noexcept {
    Guard guard(*this);
    DisplaySlot& slot = block_->displays[display];
    if ((slot.plugged != 0) == plugged) {
        return;
    }
    slot.plugged = plugged ? 1 : 0;
    if (plugged) {
        ++slot.plugSerial;
        slot.readyTicks = Now() + block_->frequency * block_->arrivalDelayMs / 1000;
    }
    NotifyListenersLocked();
}

void State::SetFirmware(int display, int version) noexcept {
    Guard guard(*this);
    block_->displays[display].firmware = version & 0xFFFF;
}

void State::SetFaults(int display, uint32_t faults) noexcept {
    Guard guard(*this);
    block_->displays[display].faults = faults;
}

void State::SetInitFails(bool fails) noexcept {
    Guard guard(*this);
    block_->initFails = fails ? 1 : 0;
}

void State::SetArrivalDelay(int ms) noexcept {
    Guard guard(*this);
    block_->arrivalDelayMs = Bounded(ms);
}

void State::SetTransferTime(int display, int ms) noexcept {
    Guard guard(*this);
    block_->displays[display].transferMs = Bounded(ms);
}

void State::Copy(Block* out) const noexcept {
    Guard guard(*this);
    std::memcpy(out, block_, sizeof(Block));
}

HANDLE State::Listen() noexcept {
    const DWORD pid = ::GetCurrentProcessId();
    HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, NotifyEventName(pid).c_str());
    if (!event) {
        return nullptr;
    }
    Guard guard(*this);
    NotifyListenersLocked();  // drops the slots of processes that are gone
    for (uint32_t& listener : block_->listeners) {
        if (listener == 0 || listener == pid) {
            listener = pid;
            break;
        }
    }
    // The wake-up above may have hit this process's own new event: nothing changed for it.
    ::ResetEvent(event);
    return event;
}

void State::NotifyListenersLocked() noexcept {
    for (uint32_t& listener : block_->listeners) {
        if (listener == 0) {
            continue;
        }
        UniqueHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, NotifyEventName(listener).c_str()));
        if (event) {
            ::SetEvent(event.get());
        } else {
            listener = 0;  // that process has ended
        }
    }
}

}  // namespace vdisplay
