// Number <-> text conversions of the engine, over bounded byte ranges and
// independent of the locale (the decimal point is always ".").
#pragma once

#include <cstddef>
#include <cstdint>

// Decimal conversion of at most length bytes: leading blanks, an optional
// sign, digits, an optional fraction. Stops at the first other byte; text
// that does not start a number gives 0.
double num4atod(const char* text, size_t length);
long num4atol(const char* text, size_t length);
// Writes value right-justified in width bytes with dec decimals (at most
// 15), "-" before the first digit, leading blanks; a value that does not
// fit fills all width bytes with "*". Returns false on overflow.
bool num4formatDouble(char* out, size_t width, int dec, double value);
bool num4formatLong(char* out, size_t width, long value);
// Parses decimal text ("-12.3456") into a currency value x 10000, rounding
// to four decimals; false when the text is not a number or out of range.
bool num4parseCurrency(const char* text, size_t length, int64_t* out);
