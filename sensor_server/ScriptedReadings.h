#pragma once

// The scripted source: a CSV file of "temperature, second reading" rows that the server replays in a loop,
// one row per period. Blank lines and lines starting with '#' are skipped silently; any other line that is
// not exactly two finite decimal numbers is skipped with a message.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr size_t kMaxScriptBytes = 4 * 1024 * 1024;
inline constexpr size_t kMaxScriptRows = 100000;
inline constexpr size_t kMaxScriptMessages = 20;

struct ScriptedReading {
    float temperature;  // degrees Celsius
    float second;       // the display's second value
};

// Parses the rows; at most kMaxScriptRows are kept and at most kMaxScriptMessages messages written, the
// row limit's and the count of malformed lines not reported one by one included.
[[nodiscard]] std::vector<ScriptedReading> ParseScriptedReadings(std::string_view text,
                                                                 std::vector<std::string>* messages);
