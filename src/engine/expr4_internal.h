// Compiled form of an expression: shared by the parser, the type checker and
// the evaluator. Not part of the engine's public interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/expr4.h"

namespace expr4 {

enum class Fn : uint8_t {
  True, False, Not, Or, And,
  Add, Sub, Ne, Ge, Le, Eq, Gt, Lt, Pow, Mul, Div, Contains,
  Chr, Del, Str, Substr, Time, Upper, Dtos, Dtoc, Trim, Ltrim, Alltrim, Left, Right,
  Iif, Stod, Ctod, Date, Day, Month, Year, Deleted, Reccount, Recno, Val,
  Descend, Ascend, Hhmm, Hhmmss, Ttos, BitAnd, BitOr, BitXor, Bitval, Dateval,
  Field, NumLit, StrLit,
  ConvDate,  // D text -> d
  ConvNum,   // N text, I, Y -> n (source type in argType)
  FieldNum,  // a numeric text field read as n (Field and ConvNum folded)
};

struct Op {
  Fn fn = Fn::NumLit;
  int argc = 0;
  char type = 0;      // result type letter, set by the type checker
  char argType = 0;   // type of the first operand after conversion
  int alen[3] = {0, 0, 0};  // operand lengths (first three)
  int len = 0;        // result length
  int offset = 0;     // result offset in the work area
  int priority = 0;   // operators on the parser's stack
  // Character comparisons: compared length and length order (+1 left longer).
  int cmpLen = 0, lenSign = 0;
  // SUBSTR/LEFT/RIGHT: literal start (1-based, as written) and count (-1: rest);
  // STR: literal length and decimals.
  double lit1 = 0, lit2 = 0;
  int nLits = 0;
  int start = 0;      // clamped 0-based offset
  bool leftVar = false;   // "+" on C: left operand has variable length
  bool varLength = false; // this result has NUL-padded variable parts
  Expr4Field field;
  Expr4Source* src = nullptr;  // table of a field read
  bool memo = false;
  int constOff = 0;   // string literal in the constants area
  // A literal second operand folded into this operation: its value's place
  // in the constants area (-1: the operand is on the stack).
  int constB = -1;
  double num = 0;     // number literal
  std::string_view name;  // function or operator name, for messages
};

// Parses text into a postfix program (types not yet checked). Returns 0 or
// the error code.
int parse(EXPR4& e);
// Checks types, inserts implicit conversions, fixes lengths and offsets.
int massage(EXPR4& e);
// Runs the program; *result points at the final value.
int run(EXPR4& e, const char** result);

// The value of numeric text as strtod reads it. Most numeric fields hold a
// blank-padded whole number: that is read directly (exact up to 15 digits).
double textNumber(const char* p, int len);

// Size of a value of this type and length in the work area.
int slotSize(char type, int len);

}  // namespace expr4
