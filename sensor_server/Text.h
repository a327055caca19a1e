#pragma once

// What the server does with the text it reads (configuration, scripted readings, Linux sensor files) and
// with the text it writes to its log.

#include <cstddef>
#include <string>
#include <string_view>

// Without leading and trailing blanks (spaces, tabs, CR, LF).
[[nodiscard]] std::string_view Trim(std::string_view text);
// ASCII letters compared without regard to case; other bytes exactly.
[[nodiscard]] bool EqualsIgnoringCase(std::string_view a, std::string_view b);
[[nodiscard]] std::string LowerAscii(std::string_view text);

// UTF-8 to UTF-16 and back, for paths named in the configuration and for messages.
[[nodiscard]] std::wstring WideFromUtf8(const std::string& text);
[[nodiscard]] std::string Utf8FromWide(const std::wstring& text);

// An excerpt of untrusted text that is safe to print on one line: at most maxChars bytes, control and
// non-ASCII bytes shown as '?'.
[[nodiscard]] std::string PrintableExcerpt(const std::string& text, size_t maxChars = 40);
