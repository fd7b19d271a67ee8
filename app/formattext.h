#pragma once
// printf-style formatting into a string, for the program's message texts.

#include <string>

// The formatted text, however long.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
