#include "ServerConfig.h"

#include "Text.h"

#include <charconv>

namespace {

bool IsAbsolute(const std::wstring& path) {
    return (path.size() >= 2 && path[1] == L':') ||
           (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\');
}

std::wstring ResolvePath(const std::string& value, const std::wstring& folder) {
    std::wstring path = WideFromUtf8(value);
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return IsAbsolute(path) ? path : folder + path;
}

}  // namespace

ServerConfig ParseServerConfig(std::string_view text, const std::wstring& folder,
                               std::vector<std::string>* messages) {
    ServerConfig config;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    int lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;

        const std::string_view line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') {
            continue;
        }
        const std::string where = "config line " + std::to_string(lineNumber) + ": ";
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            messages->push_back(where +
                                "expected key = value, ignored: " + PrintableExcerpt(std::string(line)));
            continue;
        }
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string value(Trim(line.substr(eq + 1)));
        if (EqualsIgnoringCase(key, "source")) {
            if (EqualsIgnoringCase(value, "system")) {
                config.source = ReadingSource::System;
            } else if (EqualsIgnoringCase(value, "csv")) {
                config.source = ReadingSource::Scripted;
            } else {
                messages->push_back(where +
                                    "source must be system or csv, ignored: " + PrintableExcerpt(value));
            }
        } else if (EqualsIgnoringCase(key, "csv")) {
            if (value.empty()) {
                messages->push_back(where + "csv names no file, ignored");
            } else {
                config.csvPath = ResolvePath(value, folder);
            }
        } else if (EqualsIgnoringCase(key, "period_ms")) {
            unsigned long period = 0;
            const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), period);
            if (ec != std::errc() || ptr != value.data() + value.size() || period < kMinPeriodMs ||
                period > kMaxPeriodMs) {
                messages->push_back(where + "period_ms must be a whole number from " +
                                    std::to_string(kMinPeriodMs) + " to " + std::to_string(kMaxPeriodMs) +
                                    ", ignored: " + PrintableExcerpt(value));
            } else {
                config.periodMs = static_cast<DWORD>(period);
            }
        } else if (EqualsIgnoringCase(key, "sysfs")) {
            if (value.empty()) {
                messages->push_back(where + "sysfs names no folder, ignored");
            } else {
                config.sysfsRoot = ResolvePath(value, folder);
            }
        } else {
            messages->push_back(where + "unknown key, ignored: " + PrintableExcerpt(std::string(key)));
        }
    }
    if (config.source == ReadingSource::Scripted && config.csvPath.empty()) {
        messages->push_back("config: source = csv but no csv file is named; using the system's sensors");
        config.source = ReadingSource::System;
    }
    return config;
}
