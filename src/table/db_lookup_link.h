// DBLookupLink: a lookup from a master table to a slave table.
//
// The master expression (parsed in the master table, for example
// "STR(CONTACTKEY,10,0)") is evaluated on the master's current record and
// its value sought in the slave's current order. The slave then stands on
// the record found, or on no record (its fields read blank, a key 0) when
// nothing matches exactly.
//
// The link belongs to the master table (DBTable::addLink) and must not
// outlive the slave.
#pragma once

#include "common/string.h"

struct EXPR4;
class DBTable;

class DBLookupLink {
 public:
  // Exact: the slave's key must equal the value; the only mode there is.
  static constexpr int kModeExact = 0;

  DBLookupLink(DBTable& master, DBTable& slave, const char* masterExpression, int mode = kModeExact);
  ~DBLookupLink();
  DBLookupLink(const DBLookupLink&) = delete;
  DBLookupLink& operator=(const DBLookupLink&) = delete;

  bool valid() const { return expression_ != nullptr; }
  int mode() const { return mode_; }
  // 0 when the slave stands on the matching record; else the seek's result
  // (2 or 3, the slave on no record) or an error.
  int perform();

 private:
  DBTable& master_;
  DBTable& slave_;
  EXPR4* expression_ = nullptr;
  int mode_;
};
