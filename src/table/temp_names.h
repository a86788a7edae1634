// Generated table names for temporary and new tables.
//
// From a pattern and a number h: each "?" of the pattern, left to right,
// becomes the letter 'A' + h % 26, and h is divided by 26 after each
// letter. When the pattern has fewer than four "?", further letters made
// the same way are inserted one after another before the pattern's "."
// (at the start of the name when it has none) until four letters are made.
// "T???????" is the pattern when the caller gives none.
#pragma once

#include <cstdint>
#include <string>

inline constexpr const char* kDefaultNamePattern = "T???????";
inline constexpr uint32_t kFirstNameNumber = 72182178;  // 0x44D69A2

std::string generatedName(const std::string& pattern, uint32_t h);
