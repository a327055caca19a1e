// The update rules on any texts a server could send: the version comparison is an order (antisymmetric,
// transitive) within one component count, a package name never carries more than the version, and the
// display's firmware number is its hexadecimal digits read as decimal.

#include "FuzzCheck.h"

#include "update/Versions.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <string>

namespace {

bool Ordered(int comparison) {
    return comparison == -1 || comparison == 0 || comparison == 1;
}

void CheckComparison(const std::wstring& a, const std::wstring& b, const std::wstring& c) {
    const int ab = CompareVersion(a, b);
    const int ba = CompareVersion(b, a);
    FUZZ_CHECK(Ordered(ab) || ab == 2);
    FUZZ_CHECK(CompareVersion(a, a) == 0);
    const bool sameCount = std::count(a.begin(), a.end(), L'.') == std::count(b.begin(), b.end(), L'.');
    FUZZ_CHECK((ab == 2) == !sameCount);
    FUZZ_CHECK((ab == 2) == (ba == 2));
    if (ab != 2) {
        FUZZ_CHECK(ab == -ba);
    }
    // -1 means the first is newer: a >= b and b >= c give a >= c, likewise for <=.
    const int bc = CompareVersion(b, c);
    const int ac = CompareVersion(a, c);
    if (Ordered(ab) && Ordered(bc)) {
        FUZZ_CHECK(Ordered(ac));
        if (ab <= 0 && bc <= 0) {
            FUZZ_CHECK(ac <= 0);
        }
        if (ab >= 0 && bc >= 0) {
            FUZZ_CHECK(ac >= 0);
        }
    }
}

void CheckPackageVersion(const std::wstring& text) {
    const std::wstring version = PackageVersion(text);
    if (version.empty()) {
        return;
    }
    // The text itself, less trailing white space only.
    FUZZ_CHECK(text.compare(0, version.size(), version) == 0);
    for (size_t i = version.size(); i < text.size(); ++i) {
        FUZZ_CHECK(std::iswspace(text[i]));
    }
    FUZZ_CHECK(version.front() != L'.');
    FUZZ_CHECK(version.find(L"..") == std::wstring::npos);
    for (wchar_t c : version) {
        FUZZ_CHECK((std::iswalnum(c) && c < 0x80) || c == L'.' || c == L'-' || c == L'_');
    }
}

// The leading decimal digits of the number's lower-case hexadecimal form, read as decimal.
int HexDigitsAsDecimal(uint32_t number) {
    int digits[8];
    int count = 0;
    do {
        digits[count++] = static_cast<int>(number % 16);
        number /= 16;
    } while (number != 0);
    int value = 0;
    for (int i = count - 1; i >= 0 && digits[i] < 10; --i) {
        value = value * 10 + digits[i];
    }
    return value;
}

void CheckFirmware(int displayVersion) {
    const int number = DisplayFirmwareNumber(displayVersion);
    FUZZ_CHECK(number == HexDigitsAsDecimal(static_cast<uint32_t>(displayVersion)));
    FUZZ_CHECK(!IsFirmwareNewer(std::to_wstring(number), displayVersion));
    FUZZ_CHECK(IsFirmwareNewer(std::to_wstring(number + 1LL), displayVersion));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int displayVersion =
        input.ConsumeBool() ? input.ConsumeIntegral<uint16_t>() : input.ConsumeIntegral<int>();
    const std::wstring a = fuzz::UnitsFromBytes(input.ConsumeRandomLengthString(64));
    const std::wstring b = fuzz::UnitsFromBytes(input.ConsumeRandomLengthString(64));
    const std::wstring c = fuzz::UnitsFromBytes(input.ConsumeRemainingBytesAsString());

    CheckComparison(a, b, c);
    FUZZ_CHECK(IsVersionText(a) == (!a.empty() && a.size() <= kMaxVersionLength));
    CheckPackageVersion(a);
    CheckPackageVersion(b);
    CheckFirmware(displayVersion);
    return 0;
}
