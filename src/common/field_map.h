// FieldMap: an ordered map from a field number to a text value.
//
// Settings (101 to 206), log records (201 to 213), account records (1 to 64)
// and request records (101 to 113) are all field maps. Numbers travel as
// decimal text ("%ld") and are read back with decimalValue(), which gives 0
// for empty or non-numeric text.
//
// Not thread-safe; a map belongs to one thread (copy it to hand it over).
#pragma once

#include <map>

#include "common/string.h"

// Plain decimal conversion, as atol reads a text: leading white space, an
// optional sign, then digits up to the first non-digit. Empty or
// non-numeric text gives 0; a value beyond the range of long is clamped to
// LONG_MIN / LONG_MAX instead of wrapping.
long decimalValue(std::string_view text);
inline long decimalValue(const stringT& text) { return decimalValue(text.view()); }
inline long decimalValue(const char* text) { return decimalValue(std::string_view(text ? text : "")); }

class FieldMap {
 public:
  using Entries = std::map<int, stringT>;

  // The value of field number; an empty text when the field is absent.
  stringT get(int number) const;
  void set(int number, stringT value) { entries_[number] = std::move(value); }

  // get() read with decimalValue(); 0 when absent.
  long getNumber(int number) const { return decimalValue(get(number)); }
  // Stores value as "%ld".
  void setNumber(int number, long value);

  bool contains(int number) const { return entries_.count(number) != 0; }
  void erase(int number) { entries_.erase(number); }
  void clear() { entries_.clear(); }
  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }

  // In ascending field number.
  const Entries& entries() const { return entries_; }
  Entries::const_iterator begin() const { return entries_.begin(); }
  Entries::const_iterator end() const { return entries_.end(); }

  bool operator==(const FieldMap& other) const { return entries_ == other.entries_; }

 private:
  Entries entries_;
};
