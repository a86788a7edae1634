#include "json_out.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

void jsonString(std::string* out, std::string_view s) {
  out->push_back('"');
  for (unsigned char ch : s) {
    switch (ch) {
      case '"': out->append("\\\""); break;
      case '\\': out->append("\\\\"); break;
      case '\n': out->append("\\n"); break;
      case '\r': out->append("\\r"); break;
      case '\t': out->append("\\t"); break;
      case '\b': out->append("\\b"); break;
      case '\f': out->append("\\f"); break;
      default:
        if (ch < 0x20 || ch > 0x7E) {
          char buf[8];
          snprintf(buf, sizeof buf, "\\u%04x", ch);
          out->append(buf);
        } else {
          out->push_back(static_cast<char>(ch));
        }
    }
  }
  out->push_back('"');
}

std::string pythonFloatRepr(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  // Shortest round-trip digits, then Python's choice of notation: fixed for
  // decimal exponents -4 <= e < 16, else scientific.
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  std::string sci(buf, res.ptr);
  size_t e = sci.find('e');
  std::string mant = sci.substr(0, e);
  int exp = std::atoi(sci.c_str() + e + 1);
  bool neg = mant[0] == '-';
  if (neg) mant.erase(0, 1);
  std::string digits;
  for (char ch : mant)
    if (ch != '.') digits.push_back(ch);
  std::string out = neg ? "-" : "";
  if (exp >= -4 && exp < 16) {
    if (exp < 0) {
      out += "0." + std::string(static_cast<size_t>(-exp - 1), '0') + digits;
    } else if (static_cast<size_t>(exp) + 1 >= digits.size()) {
      out += digits + std::string(static_cast<size_t>(exp) + 1 - digits.size(), '0') + ".0";
    } else {
      out += digits.substr(0, static_cast<size_t>(exp) + 1) + "." +
             digits.substr(static_cast<size_t>(exp) + 1);
    }
    return out;
  }
  out += digits.substr(0, 1);
  if (digits.size() > 1) out += "." + digits.substr(1);
  char ebuf[16];
  snprintf(ebuf, sizeof ebuf, "e%c%02d", exp < 0 ? '-' : '+', exp < 0 ? -exp : exp);
  return out + ebuf;
}
