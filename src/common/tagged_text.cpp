#include "common/tagged_text.h"

#include <unordered_set>

namespace {

// Calls found(number, valueStart) for the first tag of each number in
// (low, high), in text order.
template <typename Found>
void scanTags(std::string_view text, int low, int high, TagPlacement placement, Found found) {
  if (high - static_cast<long>(low) < 2) return;
  std::unordered_set<long> seen;
  for (size_t pos = text.find('['); pos != std::string_view::npos; pos = text.find('[', pos + 1)) {
    if (placement == TagPlacement::LineStart && pos > 0 && text[pos - 1] != '\n') continue;
    size_t i = pos + 1;
    long number = 0;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 11) {
      number = number * 10 + (text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || digits > 10 || (digits > 1 && text[pos + 1] == '0')) continue;
    if (i + 1 >= text.size() || text[i] != ']' || text[i + 1] != ' ') continue;
    if (number <= low || number >= high) continue;
    if (!seen.insert(number).second) continue;
    found(static_cast<int>(number), i + 2);
  }
}

// The first terminator at or after start, remembering the last answer so
// that a text full of tags is still read in one pass.
class TerminatorFinder {
 public:
  TerminatorFinder(std::string_view text, std::string_view terminator) : text_(text), terminator_(terminator) {}
  size_t from(size_t start) {
    if (known_ && start >= lastStart_ && (answer_ == std::string_view::npos || start <= answer_)) return answer_;
    known_ = true;
    lastStart_ = start;
    answer_ = terminator_.empty() ? std::string_view::npos : text_.find(terminator_, start);
    return answer_;
  }

 private:
  std::string_view text_, terminator_;
  bool known_ = false;
  size_t lastStart_ = 0;
  size_t answer_ = std::string_view::npos;
};

}  // namespace

std::optional<stringT> taggedValue(const stringT& text, int number, std::string_view terminator) {
  std::optional<stringT> value;
  if (number < 0 || number == 0x7fffffff) return value;
  TerminatorFinder finder(text.view(), terminator);
  scanTags(text.view(), number - 1, number + 1, TagPlacement::Anywhere, [&](int, size_t start) {
    size_t end = finder.from(start);
    if (end != std::string_view::npos) value = text.substr(start, end - start);
  });
  return value;
}

size_t extractTagged(const stringT& text, int low, int high, std::string_view terminator, FieldMap& into,
                     TagPlacement placement) {
  size_t count = 0;
  if (low < -1) low = -1;  // tags are non-negative numbers
  TerminatorFinder finder(text.view(), terminator);
  scanTags(text.view(), low, high, placement, [&](int number, size_t start) {
    size_t end = finder.from(start);
    if (end == std::string_view::npos) return;
    into.set(number, text.substr(start, end - start));
    ++count;
  });
  return count;
}

stringT taggedLine(int number, const stringT& value, std::string_view terminator) {
  return stringT::format("[%d] ", number) + value + stringT(terminator);
}
