#include "mail/transfer_decoding.h"

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

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
