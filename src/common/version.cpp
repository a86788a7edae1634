#include "common/version.h"

#ifndef ORV_VERSION_TEXT
#define ORV_VERSION_TEXT "3.0.0.0"
#endif

std::optional<Version> Version::parse(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  Version v;
  size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    uint64_t value = 0;
    size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[pos] - '0');
      if (value > 0xffffffffull) return std::nullopt;
      ++pos;
    }
    if (pos == start) return std::nullopt;
    v.parts[part] = static_cast<uint32_t>(value);
  }
  if (pos != text.size()) return std::nullopt;
  return v;
}

stringT Version::toString() const {
  return stringT::format("%u.%u.%u.%u", parts[0], parts[1], parts[2], parts[3]);
}

Version programVersion() {
  auto v = Version::parse(ORV_VERSION_TEXT);
  return v ? *v : Version{};
}
