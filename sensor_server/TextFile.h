#pragma once

// Small text files the server reads: its configuration, the scripted readings, Linux sensor files.

#include <cstddef>
#include <string>

enum class TextFileResult { Read, Missing, TooLarge, Failed };

// Reads the whole file as bytes into *text. Files larger than maxBytes are refused (TooLarge), so a
// mistaken path never makes the server take unbounded memory.
[[nodiscard]] TextFileResult ReadTextFile(const std::wstring& path, size_t maxBytes, std::string* text);
