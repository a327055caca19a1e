// Sets up the virtual display and reads what it shows, for scripts and people running the demo.
//
//   VirtualDisplayCtl reset                      nothing plugged, no faults, default firmware, empty log
//   VirtualDisplayCtl plug K1|K2                 plug a display in (the program gets the arrival)
//   VirtualDisplayCtl unplug K1|K2|all           pull it out (the program gets the removal)
//   VirtualDisplayCtl firmware K1|K2 VERSION     the version the display answers (decimal or 0x hex)
//   VirtualDisplayCtl fault K1|K2 none|LIST      LIST: comma-separated send,product,open,exclusive,
//                                                wrongid,get
//   VirtualDisplayCtl initfail on|off            make hid_init fail, as without a HID library
//   VirtualDisplayCtl arrival MS                 how long after the USB device the HID collections appear
//   VirtualDisplayCtl transfer K1|K2 MS          how long each feature report transfer takes
//   VirtualDisplayCtl state                      one line per display: plugged, firmware, faults, transfer
//                                                time, open handles and opens so far per interface, shown
//   VirtualDisplayCtl log [FROM]                 the logged transfers with sequence number FROM or later
//   VirtualDisplayCtl wait K1|K2 COUNT MS        wait up to MS ms until the display has COUNT reports
//
// Exit code: 0 done, 2 bad arguments, 3 the shared state cannot be opened, 4 the wait timed out.

#include "VirtualDisplayState.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>

namespace {

using vdisplay::Block;

constexpr int kBadArguments = 2;
constexpr int kNoState = 3;
constexpr int kTimedOut = 4;

struct FaultName {
    const wchar_t* name;
    uint32_t bit;
};
constexpr FaultName kFaultNames[] = {{L"send", vdisplay::kFaultSend},
                                     {L"product", vdisplay::kFaultProduct},
                                     {L"open", vdisplay::kFaultOpen},
                                     {L"exclusive", vdisplay::kFaultExclusive},
                                     {L"wrongid", vdisplay::kFaultWrongReportId},
                                     {L"get", vdisplay::kFaultGet}};

bool ParseFaults(const wchar_t* text, uint32_t* faults) {
    *faults = 0;
    if (_wcsicmp(text, L"none") == 0) {
        return true;
    }
    std::wstring list(text);
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = list.find(L',', start);
        const std::wstring item =
            list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        bool known = false;
        for (const FaultName& f : kFaultNames) {
            if (_wcsicmp(item.c_str(), f.name) == 0) {
                *faults |= f.bit;
                known = true;
            }
        }
        if (!known) {
            return false;
        }
        if (comma == std::wstring::npos) {
            break;
        }
        start = comma + 1;
    }
    return true;
}

std::wstring FaultText(uint32_t faults) {
    std::wstring text;
    for (const FaultName& f : kFaultNames) {
        if (faults & f.bit) {
            text += (text.empty() ? L"" : L",") + std::wstring(f.name);
        }
    }
    return text.empty() ? L"none" : text;
}

bool ParseNumber(const wchar_t* text, long* value) {
    wchar_t* end = nullptr;
    *value = std::wcstol(text, &end, 0);
    return end != text && *end == L'\0';
}

long long Microseconds(int64_t ticks, int64_t frequency) {
    if (frequency <= 0) {
        return 0;
    }
    return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}

void PrintShown(const vdisplay::Shown& s) {
    std::wprintf(L"shown=%03d level=%d unit=%ls second=%03d light=%ls valid=%d", s.value, s.level,
                 s.fahrenheit == 1 ? L"F" : (s.fahrenheit == 0 ? L"C" : L"?"), s.second,
                 s.lightOn ? L"on" : L"off", s.valid);
}

void PrintState(const Block& block) {
    for (int d = 0; d < vdisplay::kDisplayCount; ++d) {
        const vdisplay::DisplaySlot& slot = block.displays[d];
        std::wprintf(
            L"%ls plugged=%d firmware=0x%04X faults=%ls transfer_ms=%d open=%d/%d opens=%d/%d queries=%d "
            L"failed_sends=%d reports=%d ",
            vdisplay::DisplayName(d), slot.plugged, static_cast<unsigned>(slot.firmware),
            FaultText(slot.faults).c_str(), slot.transferMs, slot.openHandles[0], slot.openHandles[1],
            slot.opensTotal[0], slot.opensTotal[1], slot.queries, slot.failedSends, slot.shown.reports);
        if (slot.shown.reports > 0) {
            PrintShown(slot.shown);
        } else {
            std::wprintf(L"shown=none");
        }
        std::wprintf(L"\n");
    }
    std::wprintf(L"arrival_ms=%d\n", block.arrivalDelayMs);
}

const wchar_t* TransferName(int32_t kind) {
    switch (kind) {
        case vdisplay::kTransferReport:
            return L"report";
        case vdisplay::kTransferQuery:
            return L"query";
        default:
            return L"get";
    }
}

// One line per transfer: sequence, microseconds, display, kind, the caller's length, the bytes on the wire
// (0 if it failed), the call's result, bytes 0-7, and for a delivered temperature report what it shows.
void PrintLog(const Block& block, long from) {
    const int32_t start = static_cast<int32_t>(std::clamp<long>(from, 1, INT32_MAX));
    vdisplay::ForEachLogged(block, start, [&](const vdisplay::LogEntry& e) {
        std::wprintf(L"%d %lld %ls %ls length=%d wire=%d result=%d %02X %02X %02X %02X %02X %02X %02X %02X",
                     e.sequence, Microseconds(e.ticks, block.frequency), vdisplay::DisplayName(e.display),
                     TransferName(e.kind), e.length, e.wire, e.result, e.raw[0], e.raw[1], e.raw[2], e.raw[3],
                     e.raw[4], e.raw[5], e.raw[6], e.raw[7]);
        if (e.kind == vdisplay::kTransferReport && e.wire > 0) {
            vdisplay::Shown shown{};
            vdisplay::DecodeTemperatureReport(e.raw, sizeof(e.raw), &shown);
            std::wprintf(L" ");
            PrintShown(shown);
        }
        std::wprintf(L"\n");
    });
}

int Usage() {
    std::fwprintf(
        stderr,
        L"usage: VirtualDisplayCtl reset | plug K1|K2 | unplug K1|K2|all | firmware K1|K2 VERSION |\n"
        L"       fault K1|K2 none|send,product,open,exclusive,wrongid,get | initfail on|off | arrival MS |\n"
        L"       transfer K1|K2 MS | state | log [FROM] | wait K1|K2 COUNT MS\n");
    return kBadArguments;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return Usage();
    }
    const std::wstring command = argv[1];
    vdisplay::State state;
    if (!state.Open()) {
        std::fwprintf(stderr, L"VirtualDisplayCtl: the shared state cannot be opened\n");
        return kNoState;
    }
    const int display = argc >= 3 ? vdisplay::ParseDisplayName(argv[2]) : -1;

    if (command == L"reset" && argc == 2) {
        state.Reset();
    } else if (command == L"plug" && argc == 3 && display >= 0) {
        state.SetPlugged(display, true);
    } else if (command == L"unplug" && argc == 3 && (display >= 0 || _wcsicmp(argv[2], L"all") == 0)) {
        for (int d = 0; d < vdisplay::kDisplayCount; ++d) {
            if (display < 0 || d == display) {
                state.SetPlugged(d, false);
            }
        }
    } else if (command == L"firmware" && argc == 4 && display >= 0) {
        long version = 0;
        if (!ParseNumber(argv[3], &version) || version < 0 || version > 0xFFFF) {
            return Usage();
        }
        state.SetFirmware(display, static_cast<int>(version));
    } else if (command == L"fault" && argc == 4 && display >= 0) {
        uint32_t faults = 0;
        if (!ParseFaults(argv[3], &faults)) {
            return Usage();
        }
        state.SetFaults(display, faults);
    } else if (command == L"initfail" && argc == 3 &&
               (_wcsicmp(argv[2], L"on") == 0 || _wcsicmp(argv[2], L"off") == 0)) {
        state.SetInitFails(_wcsicmp(argv[2], L"on") == 0);
    } else if (command == L"arrival" && argc == 3) {
        long ms = 0;
        if (!ParseNumber(argv[2], &ms) || ms < 0 || ms > vdisplay::kLongestDelayMs) {
            return Usage();
        }
        state.SetArrivalDelay(static_cast<int>(ms));
    } else if (command == L"transfer" && argc == 4 && display >= 0) {
        long ms = 0;
        if (!ParseNumber(argv[3], &ms) || ms < 0 || ms > vdisplay::kLongestDelayMs) {
            return Usage();
        }
        state.SetTransferTime(display, static_cast<int>(ms));
    } else if ((command == L"state" && argc == 2) || (command == L"log" && argc <= 3)) {
        long from = 1;
        if (argc == 3 && !ParseNumber(argv[2], &from)) {
            return Usage();
        }
        auto block = std::make_unique<Block>();
        state.Copy(block.get());
        if (command == L"state") {
            PrintState(*block);
        } else {
            PrintLog(*block, from);
        }
    } else if (command == L"wait" && argc == 5 && display >= 0) {
        long count = 0;
        long ms = 0;
        if (!ParseNumber(argv[3], &count) || !ParseNumber(argv[4], &ms) || ms < 0) {
            return Usage();
        }
        const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(ms);
        for (;;) {
            int32_t reports = 0;
            {
                vdisplay::Guard guard(state);
                reports = state.Get()->displays[display].shown.reports;
            }
            if (reports >= count) {
                break;
            }
            if (::GetTickCount64() >= deadline) {
                return kTimedOut;
            }
            ::Sleep(20);
        }
    } else {
        return Usage();
    }
    std::fflush(stdout);
    return 0;
}
