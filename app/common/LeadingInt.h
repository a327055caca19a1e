#pragma once

// The program's reading of numbers in text it is handed (settings values, version files): the leading decimal
// integer, as _wtoi reads it but defined for every input.

// Leading white space and one sign allowed, saturated to the int range, 0 when there are no digits.
[[nodiscard]] int ParseLeadingInt(const wchar_t* text) noexcept;
