// The scripted sensor feed, whatever the CSV file holds: only finite readings, never more rows than the
// limit or lines, and a bounded number of printable messages.

#include "FuzzCheck.h"

#include "ScriptedReadings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr size_t kLongestMessage = 200;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> messages;
    const std::vector<ScriptedReading> rows = ParseScriptedReadings(text, &messages);

    const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    FUZZ_CHECK(rows.size() <= std::min(lines, kMaxScriptRows));
    for (const ScriptedReading& row : rows) {
        FUZZ_CHECK(std::isfinite(row.temperature) && std::isfinite(row.second));
    }
    FUZZ_CHECK(messages.size() <= kMaxScriptMessages);
    for (const std::string& message : messages) {
        FUZZ_CHECK(fuzz::IsPrintableAscii(message));
        FUZZ_CHECK(message.size() <= kLongestMessage);
    }
    return 0;
}
