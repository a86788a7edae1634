#include "mail/text_charset.h"

#include <gmime/gmime.h>

#include <cctype>
#include <cerrno>

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool isAscii(std::string_view bytes) {
  for (unsigned char c : bytes)
    if (c >= 0x80) return false;
  return true;
}

// Converts through iconv; false when the charset is not known to it.
bool convert(std::string_view bytes, const std::string& from, std::string& out) {
  iconv_t cd = g_mime_iconv_open("UTF-8", from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  out.reserve(bytes.size() + bytes.size() / 4);
  char buffer[4096];
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (true) {
    char* o = buffer;
    size_t oLeft = sizeof buffer;
    size_t rc = inLeft ? g_mime_iconv(cd, &in, &inLeft, &o, &oLeft) : g_mime_iconv(cd, nullptr, nullptr, &o, &oLeft);
    out.append(buffer, static_cast<size_t>(o - buffer));
    if (rc != static_cast<size_t>(-1)) {
      if (inLeft == 0) break;
      continue;
    }
    if (errno == E2BIG) continue;
    // An invalid or incomplete sequence: one replacement, skip a byte.
    out += kReplacement;
    if (inLeft == 0) break;
    ++in;
    --inLeft;
    g_mime_iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  g_mime_iconv_close(cd);
  return true;
}

std::string utf8Repaired(std::string_view bytes) {
  std::string out;
  if (!convert(bytes, "UTF-8", out)) return std::string(bytes);
  return out;
}

}  // namespace

bool isUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    unsigned min;
    unsigned cp;
    if ((c & 0xE0) == 0xC0) len = 2, min = 0x80, cp = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) len = 3, min = 0x800, cp = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) len = 4, min = 0x10000, cp = c & 0x07;
    else return false;
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

CharsetReading toUtf8(std::string_view bytes, std::string_view charset) {
  CharsetReading r;
  std::string name = lower(charset);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
  bool unnamed = name.empty() || name == "us-ascii" || name == "ascii" || name == "ansi_x3.4-1968";
  if (unnamed || name == "utf-8" || name == "utf8") {
    if (isAscii(bytes) || isUtf8(bytes)) {
      r.text = std::string(bytes);
      r.charset = "UTF-8";
      return r;
    }
    if (!unnamed) {
      r.text = utf8Repaired(bytes);
      r.charset = "UTF-8";
      return r;
    }
    r.fallback = unnamed;
  }
  if (name == "iso-8859-1" || name == "latin1" || name == "iso8859-1" || name == "iso_8859-1" || unnamed)
    name = "windows-1252";
  if (convert(bytes, name, r.text)) {
    r.charset = name;
    return r;
  }
  // A charset iconv does not know: UTF-8 if the bytes are, else Windows-1252.
  r.fallback = true;
  if (isUtf8(bytes)) {
    r.text = std::string(bytes);
    r.charset = "UTF-8";
  } else {
    convert(bytes, "windows-1252", r.text);
    r.charset = "windows-1252";
  }
  return r;
}

std::string cleanText(std::string_view text, bool singleLine) {
  // U+0080 to U+009F: what ISO-8859-1 gives for the Windows-1252 bytes that
  // mail programs send under that label; as browsers do, they are read as
  // Windows-1252 (the five bytes it leaves undefined are dropped).
  static constexpr const char* kC1[32] = {
      "\u20AC", "",       "\u201A", "\u0192", "\u201E", "\u2026", "\u2020", "\u2021",
      "\u02C6", "\u2030", "\u0160", "\u2039", "\u0152", "",       "\u017D", "",
      "",       "\u2018", "\u2019", "\u201C", "\u201D", "\u2022", "\u2013", "\u2014",
      "\u02DC", "\u2122", "\u0161", "\u203A", "\u0153", "",       "\u017E", "\u0178"};
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    auto u = static_cast<unsigned char>(c);
    if (u == 0xC2 && i + 1 < text.size()) {
      auto next = static_cast<unsigned char>(text[i + 1]);
      if (next >= 0x80 && next <= 0x9F) {
        out += kC1[next - 0x80];
        ++i;
        continue;
      }
    }
    bool lineOrTab = c == '\r' || c == '\n' || c == '\t';
    if (lineOrTab) {
      out += singleLine ? ' ' : c;
      continue;
    }
    if (u < 0x20 || u == 0x7F) continue;
    out += c;
  }
  // Names and parameters that arrive as raw bytes of no stated charset.
  if (!isUtf8(out)) out = toUtf8(out, "").text;
  if (singleLine) {
    size_t b = out.find_first_not_of(' ');
    if (b == std::string::npos) return std::string();
    size_t e = out.find_last_not_of(' ');
    out = out.substr(b, e - b + 1);
  }
  return out;
}

std::string crlfLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string_view utf8Prefix(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}
