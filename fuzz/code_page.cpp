// Fuzzes the code-page conversions: the first byte picks the code page
// mark, the second a byte limit, the rest is the text. What comes back
// from a table is always UTF-8, what goes into one never exceeds its limit
// and is never cut inside a character of the table's code page.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/code_page.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 65536) return 0;
  uint8_t mark = data[0];
  size_t limit = data[1];
  std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

  std::string utf8 = fromCodePage(text, mark);
  if (validUtf8(utf8) != utf8) abort();

  std::string stored = toCodePage(text, mark, limit);
  if (stored.size() > limit) abort();
  // Read back, a stored text holds no replacement unless the table's code
  // page lacks a byte of it, so it is whole characters of that page.
  std::string back = fromCodePage(stored, mark);
  if (validUtf8(back) != back) abort();

  // Stored text is whole characters: storing what was read back (all of
  // it fits) gives the same bytes, for every mark with a converter.
  if (codePageName(mark) != nullptr && back.find("\xEF\xBF\xBD") == std::string::npos &&
      toCodePage(back, mark) != stored)
    abort();
  return 0;
}
