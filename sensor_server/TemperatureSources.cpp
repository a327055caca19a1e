#include "TemperatureSources.h"

#include "Text.h"
#include "TextFile.h"

#include "win/Handle.h"

#include <oleauto.h>
#include <wbemidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

bool IsPlausible(float celsius) noexcept {
    return celsius > kMinPlausibleCelsius && celsius < kMaxPlausibleCelsius;
}

std::string HexResult(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// --- Linux sensors through wine's drive -------------------------------------------------------------------

// A small sensor file's text without surrounding blanks; nothing when it cannot be read.
std::optional<std::string> ReadSmallText(const std::wstring& path) {
    std::string text;
    if (ReadTextFile(path, 256, &text) != TextFileResult::Read) {
        return std::nullopt;
    }
    return std::string(Trim(text));
}

// Sensor files hold millidegrees Celsius as a decimal integer.
bool ReadMillidegrees(const std::wstring& path, float* celsius) {
    const std::optional<std::string> read = ReadSmallText(path);
    if (!read) {
        return false;
    }
    const std::string& text = *read;
    long value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) {
        return false;
    }
    *celsius = static_cast<float>(value) / 1000.0f;
    return IsPlausible(*celsius);
}

class SysfsSensor final : public TemperatureSource {
  public:
    SysfsSensor(std::wstring path, std::string name) : path_(std::move(path)), name_(std::move(name)) {}
    bool Read(float* celsius) override { return ReadMillidegrees(path_, celsius); }
    const std::string& Name() const noexcept override { return name_; }

  private:
    std::wstring path_;
    std::string name_;
};

struct Candidate {
    int rank;  // lower is better
    std::wstring path;
    std::string name;
};

// The entries of folder whose names start with prefix (sysfs entries are symbolic links, so any kind).
std::vector<std::wstring> Entries(const std::wstring& folder, const wchar_t* prefix) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    UniqueFind find(::FindFirstFileW((folder + L"\\" + prefix + L"*").c_str(), &found));
    if (!find) {
        return names;
    }
    do {
        names.emplace_back(found.cFileName);
    } while (::FindNextFileW(find.get(), &found) && names.size() < 256);
    std::sort(names.begin(), names.end());
    return names;
}

void AddHwmonCandidates(const std::wstring& root, std::vector<Candidate>* candidates) {
    static const char* const kCpuDrivers[] = {"coretemp", "k10temp", "zenpower", "cpu_thermal"};
    const std::wstring hwmon = root + L"\\class\\hwmon";
    for (const std::wstring& entry : Entries(hwmon, L"hwmon")) {
        const std::wstring folder = hwmon + L"\\" + entry;
        const std::optional<std::string> driver = ReadSmallText(folder + L"\\name");
        if (!driver || std::none_of(std::begin(kCpuDrivers), std::end(kCpuDrivers),
                                    [&](const char* d) { return *driver == d; })) {
            continue;
        }
        for (int i = 1; i <= 32; ++i) {
            const std::wstring base = folder + L"\\temp" + std::to_wstring(i);
            if (::GetFileAttributesW((base + L"_input").c_str()) == INVALID_FILE_ATTRIBUTES) {
                continue;
            }
            const std::string label = ReadSmallText(base + L"_label").value_or(std::string());
            const int rank = label == "Package id 0" || label == "Tdie" ? 0 : label == "Tctl" ? 1 : 2;
            candidates->push_back({rank, base + L"_input",
                                   "Linux hwmon " + *driver + (label.empty() ? "" : " (" + label + ")") +
                                       " " + Utf8FromWide(base + L"_input")});
        }
    }
}

void AddThermalZoneCandidates(const std::wstring& root, std::vector<Candidate>* candidates) {
    const std::wstring thermal = root + L"\\class\\thermal";
    for (const std::wstring& entry : Entries(thermal, L"thermal_zone")) {
        const std::wstring folder = thermal + L"\\" + entry;
        const std::optional<std::string> type = ReadSmallText(folder + L"\\type");
        if (!type) {
            continue;
        }
        const std::string lower = LowerAscii(*type);
        int rank;
        if (lower == "x86_pkg_temp") {
            rank = 3;
        } else if (lower.find("cpu") != std::string::npos) {
            rank = 4;
        } else if (lower == "acpitz") {
            rank = 5;
        } else {
            continue;  // chipset, wireless, battery: not the CPU
        }
        candidates->push_back({rank, folder + L"\\temp",
                               "Linux thermal zone " + *type + " " + Utf8FromWide(folder + L"\\temp")});
    }
}

// --- WMI ------------------------------------------------------------------------------------------------

class WmiThermalZone final : public TemperatureSource {
  public:
    WmiThermalZone(ComPtr<IWbemServices> services, const wchar_t* query, const wchar_t* property,
                   float kelvinScale, std::string name)
        : services_(std::move(services)),
          query_(query),
          property_(property),
          kelvinScale_(kelvinScale),
          name_(std::move(name)) {}

    bool Read(float* celsius) override { return Query(celsius) == S_OK; }
    const std::string& Name() const noexcept override { return name_; }

    // The hottest plausible zone; S_FALSE when the query answered without one (*zones tells how many
    // zones it listed).
    HRESULT Query(float* celsius, int* zones = nullptr) {
        const UniqueBstr language(::SysAllocString(L"WQL"));
        const UniqueBstr query(::SysAllocString(query_));
        ComPtr<IEnumWbemClassObject> rows;
        HRESULT hr = language && query
                         ? services_->ExecQuery(language.get(), query.get(),
                                                WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                                nullptr, rows.GetAddressOf())
                         : E_OUTOFMEMORY;
        if (FAILED(hr)) {
            return hr;
        }
        bool found = false;
        float hottest = kMinPlausibleCelsius;
        int listed = 0;
        for (; listed < 64; ++listed) {
            ComPtr<IWbemClassObject> row;
            ULONG returned = 0;
            hr = rows->Next(5000, 1, row.GetAddressOf(), &returned);
            if (FAILED(hr)) {
                return hr;
            }
            if (returned == 0) {
                break;
            }
            VARIANT value;
            ::VariantInit(&value);
            if (SUCCEEDED(row->Get(property_, 0, &value, nullptr, nullptr)) &&
                SUCCEEDED(::VariantChangeType(&value, &value, 0, VT_R8))) {
                const float c = static_cast<float>(value.dblVal / kelvinScale_ - 273.15);
                if (IsPlausible(c)) {
                    hottest = found ? std::max(hottest, c) : c;
                    found = true;
                }
            }
            ::VariantClear(&value);
        }
        if (zones) {
            *zones = listed;
        }
        if (!found) {
            return S_FALSE;
        }
        *celsius = hottest;
        return S_OK;
    }

  private:
    ComPtr<IWbemServices> services_;
    const wchar_t* query_;     // static text
    const wchar_t* property_;  // static text
    float kelvinScale_;        // units per kelvin
    std::string name_;
};

HRESULT ConnectWmi(IWbemLocator* locator, const wchar_t* space, ComPtr<IWbemServices>* services) {
    const UniqueBstr name(::SysAllocString(space));
    if (!name) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = locator->ConnectServer(name.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                        services->ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) {
        hr = ::CoSetProxyBlanket(services->Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                 RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    }
    return hr;
}

}  // namespace

bool IsRunningUnderWine() noexcept {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

std::unique_ptr<TemperatureSource> FindLinuxCpuSensor(const std::wstring& sysfsRoot, std::string* reason) {
    std::vector<Candidate> candidates;
    AddHwmonCandidates(sysfsRoot, &candidates);
    AddThermalZoneCandidates(sysfsRoot, &candidates);
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.rank < b.rank; });
    for (Candidate& candidate : candidates) {
        float celsius = 0;
        if (ReadMillidegrees(candidate.path, &celsius)) {
            return std::make_unique<SysfsSensor>(std::move(candidate.path), std::move(candidate.name));
        }
    }
    const std::string root = Utf8FromWide(sysfsRoot);
    *reason = candidates.empty()
                  ? "no CPU sensor in " + root + "\\class\\hwmon or " + root + "\\class\\thermal"
                  : "the CPU sensors in " + root + " gave no plausible reading";
    return nullptr;
}

std::unique_ptr<TemperatureSource> FindWmiThermalZone(std::string* reason) {
    ComPtr<IWbemLocator> locator;
    HRESULT hr = ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&locator));
    if (FAILED(hr)) {
        *reason = "WMI is not available (" + HexResult(hr) + ")";
        return nullptr;
    }
    struct Probe {
        const wchar_t* space;
        const wchar_t* query;
        const wchar_t* property;
        float kelvinScale;
        const char* name;
    };
    static const Probe kProbes[] = {
        {L"ROOT\\WMI", L"SELECT CurrentTemperature FROM MSAcpi_ThermalZoneTemperature", L"CurrentTemperature",
         10.0f, "WMI ROOT\\WMI MSAcpi_ThermalZoneTemperature"},
        {L"ROOT\\CIMV2", L"SELECT Temperature FROM Win32_PerfFormattedData_Counters_ThermalZoneInformation",
         L"Temperature", 1.0f, "WMI ROOT\\CIMV2 Win32_PerfFormattedData_Counters_ThermalZoneInformation"},
    };
    std::string reasons;
    for (const Probe& probe : kProbes) {
        ComPtr<IWbemServices> services;
        hr = ConnectWmi(locator.Get(), probe.space, &services);
        int zones = 0;
        if (SUCCEEDED(hr)) {
            auto source = std::make_unique<WmiThermalZone>(services, probe.query, probe.property,
                                                           probe.kelvinScale, probe.name);
            float celsius = 0;
            hr = source->Query(&celsius, &zones);
            if (hr == S_OK) {
                return source;
            }
        }
        const std::string outcome = hr != S_FALSE ? HexResult(hr)
                                    : zones == 0  ? std::string("no zones")
                                                 : std::to_string(zones) + " zones without a plausible value";
        reasons += (reasons.empty() ? "" : ", ") + std::string(probe.name) + ": " + outcome;
    }
    *reason = "WMI has no thermal-zone data (" + reasons + ")";
    return nullptr;
}

std::unique_ptr<TemperatureSource> FindTemperatureSource(const ServerConfig& config, std::string* reason) {
    std::string reasons;
    if (IsRunningUnderWine()) {
        std::string why;
        if (auto source = FindLinuxCpuSensor(config.sysfsRoot, &why)) {
            return source;
        }
        reasons = why + "; ";
    }
    std::string why;
    if (auto source = FindWmiThermalZone(&why)) {
        return source;
    }
    *reason = reasons + why;
    return nullptr;
}
