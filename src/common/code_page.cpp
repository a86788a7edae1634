#include "common/code_page.h"

#include <iconv.h>
#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>

namespace {

struct Mark {
  uint8_t mark;
  const char* name;
};

constexpr Mark kMarks[] = {
    {0x00, "CP1252"}, {0x03, "CP1252"}, {0x57, "CP1252"}, {0x58, "CP1252"}, {0x59, "CP1252"},
    {0x01, "CP437"},  {0x09, "CP437"},  {0x0B, "CP437"},  {0x0D, "CP437"},  {0x0F, "CP437"},
    {0x11, "CP437"},  {0x15, "CP437"},  {0x18, "CP437"},  {0x19, "CP437"},  {0x1B, "CP437"},
    {0x02, "CP850"},  {0x0A, "CP850"},  {0x0E, "CP850"},  {0x10, "CP850"},  {0x12, "CP850"},
    {0x14, "CP850"},  {0x16, "CP850"},  {0x1A, "CP850"},  {0x1D, "CP850"},  {0x25, "CP850"},
    {0x37, "CP850"},  {0x04, "MACINTOSH"}, {0x08, "CP865"}, {0x17, "CP865"}, {0x66, "CP865"},
    {0x13, "CP932"},  {0x7B, "CP932"},  {0x1C, "CP863"},  {0x6C, "CP863"},  {0x1F, "CP852"},
    {0x22, "CP852"},  {0x23, "CP852"},  {0x40, "CP852"},  {0x64, "CP852"},  {0x87, "CP852"},
    {0x24, "CP860"},  {0x26, "CP866"},  {0x65, "CP866"},  {0x4D, "CP936"},  {0x7A, "CP936"},
    {0x4E, "CP949"},  {0x79, "CP949"},  {0x4F, "CP950"},  {0x78, "CP950"},  {0x50, "CP874"},
    {0x7C, "CP874"},  {0x67, "CP861"},  {0x6A, "CP737"},  {0x86, "CP737"},  {0x6B, "CP857"},
    {0x88, "CP857"},  {0x7D, "CP1255"}, {0x7E, "CP1256"}, {0x96, "MAC-CYRILLIC"},
    {0x97, "MAC-CENTRALEUROPE"}, {0xC8, "CP1250"}, {0xC9, "CP1251"}, {0xCA, "CP1254"},
    {0xCB, "CP1253"}, {0xCC, "CP1257"},
};

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool isAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Length of the UTF-8 character at the start of text; 0 when the bytes
// there are not one (a stray byte, a short or overlong sequence, a
// surrogate).
size_t utf8Length(std::string_view text) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char b = byte(0);
  size_t n = b < 0x80 ? 1 : b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
  if (n == 0 || n > text.size()) return 0;
  for (size_t i = 1; i < n; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 0;
  if (n == 3 && b == 0xE0 && byte(1) < 0xA0) return 0;  // overlong
  if (n == 3 && b == 0xED && byte(1) >= 0xA0) return 0;  // surrogate
  if (n == 4 && b == 0xF0 && byte(1) < 0x90) return 0;  // overlong
  if (n == 4 && b == 0xF4 && byte(1) >= 0x90) return 0;  // above U+10FFFF
  return n;
}

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using Converter = std::unique_ptr<void, IconvCloser>;

// One converter per direction and code page, per thread (iconv_t keeps
// state and is not shared between threads).
iconv_t converter(const std::string& to, const std::string& from) {
  thread_local std::map<std::string, Converter> converters;
  std::string key = to + "<" + from;
  auto it = converters.find(key);
  if (it == converters.end()) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
    it = converters.emplace(key, Converter(cd)).first;
  }
  iconv(static_cast<iconv_t>(it->second.get()), nullptr, nullptr, nullptr, nullptr);  // initial state
  return static_cast<iconv_t>(it->second.get());
}

// glibc's transliteration tables come from LC_CTYPE; the program runs with
// "C", whose tables lack most accented letters, so conversions use C.UTF-8.
// Other iconvs (win-iconv on Windows) transliterate without a locale.
#ifdef __GLIBC__
class TransliterationLocale {
 public:
  TransliterationLocale() {
    static locale_t utf8 = [] {
      locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
      return l != static_cast<locale_t>(0) ? l : newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(0));
    }();
    if (utf8 != static_cast<locale_t>(0)) previous_ = uselocale(utf8);
  }
  ~TransliterationLocale() {
    if (previous_ != static_cast<locale_t>(0)) uselocale(previous_);
  }
  TransliterationLocale(const TransliterationLocale&) = delete;
  TransliterationLocale& operator=(const TransliterationLocale&) = delete;

 private:
  locale_t previous_ = static_cast<locale_t>(0);
};
#else
struct TransliterationLocale {
  TransliterationLocale() {}  // nothing to set up
};
#endif

// One UTF-8 character through cd; empty when it cannot be converted.
std::string convertCharacter(iconv_t cd, std::string_view character) {
  char in[8];
  character.copy(in, sizeof in);
  char out[64];
  char* inPtr = in;
  size_t inLeft = character.size();
  char* outPtr = out;
  size_t outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return {};
  if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return {};
  return std::string(out, static_cast<size_t>(outPtr - out));
}

}  // namespace

const char* codePageName(uint8_t mark) {
  for (const Mark& m : kMarks)
    if (m.mark == mark) return m.name;
  return nullptr;
}

std::string toCodePage(std::string_view utf8, uint8_t mark, size_t maxBytes) {
  if (isAscii(utf8)) return std::string(utf8.substr(0, std::min(maxBytes, utf8.size())));
  const char* name = codePageName(mark);
  TransliterationLocale locale;
  iconv_t cd = converter(std::string(name != nullptr ? name : "ASCII") + "//TRANSLIT", "UTF-8");
  bool usable = cd != reinterpret_cast<iconv_t>(-1);
  std::string out;
  for (size_t at = 0; at < utf8.size();) {
    size_t n = utf8Length(utf8.substr(at));
    std::string piece;
    if (n == 0) {
      piece = "?";
      n = 1;
    } else if (n == 1) {
      piece.assign(1, utf8[at]);
    } else {
      if (usable) piece = convertCharacter(cd, utf8.substr(at, n));
      if (piece.empty()) piece = "?";
    }
    if (out.size() + piece.size() > maxBytes) break;
    out += piece;
    at += n;
  }
  return out;
}

std::string fromCodePage(std::string_view bytes, uint8_t mark) {
  if (isAscii(bytes)) return std::string(bytes);
  const char* name = codePageName(mark);
  iconv_t cd = name != nullptr ? converter("UTF-8", name) : reinterpret_cast<iconv_t>(-1);
  std::string out;
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (char c : bytes)
      if (static_cast<unsigned char>(c) < 0x80) out += c;
      else out += kReplacement;
    return out;
  }
  out.reserve(bytes.size() * 2);
  char* inPtr = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (rc != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ: not a character of the code page; EINVAL: the first byte of
    // a pair at the end. Either way one byte becomes U+FFFD.
    out += kReplacement;
    ++inPtr;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

std::string validUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    size_t n = utf8Length(text.substr(at));
    if (n == 0) {
      out += kReplacement;
      n = 1;
    } else {
      out.append(text.substr(at, n));
    }
    at += n;
  }
  return out;
}
