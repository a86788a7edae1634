// DBField and DBTableFields: the field objects of an open table.
//
// A field object reads and writes one field of the table's current record:
// as a long, a double, text (trimmed or as stored) and, for memo fields,
// the memo text. Text that people read or write (names, subjects,
// descriptions, history) goes through utf8Text and assignUtf8Text, which
// convert between UTF-8 and the table's code page (common/code_page.h);
// raw, text and assign move the stored bytes unchanged (keys, codes, the
// raw mail message). Writing a number into a character field right-aligns it
// in the field's width with leading blanks (the engine's number format).
//
// DBTableFields holds one field object per field, in field order, in two
// groups (memo fields and the others) plus a by-number index into them.
// Field objects live as long as the table's engine handle; the table
// rebinds them when it opens.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/string.h"

struct DATA4;
struct FIELD4;
class DatabaseContext;

class DBField {
 public:
  // codePage: the table's code page mark (header byte 29).
  explicit DBField(FIELD4* field, uint8_t codePage = 0) : field_(field), codePage_(codePage) {}

  const char* name() const;
  char type() const;
  unsigned width() const;
  int decimals() const;
  bool isMemo() const;

  long asLong() const;
  double asDouble() const;
  bool asBool() const;
  // Field text without trailing blanks (for memo fields: the memo text).
  stringT text() const;
  // Field bytes as stored (memo fields: the memo text).
  stringT raw() const;
  // text() converted from the table's code page to UTF-8.
  stringT utf8Text() const;
  uint8_t codePage() const { return codePage_; }

  // Each returns 0 or the engine's code.
  [[nodiscard]] int assign(const stringT& value);
  [[nodiscard]] int assignLong(long value);
  [[nodiscard]] int assignDouble(double value);
  [[nodiscard]] int assignBool(bool value);
  [[nodiscard]] int blank();
  // value (UTF-8) in the table's code page, cut between two characters to
  // the field's width; an empty value blanks the field.
  [[nodiscard]] int assignUtf8Text(const stringT& value);

  FIELD4* engineField() const { return field_; }

 private:
  FIELD4* field_;
  uint8_t codePage_;
};

class DBTableFields {
 public:
  DBTableFields() = default;
  // Binds one object per field of d (nullptr: none).
  void bind(DATA4* d);
  void clear();

  int count() const { return static_cast<int>(byNumber_.size()); }
  // Field number n (0 is the first). A number out of range reports
  // "Invalid Field Number" through db and gives field 0; nullptr only when
  // the table has no field at all.
  DBField* field(int n, const DatabaseContext* db) const;
  const std::vector<DBField*>& memoFields() const { return memo_; }
  const std::vector<DBField*>& otherFields() const { return other_; }

 private:
  std::vector<std::unique_ptr<DBField>> storage_;
  std::vector<DBField*> other_;
  std::vector<DBField*> memo_;
  std::vector<DBField*> byNumber_;
};
