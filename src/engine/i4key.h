// Conversions of values to index keys.
//
// Keys compare as unsigned bytes, so every numeric form is made
// byte-orderable:
//   double key (8 bytes): the IEEE double BIG-endian; for a value >= 0 the
//     sign bit is set, for a negative value every byte is complemented.
//   integer key (4 bytes): the int32 BIG-endian with the sign bit flipped.
//   currency key (8 bytes): the int64 BIG-endian with the sign bit flipped.
// Dates are keyed as the double key of their Julian day; logicals as "T" or
// "F"; character values as their bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace i4key {

std::string fromDouble(double v);
double toDouble(std::string_view key8);
std::string fromInt(int32_t v);
std::string fromCurrency(int64_t v);

// Key of the seek text for a tag of this key type (C, D, N, I, Y, L, T);
// keyLen is the tag's key length (character keys are not padded here).
std::string fromSeekText(char keyType, std::string_view text);
// Key of a number for d4seekDouble on a tag of this type; false when the type
// takes no numbers.
bool fromNumber(char keyType, double v, std::string& key);

// ASCII-only upper-casing of a..z, whatever the locale.
inline char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

// A copy of s with a..z upper-cased (tag and file names).
inline std::string upperAscii(std::string s) {
  for (char& c : s) c = upperAscii(c);
  return s;
}

// Adds 1 to a key as a big-endian number; false when it was all 0xFF bytes.
bool increment(std::string& key);

}  // namespace i4key
