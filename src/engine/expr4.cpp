// Public entry points of the expression language (see expr4.h).
#include "engine/expr4.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/expr4_date.h"
#include "engine/expr4_internal.h"
#include "engine/i4key.h"

EXPR4::~EXPR4() = default;

EXPR4* expr4parseSource(Expr4Source* source, const std::string& text, bool forTag) {
  auto* e = new EXPR4;
  e->source = source;
  e->text = text;
  e->forTag = forTag;
  int rc = expr4::parse(*e);
  if (rc == 0) rc = expr4::massage(*e);
  if (rc != 0) {
    delete e;
    if (source->reportExprErrors()) source->error(rc, text);
    return nullptr;
  }
  return e;
}

void expr4free(EXPR4* e) { delete e; }

bool expr4isConjunction(const EXPR4* whole, const EXPR4* first, const EXPR4* rest) {
  using expr4::Fn;
  using expr4::Op;
  if (whole->ops.empty() || first->ops.empty() || rest->ops.empty()) return false;
  const Op& top = whole->ops.back();
  if (top.fn != Fn::And) return false;
  // An operand's program without its top-level .AND., and how many
  // conjuncts that .AND. joined.
  auto body = [](const EXPR4* e) { return e->ops.size() - (e->ops.back().fn == Fn::And ? 1 : 0); };
  auto conjuncts = [](const EXPR4* e) { return e->ops.back().fn == Fn::And ? e->ops.back().argc : 1; };
  size_t nFirst = body(first), nRest = body(rest);
  if (whole->ops.size() != nFirst + nRest + 1 || top.argc != conjuncts(first) + conjuncts(rest)) return false;
  auto same = [](const Op& a, const Op& b) { return a.fn == b.fn && a.argc == b.argc && a.type == b.type; };
  for (size_t i = 0; i < nFirst; i++)
    if (!same(whole->ops[i], first->ops[i])) return false;
  for (size_t i = 0; i < nRest; i++)
    if (!same(whole->ops[nFirst + i], rest->ops[i])) return false;
  return true;
}

bool expr4fieldEqualsNumber(const EXPR4* e, EXPR4NUMFIELD* field, double* number) {
  using expr4::Fn;
  if (e->ops.size() != 2 || e->type != 'L') return false;
  const expr4::Op& read = e->ops[0];
  const expr4::Op& eq = e->ops[1];
  // The comparison run() makes for doubles is of their bytes.
  if (read.fn != Fn::FieldNum || eq.fn != Fn::Eq || eq.argc != 1 || eq.constB < 0 || eq.argType != 'n')
    return false;
  *field = {read.src, read.field.handle ? read.field.handle : read.src, read.field.offset, read.alen[0]};
  std::memcpy(number, e->constants.data() + eq.constB, sizeof *number);
  return true;
}

double expr4numField(const EXPR4NUMFIELD& f) {
  return expr4::textNumber(f.source->record() + f.offset, f.len);
}

int expr4execute(EXPR4* e, const char** result) { return expr4::run(*e, result); }

int expr4true(EXPR4* e) {
  if (e->type != 'L') return -460;
  const char* r;
  int rc = expr4::run(*e, &r);
  if (rc < 0 && rc != -440) return rc;
  int32_t v;
  std::memcpy(&v, r, 4);
  return v != 0 ? 1 : 0;
}

double expr4double(EXPR4* e) {
  const char* r;
  (void)expr4::run(*e, &r);
  double v = 0;
  switch (e->type) {
    case 'n': case 'd': std::memcpy(&v, r, 8); break;
    case 'D': v = double(expr4::julianFromDateText(std::string_view(r, 8))); break;
    case 'N': v = expr4::textNumber(r, std::min(e->len, 49)); break;
    case 'I': { int32_t i; std::memcpy(&i, r, 4); v = i; break; }
    case 'Y': { int64_t y; std::memcpy(&y, r, 8); v = double(y) / 10000.0; break; }
    default: break;
  }
  return v;
}

std::string expr4str(EXPR4* e) {
  const char* r;
  (void)expr4::run(*e, &r);
  switch (e->type) {
    case 'L': { int32_t v; std::memcpy(&v, r, 4); return v ? "T" : "F"; }
    case 'd': { double v; std::memcpy(&v, r, 8); return expr4::dateTextFromJulian(expr4::julianDay(v)); }
    case 'n': {
      double v;
      std::memcpy(&v, r, 8);
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.10g", v);
      return buf;
    }
    case 'I': { int32_t v; std::memcpy(&v, r, 4); return std::to_string(v); }
    default: return std::string(r, size_t(e->len));
  }
}

std::string expr4vary(EXPR4* e) {
  std::string s = expr4str(e);
  if (e->type == 'C' || e->type == 'W') {
    size_t n = s.size();
    while (n > 0 && s[n - 1] == '\0') n--;
    s.resize(n);
  }
  return s;
}

char expr4keyType(const EXPR4* e) {
  switch (e->type) {
    case 'D': case 'd': return 'D';
    case 'N': case 'n': return 'N';
    case 'W': return 'C';
    case 'I': case 'Y': case 'L': case 'T': return e->type;
    default: return 'C';
  }
}

int expr4keyLen(const EXPR4* e) {
  switch (expr4keyType(e)) {
    case 'C': return e->len;
    case 'I': return 4;
    case 'L': return 1;
    default: return 8;
  }
}

int expr4key(EXPR4* e, const char** key) {
  const char* r;
  int rc = expr4::run(*e, &r);
  if (rc < 0 && rc != -440) return rc;
  std::string& k = e->keyBuf;
  switch (e->type) {
    case 'C': case 'W': k.assign(r, size_t(e->len)); break;
    case 'D': k = i4key::fromDouble(double(std::max(0L, expr4::julianFromDateText(std::string_view(r, 8))))); break;
    case 'd': case 'n': { double v; std::memcpy(&v, r, 8); k = i4key::fromDouble(v); break; }
    case 'N': k = i4key::fromDouble(expr4::textNumber(r, std::min(e->len, 49))); break;
    case 'I': { int32_t v; std::memcpy(&v, r, 4); k = i4key::fromInt(v); break; }
    case 'Y': { int64_t v; std::memcpy(&v, r, 8); k = i4key::fromCurrency(v); break; }
    case 'L': { int32_t v; std::memcpy(&v, r, 4); k = v ? "T" : "F"; break; }
    case 'T': {
      int32_t d, ms;
      std::memcpy(&d, r, 4);
      std::memcpy(&ms, r + 4, 4);
      k = i4key::fromDouble(d + ms / 86400000.0);
      break;
    }
    default: k.assign(r, size_t(e->len)); break;
  }
  *key = k.data();
  return 0;
}
