// Text between the program (UTF-8) and xBase tables (the code page named
// by header byte 29 of each data file).
//
// Code page marks (the language driver ids that dBASE, FoxPro and
// Visual FoxPro write):
//
//   | mark                          | code page | mark      | code page   |
//   |-------------------------------|-----------|-----------|-------------|
//   | 0x00 (none), 0x03, 0x57-0x59  | 1252      | 0x64 0x1F | 852         |
//   | 0x01 0x09 0x0B 0x0D 0x0F 0x11 | 437       |   0x22 0x23 0x40 0x87   |
//   |   0x15 0x18 0x19 0x1B         |           | 0x65 0x26 | 866         |
//   | 0x02 0x0A 0x0E 0x10 0x12 0x14 | 850       | 0x66 0x08 0x17 | 865    |
//   |   0x16 0x1A 0x1D 0x25 0x37    |           | 0x67      | 861         |
//   | 0x04                          | Macintosh | 0x6A 0x86 | 737         |
//   | 0x13 0x7B                     | 932       | 0x6B 0x88 | 857         |
//   | 0x1C 0x6C                     | 863       | 0x24      | 860         |
//   | 0x4D 0x7A                     | 936       | 0x4E 0x79 | 949         |
//   | 0x4F 0x78                     | 950       | 0x50 0x7C | 874         |
//   | 0x7D                          | 1255      | 0x7E      | 1256        |
//   | 0x96                          | Mac Cyr.  | 0x97      | Mac C. Eur. |
//   | 0xC8                          | 1250      | 0xC9      | 1251        |
//   | 0xCA                          | 1254      | 0xCB      | 1253        |
//   | 0xCC                          | 1257      |           |             |
//
// A table without a mark (0) is taken as Windows-1252, the code page of the
// maintenance program. A mark outside the list (0x68 Kamenicky, 0x69
// Mazovia, 0x98 Mac Greek, anything else) has no converter here: only
// ASCII is written into such a table (other characters transliterated to
// ASCII), and its bytes above 0x7F read as U+FFFD.
//
// Writing (toCodePage): characters the code page lacks are transliterated
// (iconv //TRANSLIT with the C.UTF-8 locale's tables: "é" becomes "e" in
// CP866, "€" "EUR" in CP437), else written "?"; bytes that are not UTF-8
// count as one "?" each. The result is cut to a byte limit between two
// characters, never inside one (which matters for the two-byte code
// pages). Reading (fromCodePage): each byte, or byte pair, that is not a
// character of the code page becomes U+FFFD, so the result is always
// valid UTF-8. Control characters (CR, LF, tab) pass through both ways.
//
// Thread-safe; converters are kept per thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The iconv name of the code page of mark, or nullptr when there is none.
const char* codePageName(uint8_t mark);

// utf8 in the code page of mark, at most maxBytes long.
std::string toCodePage(std::string_view utf8, uint8_t mark, size_t maxBytes = std::string::npos);

// Bytes of a table with mark, as UTF-8.
std::string fromCodePage(std::string_view bytes, uint8_t mark);

// text with every byte sequence that is not UTF-8 replaced by U+FFFD.
std::string validUtf8(std::string_view text);
