#include "ScriptedReadings.h"

#include "Text.h"

#include <charconv>
#include <cmath>

namespace {

// A finite float32 written in plain decimal; "nan", "inf" and values beyond the float range are refused.
bool ParseNumber(std::string_view text, float* value) {
    text = Trim(text);
    if (!text.empty() && text[0] == '+') {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && ptr == text.data() + text.size() && std::isfinite(*value);
}

}  // namespace

std::vector<ScriptedReading> ParseScriptedReadings(std::string_view text,
                                                   std::vector<std::string>* messages) {
    std::vector<ScriptedReading> rows;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    size_t lineNumber = 0;
    size_t reported = 0;
    size_t unreported = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (rows.size() == kMaxScriptRows) {
            messages->push_back("csv line " + std::to_string(lineNumber) + " and after: more than " +
                                std::to_string(kMaxScriptRows) + " rows, the rest is ignored");
            break;
        }
        const size_t comma = line.find(',');
        ScriptedReading row{};
        if (comma != std::string_view::npos && ParseNumber(line.substr(0, comma), &row.temperature) &&
            ParseNumber(line.substr(comma + 1), &row.second)) {
            rows.push_back(row);
            continue;
        }
        // Two places stay free: for the count of unreported lines and for the row limit.
        if (reported + 2 < kMaxScriptMessages) {
            ++reported;
            messages->push_back("csv line " + std::to_string(lineNumber) +
                                ": expected two numbers (temperature, second reading), skipped: " +
                                PrintableExcerpt(std::string(line)));
        } else {
            ++unreported;
        }
    }
    if (unreported > 0) {
        messages->push_back("csv: " + std::to_string(unreported) + " more malformed lines skipped");
    }
    return rows;
}
