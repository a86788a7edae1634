#include "mail/transfer_decoding.h"

#include <array>
#include <cstdint>

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

constexpr std::array<int8_t, 256> base64Table() {
  std::array<int8_t, 256> table{};
  for (auto& v : table) v = -1;
  const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
  return table;
}

constexpr std::array<int8_t, 256> kBase64 = base64Table();

}  // namespace

std::string decodeQuotedPrintable(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    char c = in[i++];
    if (c != '=') {
      out += c;
      continue;
    }
    if (i >= in.size()) {  // "=" at the very end: keep it
      out += '=';
      break;
    }
    char first = in[i++];
    if (first == '\r') {  // soft line break
      if (i < in.size() && in[i] != '\n') out.append({'\r', in[i]});
      if (i < in.size()) ++i;
      continue;
    }
    if (i >= in.size()) {  // "=X" at the end: keep it
      out.append({'=', first});
      break;
    }
    char second = in[i++];
    if (second == '\r') {  // soft line break after one digit
      if (i < in.size() && in[i] != '\n') out.append({'\r', in[i]});
      if (i < in.size()) ++i;
      continue;
    }
    out += static_cast<char>(16 * hexValue(first) + hexValue(second));
  }
  return out;
}

std::string decodeBase64(std::string_view in) {
  std::string out;
  out.reserve(in.size() / 4 * 3 + 3);
  uint32_t bits = 0;
  int count = 0;
  for (char c : in) {
    int v = kBase64[static_cast<unsigned char>(c)];
    if (v < 0) continue;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}
