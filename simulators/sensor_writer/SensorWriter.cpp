// Writes given float32 values straight into the sensor server's shared block, for tests that need exact
// values at exact moments.
//
//   SensorWriter.exe [--size N] [--hold NAME] OFFSET=VALUE...
//
// --size N     bytes of the block when this tool creates it (default 772)
// --hold NAME  after writing, set event "NAME_ready" and keep the block open until event "NAME_done" is set
//              (at most 60 s), so a reader can find it even when nobody else holds it
// VALUE        a decimal float, or nan, inf, -inf
// Exit code: 0 written, 2 bad arguments, 3 the block could not be created or mapped.

#include "SensorBlock.h"
#include "win/Handle.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>
#include <string>
#include <vector>

namespace {

bool ParseFloat(const wchar_t* text, float* out) {
    if (_wcsicmp(text, L"nan") == 0) {
        *out = std::numeric_limits<float>::quiet_NaN();
        return true;
    }
    if (_wcsicmp(text, L"inf") == 0) {
        *out = std::numeric_limits<float>::infinity();
        return true;
    }
    if (_wcsicmp(text, L"-inf") == 0) {
        *out = -std::numeric_limits<float>::infinity();
        return true;
    }
    wchar_t* end = nullptr;
    double value = std::wcstod(text, &end);
    if (end == text || *end != L'\0') {
        return false;
    }
    *out = static_cast<float>(value);
    return true;
}

struct Write {
    unsigned long offset;
    float value;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD size = kSensorBlockSize;
    std::wstring hold;
    std::vector<Write> writes;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--size") == 0 && i + 1 < argc) {
            size = std::wcstoul(argv[++i], nullptr, 10);
        } else if (std::wcscmp(argv[i], L"--hold") == 0 && i + 1 < argc) {
            hold = argv[++i];
        } else {
            const wchar_t* eq = std::wcschr(argv[i], L'=');
            Write w{};
            if (!eq || !ParseFloat(eq + 1, &w.value)) {
                std::fwprintf(stderr, L"bad argument: %ls\n", argv[i]);
                return 2;
            }
            w.offset = std::wcstoul(argv[i], nullptr, 10);
            writes.push_back(w);
        }
    }
    if (size == 0) {
        return 2;
    }
    const UniqueHandle section(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, kSensorBlockName));
    if (!section) {
        return 3;
    }
    const UniqueMapView mapping(::MapViewOfFile(section.get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!mapping) {
        return 3;
    }
    auto* view = static_cast<unsigned char*>(mapping.get());
    for (const Write& w : writes) {
        if (w.offset + sizeof(float) <= size) {
            std::memcpy(view + w.offset, &w.value, sizeof(float));
        }
    }
    if (!hold.empty()) {
        const UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, (hold + L"_ready").c_str()));
        const UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, (hold + L"_done").c_str()));
        ::SetEvent(ready.get());
        ::WaitForSingleObject(done.get(), 60000);
    }
    return 0;
}
