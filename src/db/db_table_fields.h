// DBField and DBTableFields: the field objects of an open table.
//
// A field object reads and writes one field of the table's current record:
// as a long, a double, text (trimmed or as stored) and, for memo fields,
// the memo text. Writing a number into a character field right-aligns it
// in the field's width with leading blanks (the engine's number format).
//
// DBTableFields holds one field object per field, in field order, in two
// groups (memo fields and the others) plus a by-number index into them.
// Field objects live as long as the table's engine handle; the table
// rebinds them when it opens.
#pragma once

#include <memory>
#include <vector>

#include "common/string.h"

struct DATA4;
struct FIELD4;
class DatabaseContext;

class DBField {
 public:
  explicit DBField(FIELD4* field) : field_(field) {}

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

  // Each returns 0 or the engine's code.
  [[nodiscard]] int assign(const stringT& value);
  [[nodiscard]] int assignLong(long value);
  [[nodiscard]] int assignDouble(double value);
  [[nodiscard]] int assignBool(bool value);
  [[nodiscard]] int blank();

  FIELD4* engineField() const { return field_; }

 private:
  FIELD4* field_;
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
