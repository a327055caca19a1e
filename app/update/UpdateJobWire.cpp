#include "update/UpdateJobWire.h"

#include "update/UpdateResults.h"
#include "update/Versions.h"

#include <climits>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr size_t kHexPerUnit = 4;
constexpr wchar_t kNoVersion[] = L"-";

template <typename Char>
std::basic_string<Char> Hex(const std::wstring& text) {
    std::basic_string<Char> hex;
    for (const wchar_t unit : text) {
        for (int shift = 12; shift >= 0; shift -= 4) {
            hex.push_back(static_cast<Char>(kHexDigits[(static_cast<unsigned>(unit) >> shift) & 0xF]));
        }
    }
    return hex;
}

int HexValue(wchar_t c) noexcept {
    return c >= L'0' && c <= L'9' ? c - L'0' : c >= L'A' && c <= L'F' ? c - L'A' + 10 : -1;
}

// A version text from its hexadecimal form; nothing unless it is well formed and IsVersionText.
template <typename Char>
std::optional<std::wstring> FromHex(std::basic_string_view<Char> hex) {
    if (hex.size() % kHexPerUnit != 0) {
        return std::nullopt;
    }
    std::wstring text;
    for (size_t i = 0; i < hex.size(); i += kHexPerUnit) {
        unsigned unit = 0;
        for (size_t k = 0; k < kHexPerUnit; ++k) {
            const int digit = HexValue(static_cast<wchar_t>(hex[i + k]));
            if (digit < 0) {
                return std::nullopt;
            }
            unit = unit * 16 + static_cast<unsigned>(digit);
        }
        text.push_back(static_cast<wchar_t>(unit));
    }
    if (!IsVersionText(text)) {
        return std::nullopt;
    }
    return text;
}

// A decimal number of at most 10 digits (an optional "-" before them when negative is allowed) within
// [low, high]; nothing otherwise.
template <typename Char>
std::optional<int64_t> Number(std::basic_string_view<Char> text, int64_t low, int64_t high) {
    const bool negative = !text.empty() && text[0] == '-';
    const std::basic_string_view<Char> digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 10) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (const Char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    value = negative ? -value : value;
    if (value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// text split at single spaces; empty fields (two spaces, a leading or trailing one) stay as empty fields.
template <typename Char>
std::vector<std::basic_string_view<Char>> Fields(std::basic_string_view<Char> text) {
    std::vector<std::basic_string_view<Char>> fields;
    size_t start = 0;
    for (size_t space; (space = text.find(Char(' '), start)) != text.npos; start = space + 1) {
        fields.push_back(text.substr(start, space - start));
    }
    fields.push_back(text.substr(start));
    return fields;
}

// Whether a job may report what with detail.
bool IsResult(int64_t what, int64_t detail) noexcept {
    switch (what) {
        case kUpdateSoftware:
        case kUpdateFirmware:
            return detail == 0 || detail == 1;
        case kUpdateInstallerStarted:
            return detail == 0;
        case kUpdateNotInstalled:
            return detail == kUpdateSoftware || detail == kUpdateFirmware;
        default:
            return false;
    }
}

}  // namespace

std::wstring FormatJobArguments(const UpdateJobRequest& request) {
    return std::to_wstring(static_cast<int>(request.command)) + L' ' + std::to_wstring(request.displayModel) +
           L' ' + std::to_wstring(request.firmware) + L' ' +
           (request.version.empty() ? std::wstring(kNoVersion) : Hex<wchar_t>(request.version)) + L' ' +
           std::to_wstring(request.cancelEvent) + L' ' + std::to_wstring(request.program);
}

std::optional<UpdateJobRequest> ParseJobArguments(const std::vector<std::wstring>& args) {
    if (args.size() != 6) {
        return std::nullopt;
    }
    std::vector<std::wstring_view> a(args.begin(), args.end());
    const auto command = Number(a[0], static_cast<int>(WorkerCommand::kSoftwareCheck),
                                static_cast<int>(WorkerCommand::kFirmwareDownload));
    const auto model = Number(a[1], 0, 2);
    const auto firmware = Number(a[2], -1, 0xFFFF);
    const auto version = a[3] == kNoVersion ? std::optional<std::wstring>(std::wstring()) : FromHex(a[3]);
    const auto cancel = Number(a[4], 1, UINT32_MAX);
    const auto program = Number(a[5], 1, UINT32_MAX);
    if (!command || !model || !firmware || !version || !cancel || !program) {
        return std::nullopt;
    }
    return UpdateJobRequest{static_cast<WorkerCommand>(*command), static_cast<int>(*model),
                            static_cast<int>(*firmware),          *version,
                            static_cast<uint32_t>(*cancel),       static_cast<uint32_t>(*program)};
}

std::string FormatResultLine(WPARAM what, LPARAM detail) {
    return "R " + std::to_string(what) + ' ' + std::to_string(detail) + '\n';
}

std::string FormatProgressLine(LPARAM value) {
    return "P " + std::to_string(value) + '\n';
}

std::string FormatVersionLine(WPARAM kind, const std::wstring& version) {
    return "V " + std::to_string(kind) + ' ' + Hex<char>(version) + '\n';
}

std::optional<JobLine> ParseJobLine(std::string_view line) {
    if (line.size() > kJobLineMaxChars) {
        return std::nullopt;
    }
    const std::vector<std::string_view> f = Fields(line);
    if (f[0] == "R" && f.size() == 3) {
        const auto what = Number(f[1], 0, INT_MAX);
        const auto detail = Number(f[2], 0, INT_MAX);
        if (what && detail && IsResult(*what, *detail)) {
            return JobLine{
                JobLine::Kind::kResult, static_cast<WPARAM>(*what), static_cast<LPARAM>(*detail), {}};
        }
    } else if (f[0] == "P" && f.size() == 2) {
        if (const auto value = Number(f[1], 0, INT_MAX)) {
            return JobLine{JobLine::Kind::kProgress, 0, static_cast<LPARAM>(*value), {}};
        }
    } else if (f[0] == "V" && f.size() == 3) {
        const auto kind = Number(f[1], kUpdateSoftware, kUpdateFirmware);
        auto version = FromHex(f[2]);
        if (kind && version) {
            return JobLine{JobLine::Kind::kVersion, static_cast<WPARAM>(*kind), 0, std::move(*version)};
        }
    }
    return std::nullopt;
}
