#include "engine/num4.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Copies the number at the start of text (after blanks) into buf as
// "[-]digits[.digits]"; returns its length (0: no number).
size_t scanNumber(const char* text, size_t length, char* buf, size_t bufSize) {
  size_t i = 0;
  while (i < length && text[i] == ' ') ++i;
  size_t n = 0;
  if (i < length && (text[i] == '-' || text[i] == '+')) {
    if (text[i] == '-') buf[n++] = '-';
    ++i;
  }
  size_t digits = 0;
  while (i < length && text[i] >= '0' && text[i] <= '9' && n + 1 < bufSize) {
    buf[n++] = text[i++];
    ++digits;
  }
  if (i < length && text[i] == '.' && n + 1 < bufSize) {
    buf[n++] = text[i++];
    while (i < length && text[i] >= '0' && text[i] <= '9' && n + 1 < bufSize) {
      buf[n++] = text[i++];
      ++digits;
    }
  }
  if (digits == 0) return 0;
  buf[n] = 0;
  return n;
}

void fillStars(char* out, size_t width) { memset(out, '*', width); }

bool placeRight(char* out, size_t width, const char* text, size_t n) {
  if (n > width) {
    fillStars(out, width);
    return false;
  }
  memset(out, ' ', width - n);
  memcpy(out + width - n, text, n);
  return true;
}

}  // namespace

double num4atod(const char* text, size_t length) {
  char buf[128];
  size_t n = scanNumber(text, length, buf, sizeof buf);
  if (n == 0) return 0.0;
  // from_chars wants a digit before the point: "-.5" is read as "-0.5".
  char fixed[130];
  size_t k = 0, i = 0;
  if (buf[0] == '-') fixed[k++] = buf[i++];
  if (buf[i] == '.') fixed[k++] = '0';
  while (i < n) fixed[k++] = buf[i++];
  double v = 0.0;
  std::from_chars(fixed, fixed + k, v);
  return v;
}

long num4atol(const char* text, size_t length) {
  size_t i = 0;
  while (i < length && text[i] == ' ') ++i;
  bool neg = false;
  if (i < length && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
  unsigned long v = 0;
  for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (v > (~0ul - 9) / 10) break;  // stop before overflowing
    v = v * 10 + static_cast<unsigned long>(text[i] - '0');
  }
  return neg ? -static_cast<long>(v) : static_cast<long>(v);
}

bool num4formatDouble(char* out, size_t width, int dec, double value) {
  if (dec < 0) dec = 0;
  if (dec > 15) dec = 15;
  if (!std::isfinite(value) || std::fabs(value) >= 1e100) {
    fillStars(out, width);
    return false;
  }
  char text[160];
  int n = snprintf(text, sizeof text, "%.*f", dec, value);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof text) {
    fillStars(out, width);
    return false;
  }
  // A negative value that rounds to zero is written without its sign.
  if (text[0] == '-' && strspn(text + 1, "0.") == static_cast<size_t>(n - 1)) {
    memmove(text, text + 1, static_cast<size_t>(n));
    --n;
  }
  return placeRight(out, width, text, static_cast<size_t>(n));
}

bool num4formatLong(char* out, size_t width, long value) {
  char text[32];
  char* end = std::to_chars(text, text + sizeof text, value).ptr;  // the text of "%ld"
  return placeRight(out, width, text, static_cast<size_t>(end - text));
}

bool num4parseCurrency(const char* text, size_t length, int64_t* out) {
  char buf[64];
  size_t n = scanNumber(text, length, buf, sizeof buf);
  if (n == 0) return false;
  bool neg = buf[0] == '-';
  const char* p = buf + (neg ? 1 : 0);
  __int128 v = 0;
  int fraction = -1;
  int roundDigit = 0;
  for (; *p; ++p) {
    if (*p == '.') {
      fraction = 0;
      continue;
    }
    if (fraction >= 4) {
      if (fraction == 4) roundDigit = *p - '0';
      ++fraction;
      continue;
    }
    v = v * 10 + (*p - '0');
    if (fraction >= 0) ++fraction;
    if (v > (__int128(1) << 63)) return false;
  }
  for (int k = fraction < 0 ? 0 : fraction; k < 4; ++k) v *= 10;
  if (roundDigit >= 5) v += 1;
  if (neg) v = -v;
  if (v > INT64_MAX || v < INT64_MIN) return false;
  *out = static_cast<int64_t>(v);
  return true;
}
