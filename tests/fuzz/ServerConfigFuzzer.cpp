// The sensor server's configuration file, whatever it holds: the settings stay within their limits, a chosen
// script always names an absolute file, and every message is one printable line of bounded length.

#include "FuzzCheck.h"

#include "ServerConfig.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::wstring kFolder = L"C:\\Program Files\\Calidra\\Termivox\\";
constexpr size_t kLongestMessage = 200;

bool IsAbsoluteWindowsPath(const std::wstring& path) {
    return (path.size() >= 2 && path[1] == L':') || path.starts_with(L"\\\\");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> messages;
    const ServerConfig config = ParseServerConfig(text, kFolder, &messages);

    FUZZ_CHECK(config.periodMs >= kMinPeriodMs && config.periodMs <= kMaxPeriodMs);
    FUZZ_CHECK(config.source != ReadingSource::Scripted || !config.csvPath.empty());
    for (const std::wstring* path : {&config.csvPath, &config.sysfsRoot}) {
        FUZZ_CHECK(path->empty() || IsAbsoluteWindowsPath(*path));
        FUZZ_CHECK(path->find(L'/') == std::wstring::npos);
    }
    FUZZ_CHECK(!config.sysfsRoot.empty());

    const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    FUZZ_CHECK(messages.size() <= lines + 1);
    for (const std::string& message : messages) {
        FUZZ_CHECK(fuzz::IsPrintableAscii(message));
        FUZZ_CHECK(message.size() <= kLongestMessage);
    }
    return 0;
}
