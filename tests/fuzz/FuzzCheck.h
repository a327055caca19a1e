#pragma once

// What every fuzzer shares: an invariant check that stops the run with the failed condition, and the ways
// raw input becomes the UTF-16 text the program handles.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// An invariant that must hold for every input; a failure is a finding, and libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                       \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                           \
        }                                                                                           \
    } while (0)

namespace fuzz {

// One UTF-16 unit per byte: mostly ASCII, so digits, dots and separators come often.
inline std::wstring UnitsFromBytes(std::string_view bytes) {
    std::wstring units;
    for (unsigned char b : bytes) {
        units.push_back(static_cast<wchar_t>(b));
    }
    return units;
}

// One UTF-16 unit per two bytes (little-endian): every unit, lone surrogates included.
inline std::wstring UnitsFromPairs(std::string_view bytes) {
    std::wstring units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return units;
}

inline bool IsPrintableAscii(std::string_view text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F) {
            return false;
        }
    }
    return true;
}

}  // namespace fuzz
