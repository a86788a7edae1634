#include "mail/mime_encoding.h"

#include <gmime/gmime.h>

#include <memory>
#include <mutex>
#include <string>

#include "common/code_page.h"

namespace {

constexpr size_t kMaxLine = 998;  // octets, without the CRLF

void initGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

struct GFree {
  void operator()(char* p) const { g_free(p); }
};
using GText = std::unique_ptr<char, GFree>;

bool isAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// LF or CRLF line ends as CRLF; bare CRs stay.
std::string crlfLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

bool longLine(std::string_view text, size_t limit) {
  size_t length = 0;
  for (char c : text) {
    if (c == '\n') {
      length = 0;
    } else if (c != '\r' && ++length > limit) {
      return true;
    }
  }
  return false;
}

// Cuts every line longer than 998 octets with a fold, which unfolds to
// one more blank; only a single word of that length needs it.
std::string hardFold(std::string_view text) {
  std::string out;
  size_t length = 0;
  for (char c : text) {
    if (c == '\n') {
      length = 0;
    } else if (c != '\r') {
      if (length == kMaxLine) {
        out += "\r\n ";
        length = 1;
      }
      ++length;
    }
    out += c;
  }
  return out;
}

}  // namespace

stringT encodedDisplayName(const stringT& utf8) {
  if (isAscii(utf8.view())) return utf8;
  initGMime();
  std::string valid = validUtf8(utf8.view());
  GText encoded(g_mime_utils_header_encode_phrase(nullptr, valid.c_str(), "UTF-8"));
  return encoded ? stringT(encoded.get()) : stringT(valid);
}

stringT encodedHeaderText(const stringT& utf8) {
  if (isAscii(utf8.view())) return utf8;
  initGMime();
  std::string valid = validUtf8(utf8.view());
  GText encoded(g_mime_utils_header_encode_text(nullptr, valid.c_str(), "UTF-8"));
  return encoded ? stringT(encoded.get()) : stringT(valid);
}

stringT foldedHeader(std::string_view name, const stringT& value) {
  std::string line = std::string(name) + ": " + value.str();
  if (!longLine(line, 78)) return stringT(std::move(line));
  initGMime();
  GText folded(g_mime_utils_unstructured_header_fold(nullptr, nullptr, line.c_str()));
  std::string out = folded ? std::string(folded.get()) : line;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return stringT(hardFold(crlfLines(out)));
}

EncodedBody encodedBody(const stringT& body) {
  std::string text = crlfLines(body.view());
  if (isAscii(text) && !longLine(text, kMaxLine)) return {"7bit", stringT(std::move(text))};
  initGMime();
  // GMime's encoder works on LF lines and writes LF lines.
  std::string lf;
  lf.reserve(text.size());
  std::string valid = validUtf8(text);
  for (size_t i = 0; i < valid.size(); ++i)
    if (!(valid[i] == '\r' && i + 1 < valid.size() && valid[i + 1] == '\n')) lf += valid[i];
  std::string out(lf.size() * 4 + 16, '\0');  // 3 per byte at worst, plus soft breaks
  int state = -1;
  guint32 save = 0;
  size_t n = g_mime_encoding_quoted_encode_close(reinterpret_cast<const unsigned char*>(lf.data()), lf.size(),
                                                 reinterpret_cast<unsigned char*>(out.data()), &state, &save);
  out.resize(n);
  return {"quoted-printable", stringT(crlfLines(out))};
}
