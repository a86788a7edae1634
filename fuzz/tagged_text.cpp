// Fuzzes the tagged-text extractor with both terminators and checks that
// each value it finds is what a naive search finds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/tagged_text.h"

namespace {

// The first "[n] " and the first terminator after it, by plain search.
bool naive(std::string_view text, int n, std::string_view term, std::string& value) {
  std::string tag = "[" + std::to_string(n) + "] ";
  size_t at = text.find(tag);
  if (at == std::string_view::npos) return false;
  size_t start = at + tag.size();
  size_t end = text.find(term, start);
  if (end == std::string_view::npos) return false;
  value = std::string(text.substr(start, end - start));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  stringT text(reinterpret_cast<const char*>(data), size);
  for (std::string_view term : {std::string_view("\n"), std::string_view(";;")}) {
    FieldMap map;
    extractTagged(text, 0, 300, term, map);
    for (int n = 1; n < 300; ++n) {
      std::string expected;
      bool found = naive(text.view(), n, term, expected);
      if (found != map.contains(n)) __builtin_trap();
      if (found && map.get(n).view() != expected) __builtin_trap();
      auto one = taggedValue(text, n, term);
      if (one.has_value() != found || (found && one->view() != expected)) __builtin_trap();
    }
    FieldMap lines;
    extractTagged(text, -5, 1 << 30, term, lines, TagPlacement::LineStart);
  }
  return 0;
}
