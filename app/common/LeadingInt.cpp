#include "common/LeadingInt.h"

#include <climits>
#include <cwctype>

int ParseLeadingInt(const wchar_t* text) noexcept {
    if (!text) {
        return 0;
    }
    while (*text && std::iswspace(*text)) {
        ++text;
    }
    bool negative = false;
    if (*text == L'+' || *text == L'-') {
        negative = *text == L'-';
        ++text;
    }
    long long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10 + (*text - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;  // keep saturating without overflowing
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}
