// The query scan: visits, one by one and in the order of the handle's
// selected tag (record order without one), every record for which a query
// expression is true. Used to copy tables record by record.
//
//   RELATE4* r = relate4init(d);
//   relate4querySet(r, ".NOT.DELETED()");
//   for (int rc = relate4top(r); rc == 0; rc = relate4skip(r, 1)) { ... }
//   relate4free(r);
//
// Each call returns 0 with the record current, 3 after the last, or an
// error. readLock is off during the calls. The relation does not own d.
#pragma once

struct DATA4;
struct EXPR4;

struct RELATE4 {
  DATA4* data = nullptr;
  EXPR4* query = nullptr;
};

RELATE4* relate4init(DATA4* d);
// Sets the query (null or empty: every record); 0 or the parse error.
[[nodiscard]] int relate4querySet(RELATE4* r, const char* expression);
[[nodiscard]] int relate4top(RELATE4* r);
// Only forward steps of 1 are supported (the scan's use); other n: -930.
[[nodiscard]] int relate4skip(RELATE4* r, long n);
void relate4free(RELATE4* r);
