#include "engine/relate4.h"

#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/expr4.h"

namespace {

// Keeps readLock off for the duration of one call.
struct NoReadLock {
  CODE4* c;
  char saved;
  explicit NoReadLock(CODE4* code) : c(code), saved(code->readLock) { c->readLock = 0; }
  ~NoReadLock() { c->readLock = saved; }
};

// From the current position, the first record (this one included) that
// matches the query.
int settle(RELATE4* r, int rc) {
  while (rc == 0) {
    if (!r->query) return 0;
    int ok = expr4true(r->query);
    if (ok < 0) return ok;
    if (ok) return 0;
    rc = d4skip(r->data, 1);
  }
  return rc == r4eof ? r4eof : rc;
}

}  // namespace

RELATE4* relate4init(DATA4* d) {
  if (!d || d4check(d) < 0) return nullptr;
  auto* r = new RELATE4;
  r->data = d;
  return r;
}

int relate4querySet(RELATE4* r, const char* expression) {
  if (!r) return e4parmNull;
  expr4free(r->query);
  r->query = nullptr;
  if (!expression || !*expression) return 0;
  r->query = expr4parse(r->data, expression);
  if (!r->query) {
    int rc = error4code(r->data->codeBase);
    return rc < 0 ? rc : e4relate;
  }
  if (expr4type(r->query) != 'L') {
    expr4free(r->query);
    r->query = nullptr;
    return error4describe(r->data->codeBase, e4typeSub, 0, expression);
  }
  return 0;
}

int relate4top(RELATE4* r) {
  if (!r) return e4parmNull;
  NoReadLock guard(r->data->codeBase);
  return settle(r, d4top(r->data));
}

int relate4skip(RELATE4* r, long n) {
  if (!r) return e4parmNull;
  if (n != 1) return error4describe(r->data->codeBase, e4parm, 0, "relate4skip");
  NoReadLock guard(r->data->codeBase);
  return settle(r, d4skip(r->data, 1));
}

void relate4free(RELATE4* r) {
  if (!r) return;
  expr4free(r->query);
  delete r;
}
