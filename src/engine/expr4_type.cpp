// Type checking of a parsed expression program.
//
// Each operation is matched against its overloads (argument types -> result
// type) in table order. While matching, a date text (D) may stand for a
// Julian day (d) and a number text (N), integer (I) or currency (Y) for a
// double (n); such arguments get a conversion operation inserted right after
// the operations that compute them. Result lengths and work-area offsets are
// fixed here, so evaluation never allocates.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/expr4_internal.h"

namespace expr4 {
namespace {

// A numeric literal used as a length or a count; a literal no int can
// hold (or NaN) gives the fallback, the caller clamps the rest.
int literalInt(double v, int fallback) {
  if (std::isnan(v)) return fallback;
  if (v > 1e6) return 1000000;
  if (v < -1e6) return -1000000;
  return int(v);
}

struct Overloads {
  Fn fn;
  std::vector<const char*> rows;  // "args>result"
};

const std::vector<Overloads>& table() {
  static const std::vector<Overloads> t = {
      {Fn::Not, {"L>L"}},
      {Fn::Add, {"CC>C", "WW>W", "nn>n", "nd>d", "dn>d"}},
      {Fn::Sub, {"CC>C", "nn>n", "dd>n", "dn>d"}},
      {Fn::Ne, {"CC>L", "nn>L", "dd>L", "LL>L", "YY>L", "TT>L"}},
      {Fn::Eq, {"CC>L", "LL>L", "nn>L", "dd>L", "YY>L", "TT>L"}},
      {Fn::Ge, {"CC>L", "nn>L", "dd>L", "YY>L", "TT>L"}},
      {Fn::Le, {"CC>L", "nn>L", "dd>L", "YY>L", "TT>L"}},
      {Fn::Gt, {"CC>L", "nn>L", "dd>L", "YY>L", "TT>L"}},
      {Fn::Lt, {"CC>L", "nn>L", "dd>L", "YY>L", "TT>L"}},
      {Fn::Pow, {"nn>n"}}, {Fn::Mul, {"nn>n"}}, {Fn::Div, {"nn>n"}},
      {Fn::Contains, {"CC>L"}},
      {Fn::Chr, {"n>C"}}, {Fn::Del, {">C"}}, {Fn::Str, {"n>C", "W>C"}},
      {Fn::Substr, {"C>C"}}, {Fn::Time, {">C"}}, {Fn::Upper, {"C>C"}},
      {Fn::Dtos, {"D>C", "d>C", "C>C"}}, {Fn::Dtoc, {"D>C", "d>C"}},
      {Fn::Trim, {"C>C"}}, {Fn::Ltrim, {"C>C"}}, {Fn::Alltrim, {"C>C"}},
      {Fn::Left, {"C>C"}}, {Fn::Right, {"C>C"}},
      {Fn::Iif, {"LCC>C", "Lnn>n", "Ldd>d", "LLL>L"}},
      {Fn::Stod, {"C>d"}}, {Fn::Ctod, {"C>d"}}, {Fn::Date, {">d"}},
      {Fn::Day, {"D>n", "d>n"}}, {Fn::Month, {"D>n", "d>n"}}, {Fn::Year, {"D>n", "d>n"}},
      {Fn::Deleted, {">L"}}, {Fn::Reccount, {">n"}}, {Fn::Recno, {">n"}},
      {Fn::Val, {"C>n"}},
      {Fn::Descend, {"C>C", "N>C", "d>C", "L>C", "T>C", "I>C", "Y>C", "W>C", "n>C"}},
      {Fn::Ascend, {"C>C", "W>C", "N>C", "D>C", "d>C", "L>C", "I>C", "T>C", "Y>C", "n>C"}},
      {Fn::Hhmm, {"C>n"}}, {Fn::Hhmmss, {"C>n"}}, {Fn::Ttos, {"nC>C"}},
      {Fn::BitAnd, {"nn>n"}}, {Fn::BitOr, {"nn>n"}}, {Fn::BitXor, {"nn>n"}},
      {Fn::Bitval, {"C>n"}}, {Fn::Dateval, {"n>d"}},
  };
  return t;
}

bool converts(char have, char want) {
  if (have == want) return true;
  if (want == 'd') return have == 'D';
  if (want == 'n') return have == 'N' || have == 'I' || have == 'Y';
  return false;
}

struct Entry {
  char type;
  int len;
  bool var;
  size_t end;  // index in the output program just past this operand
};

int keyLenOf(char type, int len) {
  switch (type) {
    case 'I': return 4;
    case 'L': return 1;
    case 'T': case 'd': case 'n': case 'Y': return 8;
    default: return len;
  }
}

class Checker {
 public:
  explicit Checker(EXPR4& e) : e_(e) {}

  int run() {
    for (Op op : e_.ops) {
      int rc = step(op);
      if (rc) return rc;
    }
    if (stack_.size() != 1) return stack_.empty() ? -410 : -950;
    fold();
    int offset = 0;
    for (Op& op : out_) {
      op.offset = offset;
      offset += slotSize(op.type, op.len);
    }
    e_.work.assign(size_t(offset) + 8, 0);
    e_.type = stack_.back().type;
    e_.len = stack_.back().len;
    e_.varLength = stack_.back().var;
    e_.ops = std::move(out_);
    return 0;
  }

 private:
  EXPR4& e_;
  std::vector<Op> out_;
  std::vector<Entry> stack_;

  // Folds operations that need no step of their own into the operation
  // that uses them: a numeric text field's conversion into its read, and a
  // literal second operand into a comparison or arithmetic (the operation
  // just before a binary one is the root of its second operand).
  void fold() {
    std::vector<Op> folded;
    folded.reserve(out_.size());
    for (Op& op : out_) {
      Op* prev = folded.empty() ? nullptr : &folded.back();
      if (prev && op.fn == Fn::ConvNum && op.argType == 'N' && prev->fn == Fn::Field && !prev->memo) {
        op.fn = Fn::FieldNum;
        op.argc = 0;
        op.field = prev->field;
        op.src = prev->src;
        *prev = op;
        continue;
      }
      if (prev && op.argc == 2 && takesLiteral(op.fn) &&
          (prev->fn == Fn::NumLit || prev->fn == Fn::StrLit)) {
        if (prev->fn == Fn::NumLit) {
          op.constB = int(e_.constants.size());
          e_.constants.append(reinterpret_cast<const char*>(&prev->num), sizeof prev->num);
        } else {
          op.constB = prev->constOff;
        }
        op.argc = 1;
        *prev = op;
        continue;
      }
      folded.push_back(op);
    }
    out_ = std::move(folded);
  }

  static bool takesLiteral(Fn fn) {
    switch (fn) {
      case Fn::Eq: case Fn::Ne: case Fn::Lt: case Fn::Gt: case Fn::Le: case Fn::Ge:
      case Fn::Add: case Fn::Sub: case Fn::Mul: case Fn::Div: case Fn::Pow:
        return true;
      default:
        return false;
    }
  }

  void push(Op& op, bool var) {
    op.varLength = var;
    out_.push_back(op);
    stack_.push_back({op.type, op.len, var, out_.size()});
  }

  int leaf(Op& op) {
    switch (op.fn) {
      case Fn::NumLit: op.type = 'n'; op.len = 8; break;
      case Fn::StrLit: op.type = 'C'; break;
      case Fn::True: case Fn::False: op.type = 'L'; op.len = 4; break;
      case Fn::Field: {
        const Expr4Field& f = op.field;
        op.len = f.len;
        switch (f.type) {
          case 'C': op.type = 'C'; break;
          case 'W': op.type = 'W'; break;
          case 'L': op.type = 'L'; break;
          case 'D': op.type = 'D'; break;
          case 'N': case 'F': op.type = 'N'; break;
          case 'Y': op.type = 'Y'; break;
          case 'B': op.type = 'n'; break;
          case 'I': op.type = 'I'; break;
          case 'T': op.type = 'T'; break;
          case 'M':
            op.type = 'C';
            op.memo = true;
            e_.usesMemo = true;
            op.len = e_.forTag ? (f.nullable ? 239 : 240) : e_.source->memoExprLen();
            break;
          default: return -460;
        }
        break;
      }
      default: return -950;
    }
    push(op, op.memo);
    return 0;
  }

  void convert(size_t index, char want) {
    Entry& ent = stack_[index];
    Op conv;
    conv.fn = want == 'd' ? Fn::ConvDate : Fn::ConvNum;
    conv.argc = 1;
    conv.argType = ent.type;
    conv.alen[0] = ent.len;
    conv.type = want;
    conv.len = 8;
    conv.name = "conversion";
    out_.insert(out_.begin() + long(ent.end), conv);
    for (size_t i = index; i < stack_.size(); i++) stack_[i].end++;
    ent.type = want;
    ent.len = 8;
  }

  int step(Op& op) {
    if (op.fn == Fn::NumLit || op.fn == Fn::StrLit || op.fn == Fn::True ||
        op.fn == Fn::False || op.fn == Fn::Field)
      return leaf(op);
    if (op.fn == Fn::And || op.fn == Fn::Or) {
      if (op.argc < 2 || size_t(op.argc) > stack_.size()) return -950;
      for (size_t i = stack_.size() - size_t(op.argc); i < stack_.size(); i++)
        if (stack_[i].type != 'L') return -460;
      op.type = 'L';
      op.len = 4;
      stack_.resize(stack_.size() - size_t(op.argc));
      push(op, false);
      return 0;
    }
    if (size_t(op.argc) > stack_.size()) return -950;
    const Overloads* ov = nullptr;
    for (const auto& o : table())
      if (o.fn == op.fn) ov = &o;
    if (!ov) return -950;
    size_t first = stack_.size() - size_t(op.argc);
    for (const char* row : ov->rows) {
      const char* gt = std::strchr(row, '>');
      if (gt - row != op.argc) {
        if (row == ov->rows.back()) return -430;
        continue;
      }
      bool ok = true;
      for (int i = 0; i < op.argc && ok; i++) ok = converts(stack_[first + size_t(i)].type, row[i]);
      if (!ok) continue;
      for (int i = 0; i < op.argc; i++)
        if (stack_[first + size_t(i)].type != row[i]) convert(first + size_t(i), row[i]);
      op.type = gt[1];
      return finish(op, first);
    }
    return -460;
  }

  int finish(Op& op, size_t first) {
    std::vector<Entry> args(stack_.begin() + long(first), stack_.end());
    stack_.resize(first);
    op.argType = args.empty() ? 0 : args[0].type;
    for (size_t i = 0; i < args.size() && i < 3; i++) op.alen[i] = args[i].len;
    bool var = false;
    int a0 = args.empty() ? 0 : args[0].len;
    switch (op.fn) {
      case Fn::Add: case Fn::Sub:
        if (op.type == 'C' || op.type == 'W') {
          op.len = args[0].len + args[1].len;
          op.leftVar = args[0].var;
          var = args[0].var || args[1].var;
        }
        break;
      case Fn::Eq: case Fn::Ne: case Fn::Gt: case Fn::Lt: case Fn::Ge: case Fn::Le:
        if (op.argType == 'C') {
          op.cmpLen = std::min(args[0].len, args[1].len);
          op.lenSign = args[0].len > args[1].len ? 1 : (args[0].len < args[1].len ? -1 : 0);
        }
        break;
      case Fn::Chr: case Fn::Del: op.len = 1; break;
      case Fn::Time: case Fn::Dtos: op.len = 8; break;
      case Fn::Dtoc: op.len = int(e_.source->dateFormat().size()); break;
      case Fn::Str: {
        if (op.argType == 'W') {
          op.len = a0;
          break;
        }
        int len = op.nLits >= 1 ? literalInt(op.lit1, 10) : 10;
        int dec = op.nLits >= 2 ? literalInt(op.lit2, 0) : 0;
        if (len < 0) len = 10;
        if (len > 255) len = 255;
        if (dec + 1 >= len) dec = len - 2;
        if (dec < 0) dec = 0;
        op.len = len;
        op.lit1 = len;
        op.lit2 = dec;
        break;
      }
      case Fn::Substr: case Fn::Left: case Fn::Right: {
        double s, n;
        if (op.fn == Fn::Substr) {
          s = op.lit1 - 1;
          n = op.nLits >= 2 ? op.lit2 : a0 - s;
        } else if (op.fn == Fn::Left) {
          s = 0;
          n = op.lit1;
        } else {
          n = op.lit1 < 0 ? 0 : op.lit1;
          s = a0 - n;
        }
        if (std::isnan(s)) s = 0;
        if (std::isnan(n)) n = 0;
        s = std::clamp(s, 0.0, double(a0));
        n = std::clamp(n, 0.0, double(a0) - s);
        op.start = int(s);
        op.len = int(n);
        var = args[0].var;
        break;
      }
      case Fn::Upper: op.len = a0; var = args[0].var; break;
      case Fn::Trim: case Fn::Ltrim: case Fn::Alltrim: op.len = a0; var = true; break;
      case Fn::Iif:
        if (op.type == 'C') {
          if (args[1].len != args[2].len) return -422;
          op.len = args[1].len;
          var = args[1].var || args[2].var;
        }
        break;
      case Fn::Descend: case Fn::Ascend: op.len = keyLenOf(op.argType, a0); break;
      case Fn::Ttos: op.len = args[1].len; break;
      default: break;
    }
    if (op.type == 'L') op.len = 4;
    if (op.type == 'n' || op.type == 'd') op.len = 8;
    push(op, var);
    return 0;
  }
};

}  // namespace

int slotSize(char type, int len) {
  switch (type) {
    case 'L': case 'I': return 4;
    case 'n': case 'd': case 'Y': case 'T': return 8;
    default: return std::max(len, 1);
  }
}

int massage(EXPR4& e) {
  Checker c(e);
  return c.run();
}

}  // namespace expr4
