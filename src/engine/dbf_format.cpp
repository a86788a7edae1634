#include "engine/dbf_format.h"

#include <algorithm>
#include <cstring>

using coding4::getLe;
using coding4::putLe;

bool dbf4decodeHeader(coding4::Bytes b, Dbf4Header* out) {
  if (b.size() < kDbfHeaderSize) return false;
  Dbf4Header h;
  h.version = b[0];
  h.year = b[1];
  h.month = b[2];
  h.day = b[3];
  if (!getLe(b, 4, &h.recordCount) || !getLe(b, 8, &h.headerLength) ||
      !getLe(b, 10, &h.recordLength))
    return false;
  h.flags = b[28];
  h.codePage = b[29];
  *out = h;
  return true;
}

bool dbf4encodeHeader(const Dbf4Header& h, coding4::MutableBytes out) {
  if (out.size() < kDbfHeaderSize) return false;
  std::fill(out.begin(), out.begin() + kDbfHeaderSize, uint8_t(0));
  out[0] = h.version;
  out[1] = h.year;
  out[2] = h.month;
  out[3] = h.day;
  out[28] = h.flags;
  out[29] = h.codePage;
  return putLe(out, 4, h.recordCount) && putLe(out, 8, h.headerLength) && putLe(out, 10, h.recordLength);
}

bool dbf4decodeDescriptor(coding4::Bytes b, Dbf4Descriptor* out) {
  if (b.size() < kDbfDescriptorSize) return false;
  Dbf4Descriptor d;
  size_t n = 0;
  while (n < 11 && b[n] != 0) {
    d.name[n] = static_cast<char>(b[n]);
    ++n;
  }
  d.name[n] = 0;
  d.type = static_cast<char>(b[11]);
  getLe(b, 12, &d.offset);
  if (dbf4wideWidth(d.type)) {
    getLe(b, 16, &d.width);
    d.decimals = 0;
  } else {
    d.width = b[16];
    d.decimals = b[17];
  }
  d.flags = b[18];
  *out = d;
  return true;
}

bool dbf4encodeDescriptor(const Dbf4Descriptor& d, coding4::MutableBytes out) {
  if (out.size() < kDbfDescriptorSize) return false;
  std::fill(out.begin(), out.begin() + kDbfDescriptorSize, uint8_t(0));
  size_t n = strnlen(d.name, 11);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(d.name[i]);
  out[11] = static_cast<uint8_t>(d.type);
  out[18] = d.flags;
  if (!dbf4wideWidth(d.type)) {
    out[16] = static_cast<uint8_t>(d.width);
    out[17] = d.decimals;
  } else if (!putLe(out, 16, d.width)) {
    return false;
  }
  return putLe(out, 12, d.offset);
}
