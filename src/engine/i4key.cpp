#include "engine/i4key.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/coding4.h"
#include "engine/expr4_date.h"

namespace i4key {

std::string fromDouble(double v) {
  if (v == 0) v = 0;  // -0.0 keys as +0.0
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  if (v >= 0 || std::isnan(v))
    bits |= 0x8000000000000000ull;
  else
    bits = ~bits;
  std::string k(8, '\0');
  for (int i = 0; i < 8; i++) k[size_t(i)] = char(bits >> (56 - 8 * i));
  return k;
}

double toDouble(std::string_view k) {
  uint64_t bits = 0;
  if (!coding4::getBe(coding4::bytes(k.data(), k.size()), 0, &bits)) return 0;
  if (bits & 0x8000000000000000ull)
    bits &= ~0x8000000000000000ull;
  else
    bits = ~bits;
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}

std::string fromInt(int32_t v) {
  uint32_t u = uint32_t(v) ^ 0x80000000u;
  std::string k(4, '\0');
  for (int i = 0; i < 4; i++) k[size_t(i)] = char(u >> (24 - 8 * i));
  return k;
}

std::string fromCurrency(int64_t v) {
  uint64_t u = uint64_t(v) ^ 0x8000000000000000ull;
  std::string k(8, '\0');
  for (int i = 0; i < 8; i++) k[size_t(i)] = char(u >> (56 - 8 * i));
  return k;
}

namespace {
double decimal(std::string_view text) {
  std::string t(text.substr(0, 49));
  return std::strtod(t.c_str(), nullptr);
}
}  // namespace

std::string fromSeekText(char type, std::string_view text) {
  switch (type) {
    case 'D': {
      long jd = expr4::julianFromDateText(text);
      return fromDouble(double(jd < 0 ? 0 : jd));
    }
    case 'N': return fromDouble(decimal(text));
    case 'I': return fromInt(int32_t(decimal(text)));
    case 'Y': return fromCurrency(int64_t(std::llround(decimal(text) * 10000)));
    case 'T': {
      long jd = expr4::julianFromDateText(text.substr(0, 8));
      double ms = 0;
      if (text.size() > 8) {
        std::string rest(text.substr(8));
        int h = 0, m = 0, s = 0;
        std::sscanf(rest.c_str(), "%2d%2d%2d", &h, &m, &s);
        ms = (h * 3600 + m * 60 + s) * 1000.0;
      }
      return fromDouble(double(jd < 0 ? 0 : jd) + ms / 86400000.0);
    }
    case 'L': {
      for (char c : text) {
        if (c == 'T' || c == 't' || c == 'Y' || c == 'y') return "T";
        if (c == 'F' || c == 'f' || c == 'N' || c == 'n') return "F";
      }
      return "F";
    }
    default: return std::string(text);
  }
}

bool fromNumber(char type, double v, std::string& key) {
  switch (type) {
    case 'D': case 'N': key = fromDouble(v); return true;
    case 'I': key = fromInt(int32_t(v)); return true;
    case 'Y': key = fromCurrency(int64_t(std::llround(v * 10000))); return true;
    default: return false;
  }
}

bool increment(std::string& key) {
  for (size_t i = key.size(); i > 0; i--) {
    uint8_t b = uint8_t(key[i - 1]);
    if (b != 0xFF) {
      key[i - 1] = char(b + 1);
      return true;
    }
    key[i - 1] = 0;
  }
  return false;
}

}  // namespace i4key
