// The dBASE / FoxPro data file (.dbf) header and field descriptors.
//
// Header (32 bytes, integers little-endian):
//
//   offset size  meaning
//   0      1     version: 0x03 FoxPro 2.x / dBASE III, 0xF5 FoxPro 2.x with
//                memo (bit 7 = has memo), '0' (0x30) Visual FoxPro; other
//                values are read like 0x03
//   1      3     last update: year % 100, month, day
//   4      4     record count (LE)
//   8      2     header length (LE): where record 1 starts
//   10     2     record length (LE): 1 deletion byte + the field widths
//   12     16    reserved, written 0
//   28     1     flags: bit 0 has production index (.cdx), bit 1 has memo
//                (Visual FoxPro only; other files use version bit 7)
//   29     1     code page mark
//   30     2     reserved, written 0
//
// Field descriptors, 32 bytes each from offset 32, ended by 0x0D:
//
//   offset size  meaning
//   0      11    name, NUL-padded (upper case)
//   11     1     type letter
//   12     4     offset of the field in the record (LE); other programs may
//                leave it 0, so readers compute offsets themselves
//   16     1     width (C and W: low byte of a 16-bit width)
//   17     1     decimals (C and W: high byte of the width)
//   18     1     flags: bit 0 system field, bit 1 nullable, bit 2 binary
//   19     13    reserved, written 0
//
// After the terminator: 0x1A (FoxPro 2.x) or 263 zero bytes (Visual
// FoxPro, the backlink area). Other programs may write 0x00 instead of the
// 0x1A; the header length is authoritative. Records follow back to back;
// a FoxPro 2.x file may end with one 0x1A byte after the last record.
#pragma once

#include <cstdint>

#include "engine/coding4.h"

inline constexpr int kDbfHeaderSize = 32;
inline constexpr int kDbfDescriptorSize = 32;
inline constexpr uint8_t kDbfTerminator = 0x0D;
inline constexpr uint8_t kDbfEof = 0x1A;
inline constexpr int kVfpBacklinkSize = 263;

struct Dbf4Header {
  uint8_t version = 0x03;
  uint8_t year = 0, month = 0, day = 0;
  uint32_t recordCount = 0;
  uint16_t headerLength = 0;
  uint16_t recordLength = 0;
  uint8_t flags = 0;
  uint8_t codePage = 0;
};

struct Dbf4Descriptor {
  char name[12] = {};  // NUL-terminated, at most 11 characters as stored
  char type = 0;
  uint32_t offset = 0;
  uint16_t width = 0;
  uint8_t decimals = 0;
  uint8_t flags = 0;
};

enum : uint8_t { kField4System = 0x01, kField4Nullable = 0x02, kField4Binary = 0x04 };

// Decodes the 32-byte header; false when bytes is shorter.
bool dbf4decodeHeader(coding4::Bytes bytes, Dbf4Header* out);
// Encodes the 32-byte header (reserved bytes 0); false when out is shorter.
[[nodiscard]] bool dbf4encodeHeader(const Dbf4Header& h, coding4::MutableBytes out);
// Decodes one descriptor; false when bytes is shorter than 32.
bool dbf4decodeDescriptor(coding4::Bytes bytes, Dbf4Descriptor* out);
[[nodiscard]] bool dbf4encodeDescriptor(const Dbf4Descriptor& d, coding4::MutableBytes out);
// The type letters whose 16-bit width spans bytes 16-17.
inline bool dbf4wideWidth(char type) { return type == 'C' || type == 'W'; }
