#include "table/db_table_fields.h"

#include "common/code_page.h"
#include "engine/data4.h"
#include "engine/field4.h"
#include "table/database_context.h"

const char* DBField::name() const { return f4name(field_); }
char DBField::type() const { return f4type(field_); }
unsigned DBField::width() const { return f4len(field_); }
int DBField::decimals() const { return f4decimals(field_); }
bool DBField::isMemo() const { return f4isMemo(field_); }

long DBField::asLong() const { return f4long(field_); }
double DBField::asDouble() const { return f4double(field_); }
bool DBField::asBool() const { return f4true(field_); }

stringT DBField::raw() const {
  if (isMemo()) return stringT(f4memoPtr(field_), f4memoLen(field_));
  return stringT(f4ptr(field_), f4len(field_));
}

stringT DBField::text() const { return isMemo() ? raw() : raw().trimRight(); }

stringT DBField::utf8Text() const { return stringT(fromCodePage(text().view(), codePage_)); }

int DBField::assign(const stringT& value) {
  // An empty text may have no storage at all; the engine copies from it.
  const char* bytes = value.empty() ? "" : value.view().data();
  if (isMemo()) return f4memoAssignN(field_, bytes, value.length());
  return f4assignN(field_, bytes, value.length());
}

int DBField::assignUtf8Text(const stringT& value) {
  if (value.empty()) return blank();
  size_t limit = isMemo() ? std::string::npos : width();
  std::string stored = toCodePage(value.view(), codePage_, limit);
  if (stored.empty()) return blank();
  return isMemo() ? f4memoAssignN(field_, stored.data(), stored.size()) : f4assignN(field_, stored.data(), stored.size());
}

int DBField::assignLong(long value) { return f4assignLong(field_, value); }
int DBField::assignDouble(double value) { return f4assignDouble(field_, value); }
int DBField::assignBool(bool value) { return f4assign(field_, value ? "T" : "F"); }
int DBField::blank() { return isMemo() ? f4memoAssignN(field_, "", 0) : f4blank(field_); }

void DBTableFields::clear() {
  storage_.clear();
  other_.clear();
  memo_.clear();
  byNumber_.clear();
}

void DBTableFields::bind(DATA4* d) {
  clear();
  if (d == nullptr) return;
  int n = d4numFields(d);
  uint8_t codePage = d4codePage(d);
  for (int i = 1; i <= n; ++i) {
    storage_.push_back(std::make_unique<DBField>(d4fieldJ(d, i), codePage));
    DBField* f = storage_.back().get();
    (f->isMemo() ? memo_ : other_).push_back(f);
    byNumber_.push_back(f);
  }
}

DBField* DBTableFields::field(int n, const DatabaseContext* db) const {
  if (n >= 0 && n < count()) return byNumber_[n];
  if (db != nullptr) db->reportError("Invalid Field Number", stringT::format("%d", n));
  return byNumber_.empty() ? nullptr : byNumber_[0];
}
