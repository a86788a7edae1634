// What a compiled expression needs from the table it is evaluated against.
//
// The expression compiler and evaluator work over a record buffer and field
// descriptors only; this interface supplies them. The engine binds it to a
// data handle (expr4_data.cpp); tests bind it to a plain buffer.
//
// Ownership: a source outlives every expression compiled against it.
#pragma once

#include <string>
#include <string_view>

struct Expr4Field {
  std::string name;   // upper case, at most 10 characters
  char type = 'C';    // file type letter: C W N F D L M G B I Y T ...
  int len = 0;
  int dec = 0;
  int offset = 0;     // byte offset in the record (deletion flag is 0)
  bool nullable = false;
  const void* handle = nullptr;  // the engine's own field object, if any
};

class Expr4Source {
 public:
  virtual ~Expr4Source() = default;
  // Finds a field by upper-case name; false when unknown.
  virtual bool field(std::string_view name, Expr4Field& out) = 0;
  // Another open table of the same context by alias (upper case), or null.
  virtual Expr4Source* alias(std::string_view name) = 0;
  // The current record buffer (record length bytes; byte 0 the deletion flag).
  virtual const char* record() = 0;
  virtual long recNo() = 0;
  virtual long recCount() = 0;
  // Memo text of the current record.
  virtual std::string memoText(const Expr4Field& f) = 0;
  // The context's date picture ("MM/DD/YY" by default).
  virtual std::string dateFormat() = 0;
  // Reports an engine error (code, expression text); returns code.
  virtual int error(int code, const std::string& text) = 0;
  // Whether expression errors are reported (else only returned).
  virtual bool reportExprErrors() { return true; }
  // Length of a memo field read in ordinary expressions.
  virtual int memoExprLen() { return 1024; }
};
