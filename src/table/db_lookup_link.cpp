#include "table/db_lookup_link.h"

#include "engine/error4.h"
#include "engine/expr4.h"
#include "table/db_table.h"

DBLookupLink::DBLookupLink(DBTable& master, DBTable& slave, const char* masterExpression, int mode)
    : master_(master), slave_(slave), mode_(mode) {
  if (master.data() != nullptr) expression_ = expr4parse(master.data(), masterExpression);
}

DBLookupLink::~DBLookupLink() {
  if (expression_ != nullptr) expr4free(expression_);
}

int DBLookupLink::perform() {
  if (expression_ == nullptr || !slave_.isOpen()) return e4relateRefer;
  if (master_.noRecord()) {
    int rc = slave_.goAfter();
    return rc != 0 ? rc : r4eof;
  }
  stringT value(expr4str(expression_));
  int rc = slave_.seekExact(value);
  if (rc != 0 && rc > 0) {
    int g = slave_.goAfter();
    if (g != 0) return g;
  }
  return rc;
}
