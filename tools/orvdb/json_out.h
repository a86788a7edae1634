// JSON text as Python's json.dumps writes it with its defaults
// (ensure_ascii, separators ", " and ": "): the format orvdb dump prints.
// Bytes map to the characters of the same number (Latin-1).
#pragma once

#include <string>
#include <string_view>

// Appends s as a JSON string literal.
void jsonString(std::string* out, std::string_view s);
// Python's repr() of a double ("1.5", "1e+16", "inf", "nan").
std::string pythonFloatRepr(double v);
