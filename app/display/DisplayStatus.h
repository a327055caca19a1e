#pragma once

// What the displays show now, told to the user in one line on the panel ("K1 · 45 °C", "K1 + K2 · 113 °F",
// "K1 · light off", "No display connected"), and which displays came and went, told to the log.
//
// The worker computes the status after each step and posts it to the window packed into 32 bits, so the two
// threads share nothing but the message.

#include <cstdint>
#include <string>
#include <vector>

struct DisplayStatus {
    int count = 0;            // open displays
    int models[2] = {};       // model tags of the first two (kModelK1, kModelK2), 0 when absent
    bool reported = false;    // a temperature report has been sent
    bool lightOn = false;     // the last report's light
    bool fahrenheit = false;  // the last report's unit
    int shown = 0;            // the last report's three digits as a number
};

// Lossless for count 0..15, model tags 0..2 and shown 0..999; larger values are clamped (more than 15
// displays read as 15, an unknown model as "display").
[[nodiscard]] uint32_t PackDisplayStatus(const DisplayStatus& status) noexcept;
[[nodiscard]] DisplayStatus UnpackDisplayStatus(uint32_t packed) noexcept;

// The panel's line: the models (one, two joined by " + ", or "N displays"), " · ", then the reading
// ("45 °C", "113 °F", "light off", or "no reading yet" before the first report).
[[nodiscard]] std::wstring FormatDisplayStatus(const DisplayStatus& status);

// One open display as the log names it.
struct OpenDisplay {
    int model = 0;
    std::string path;
};

// Worker thread: the displays DisplayManager holds open now, in enumeration order.
[[nodiscard]] std::vector<OpenDisplay> ListOpenDisplays();

// Logs "Display found: K1 (path)" for each display in after but not in before, and "Display lost: ..." for
// the reverse (matched by device path).
void LogDisplayChanges(const std::vector<OpenDisplay>& before,
                       const std::vector<OpenDisplay>& after) noexcept;
