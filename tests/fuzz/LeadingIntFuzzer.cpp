// The settings' and version files' number reading, against the C library's own wcstoll on the same text: the
// leading decimal integer after white space and one sign, saturated to the int range.

#include "FuzzCheck.h"

#include "common/LeadingInt.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cwchar>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the unit width; the text ends at its first NUL, as a registry string does.
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::wstring text = (data[0] & 1) ? fuzz::UnitsFromPairs(bytes) : fuzz::UnitsFromBytes(bytes);
    text.resize(std::min(text.size(), text.find(L'\0')));

    const int value = ParseLeadingInt(text.c_str());
    const long long reference = std::wcstoll(text.c_str(), nullptr, 10);
    FUZZ_CHECK(value == std::clamp<long long>(reference, INT_MIN, INT_MAX));

    // White space before the number and anything after its digits change nothing.
    FUZZ_CHECK(ParseLeadingInt((L" \t" + text).c_str()) == value);
    FUZZ_CHECK(ParseLeadingInt((text + L"x9").c_str()) == value);
    return 0;
}
