#include "table/temp_names.h"

std::string generatedName(const std::string& pattern, uint32_t h) {
  std::string name = pattern;
  int made = 0;
  for (char& c : name) {
    if (c != '?') continue;
    c = static_cast<char>('A' + h % 26);
    h /= 26;
    ++made;
  }
  size_t dot = name.find('.');
  size_t at = dot == std::string::npos ? 0 : dot;
  for (; made < 4; ++made, ++at) {
    name.insert(at, 1, static_cast<char>('A' + h % 26));
    h /= 26;
  }
  return name;
}
