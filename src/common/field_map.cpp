#include "common/field_map.h"

#include <climits>

long decimalValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  unsigned long magnitude = 0;
  const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
  bool clamped = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (clamped || magnitude > (limit - digit) / 10) {
      clamped = true;
      continue;
    }
    magnitude = magnitude * 10 + digit;
  }
  if (clamped) return negative ? LONG_MIN : LONG_MAX;
  if (negative) return magnitude == limit ? LONG_MIN : -static_cast<long>(magnitude);
  return static_cast<long>(magnitude);
}

stringT FieldMap::get(int number) const {
  auto it = entries_.find(number);
  return it == entries_.end() ? stringT() : it->second;
}

void FieldMap::setNumber(int number, long value) { set(number, stringT::format("%ld", value)); }
