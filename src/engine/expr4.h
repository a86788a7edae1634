// The xBase expression language: compile once, evaluate per record.
//
// expr4parse compiles key, filter and query expressions such as
//   STR(NINT,10,0)+DTOS(DDATE)   or   RECNO()<>1.AND..NOT.DELETED()
// into a postfix program of typed operations whose result sizes are fixed at
// compile time; expr4execute runs it against the current record buffer of
// the table it was compiled for.
//
// Result types (one letter): C character (fixed length; TRIM-like results are
// NUL padded), W wide character, L logical (int 0/1), D date text CCYYMMDD,
// d Julian day (double), N number text, n double, I int32, Y currency
// (int64 x 10000), T date-time (two int32: Julian day, milliseconds).
//
// Errors: parse errors return null and are reported through the source with
// the expression text as extra information (codes -400 ... -510, -210).
// Results returned by pointer live in the expression's work area and stay
// valid until its next evaluation. Not thread-safe; one thread per context.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/expr4_source.h"

struct DATA4;

namespace expr4 {
struct Op;
}

struct EXPR4 {
  Expr4Source* source = nullptr;
  std::unique_ptr<Expr4Source> ownedSource;  // adapter made by expr4parse(DATA4*)
  std::string text;
  std::vector<expr4::Op> ops;
  std::string constants;
  std::vector<char> work;
  char type = 'C';
  int len = 0;
  bool varLength = false;
  bool usesMemo = false;  // reads a memo field
  bool forTag = false;
  int evalError = 0;  // -440 after an overflow in the last evaluation
  std::string keyBuf;
  std::string strBuf;
  ~EXPR4();
};

// Compiles text against source. forTag: memo reads are 240 bytes and other
// tables' fields are refused (-510).
EXPR4* expr4parseSource(Expr4Source* source, const std::string& text, bool forTag = false);
// Compiles text against a data handle (binds an adapter to the handle).
EXPR4* expr4parse(DATA4* data, const char* text);
// A tag's key or filter expression; its errors (parse and evaluation) name
// indexFile when given.
EXPR4* expr4parseTag(DATA4* data, const char* text, const char* indexFile = nullptr);
void expr4free(EXPR4* e);
// Whether whole's program has the shape of first .AND. rest: first's and
// rest's operations under one n-ary .AND. (into which their own top-level
// .AND.s merge). Only the operations are compared, not literals or fields:
// the caller has compiled whole's text as first's text, ".AND." and rest's
// text, and checks here that the parse did not group them otherwise.
bool expr4isConjunction(const EXPR4* whole, const EXPR4* first, const EXPR4* rest);

// A numeric text field (N, F) as an expression reads it: the text at
// offset in its table's current record, len bytes, as a double. Fields of
// expressions compiled apart (each with its own source) are the same when
// they are the same field object of one data handle.
struct EXPR4NUMFIELD {
  Expr4Source* source = nullptr;
  const void* table = nullptr;  // the field object, else the source
  int offset = 0;
  int len = 0;
  bool operator==(const EXPR4NUMFIELD& o) const {
    return table == o.table && offset == o.offset && len == o.len;
  }
};
// Whether e is exactly such a field compared for equality with a number
// literal, as "STATUS=3" compiles; then the field and the number. e is
// true when the field's value has the same bits as the number.
bool expr4fieldEqualsNumber(const EXPR4* e, EXPR4NUMFIELD* field, double* number);
double expr4numField(const EXPR4NUMFIELD& f);
// Evaluates; *result points at the value in the work area. Returns 0 or a
// negative error.
[[nodiscard]] int expr4execute(EXPR4* e, const char** result);
// 1 or 0 for a logical expression; negative on error.
int expr4true(EXPR4* e);
// Number or date result as a double (dates as Julian day).
double expr4double(EXPR4* e);
// Result as text (numbers and dates in their text forms).
std::string expr4str(EXPR4* e);
// Result as text with the NUL padding of variable-length parts removed.
std::string expr4vary(EXPR4* e);
// Result in index-key form (see i4key.h); *key valid until the next call.
[[nodiscard]] int expr4key(EXPR4* e, const char** key);
int expr4keyLen(const EXPR4* e);
char expr4keyType(const EXPR4* e);  // key type letter: C, D, N, I, Y, L, T
inline int expr4len(const EXPR4* e) { return e->len; }
inline char expr4type(const EXPR4* e) { return e->type; }
