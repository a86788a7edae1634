// Text views: numbers, dates and text out of and into views, comparisons,
// and the field view (Str4field). See str4.h.
#include <cstdio>
#include <cstring>

#include "engine/data4.h"
#include "engine/date4.h"
#include "engine/num4.h"
#include "engine/str4.h"

namespace {

char str4text[257];  // str() of every view

bool isBlankOrNul(char ch) { return ch == ' ' || ch == '\0'; }

// Turns the leading blanks of a right-justified number into zeros, the
// sign (if any) moving to the front: "  -12" -> "-0012".
void zeroFillNumber(char* d, size_t n) {
  size_t i = 0;
  while (i < n && d[i] == ' ') ++i;
  if (i == 0 || i == n) return;
  if (d[i] == '-') {
    d[0] = '-';
    memset(d + 1, '0', i);
  } else {
    memset(d, '0', i);
  }
}

}  // namespace

char* Str4::sharedText() { return str4text; }

int Str4::assignLong(long value, bool zeroFill) {
  if (int rc = beginChange()) return rc;
  if (num4formatLong(bytes(), len(), value) && zeroFill) zeroFillNumber(bytes(), len());
  changed();
  return 0;
}

int Str4::assignDouble(double value, int dec, bool zeroFill) {
  if (int rc = beginChange()) return rc;
  if (dec < 0) dec = decimals();
  if (num4formatDouble(bytes(), len(), dec, value) && zeroFill) zeroFillNumber(bytes(), len());
  changed();
  return 0;
}

const char* Str4::str() const {
  char* out = sharedText();
  size_t n = ptr() ? len() : 0;
  if (n > 256) n = 256;
  if (n > 0) memmove(out, ptr(), n);  // the view may be of this buffer
  out[n] = '\0';
  return out;
}

double Str4::toDouble() const {
  size_t n = ptr() ? len() : 0;
  return n ? num4atod(ptr(), n < 49 ? n : 49) : 0.0;
}

long Str4::toLong() const {
  size_t n = ptr() ? len() : 0;
  return n ? num4atol(ptr(), n < 127 ? n : 127) : 0;
}

long Str4::toJulian() const {
  // Up to eight bytes, blank padded; anything non-blank after them makes
  // the text no date.
  char text[8];
  memset(text, ' ', sizeof text);
  size_t n = ptr() ? len() : 0;
  for (size_t i = 8; i < n; ++i)
    if (!isBlankOrNul(ptr()[i])) return -1;
  if (n > 0) memcpy(text, ptr(), n < 8 ? n : 8);
  return date4long(text);
}

bool Str4::equal(const Str4& other) const {
  size_t n = ptr() ? len() : 0;
  size_t m = other.ptr() ? other.len() : 0;
  return n == m && (n == 0 || memcmp(ptr(), other.ptr(), n) == 0);
}

bool Str4::less(const Str4& other) const {
  size_t n = ptr() ? len() : 0;
  size_t m = other.ptr() ? other.len() : 0;
  size_t k = n < m ? n : m;
  int c = k ? memcmp(ptr(), other.ptr(), k) : 0;  // memcmp compares unsigned
  return c < 0 || (c == 0 && n < m);
}

bool operator==(const Str4& a, const Str4& b) { return a.equal(b); }
bool operator<(const Str4& a, const Str4& b) { return a.less(b); }

const char* Str4field::ptr() const { return field_ ? f4ptr(field_) : nullptr; }
unsigned Str4field::len() const { return field_ ? field_->len : 0; }
int Str4field::decimals() const { return field_ ? field_->dec : 0; }

int Str4field::mayChange() { return f4changeCheck(field_); }
void Str4field::changed() { f4setNullBit(field_, false); }

bool Str4field::binaryNumber() const {
  return field_ != nullptr && (field_->type == 'B' || field_->type == 'I' || field_->type == 'Y');
}

// Binary number fields take the value itself, not its text.
int Str4field::assignLong(long value, bool zeroFill) {
  if (binaryNumber()) return f4assignLong(field_, value);
  return Str4::assignLong(value, zeroFill);
}

int Str4field::assignDouble(double value, int dec, bool zeroFill) {
  if (binaryNumber()) return f4assignDouble(field_, value);
  return Str4::assignDouble(value, dec, zeroFill);
}

double Str4field::toDouble() const { return binaryNumber() ? f4double(field_) : Str4::toDouble(); }
long Str4field::toLong() const { return binaryNumber() ? f4long(field_) : Str4::toLong(); }

const char* Str4field::str() const {
  if (!binaryNumber()) return Str4::str();
  char* out = sharedText();
  if (field_->type == 'I') {
    snprintf(out, 257, "%ld", f4long(field_));
    return out;
  }
  // As many integer digits as the value needs; one too long for the
  // buffer is written in exponent form rather than cut short.
  int dec = field_->dec > 15 ? 15 : field_->dec;
  double v = f4double(field_);
  if (snprintf(out, 257, "%.*f", dec, v) > 256) snprintf(out, 257, "%.17g", v);
  return out;
}
