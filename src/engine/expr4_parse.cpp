// Expression scanner and operator-precedence parser.
//
// One pass over the text with an explicit operator stack; the output is a
// postfix list of operations. Operands are values (literals, fields, function
// calls, bracketed sub-expressions); .AND. and .OR. chains of one operator
// become one n-ary operation. Limits: the text is at most 4096 bytes and
// nesting at most 64 levels, so hostile input cannot exhaust the stack.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/expr4_internal.h"

namespace expr4 {
namespace {

constexpr size_t kMaxText = 4096;
constexpr int kMaxDepth = 64;

struct OperatorRow {
  const char* name;
  Fn fn;
  int priority;
  int argc;
};

// Table order matters: the first row whose whole name matches wins.
const OperatorRow kOperators[] = {
    {".OR.", Fn::Or, 3, -1},  {".AND.", Fn::And, 4, -1}, {"+", Fn::Add, 7, 2},
    {"-", Fn::Sub, 7, 2},     {"#", Fn::Ne, 6, 2},       {"<>", Fn::Ne, 6, 2},
    {">=", Fn::Ge, 6, 2},     {"=>", Fn::Ge, 6, 2},      {"<=", Fn::Le, 6, 2},
    {"=<", Fn::Le, 6, 2},     {"=", Fn::Eq, 6, 2},       {">", Fn::Gt, 6, 2},
    {"<", Fn::Lt, 6, 2},      {"^", Fn::Pow, 9, 2},      {"**", Fn::Pow, 9, 2},
    {"*", Fn::Mul, 8, 2},     {"/", Fn::Div, 8, 2},      {"$", Fn::Contains, 6, 2},
};

struct FunctionRow {
  const char* name;
  Fn fn;
  int argc;  // after literal arguments are removed
};

const FunctionRow kFunctions[] = {
    {"CHR", Fn::Chr, 1},         {"DEL", Fn::Del, 0},         {"STR", Fn::Str, 1},
    {"SUBSTR", Fn::Substr, 1},   {"TIME", Fn::Time, 0},       {"UPPER", Fn::Upper, 1},
    {"DTOS", Fn::Dtos, 1},       {"DTOC", Fn::Dtoc, 1},       {"TRIM", Fn::Trim, 1},
    {"LTRIM", Fn::Ltrim, 1},     {"ALLTRIM", Fn::Alltrim, 1}, {"LEFT", Fn::Left, 1},
    {"RIGHT", Fn::Right, 1},     {"IIF", Fn::Iif, 3},         {"STOD", Fn::Stod, 1},
    {"CTOD", Fn::Ctod, 1},       {"DATE", Fn::Date, 0},       {"DAY", Fn::Day, 1},
    {"MONTH", Fn::Month, 1},     {"YEAR", Fn::Year, 1},       {"DELETED", Fn::Deleted, 0},
    {"RECCOUNT", Fn::Reccount, 0}, {"RECNO", Fn::Recno, 0},   {"VAL", Fn::Val, 1},
    {"DESCEND", Fn::Descend, 1}, {"ASCEND", Fn::Ascend, 1},   {"HHMM", Fn::Hhmm, 1},
    {"HHMMSS", Fn::Hhmmss, 1},   {"TTOS", Fn::Ttos, 2},       {"AND", Fn::BitAnd, 2},
    {"OR", Fn::BitOr, 2},        {"XOR", Fn::BitXor, 2},      {"BITVAL", Fn::Bitval, 1},
    {"DATEVAL", Fn::Dateval, 1},
};

bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string upper(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return r;
}

class Parser {
 public:
  explicit Parser(EXPR4& e) : e_(e), s_(e.text) {}

  int run() {
    if (s_.size() > kMaxText) return -410;
    int rc = expr();
    if (rc) return rc;
    skipBlanks();
    if (pos_ != s_.size()) return s_[pos_] == ')' ? -400 : -480;
    if (e_.ops.empty()) return -410;
    return 0;
  }

 private:
  EXPR4& e_;
  std::string_view s_;
  size_t pos_ = 0;
  std::vector<Op> stack_;
  int depth_ = 0;
  int argDepth_ = 0;  // > 0 while parsing a function's arguments

  void skipBlanks() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' ||
                                s_[pos_] == '\n'))
      pos_++;
  }
  bool atEnd() const { return pos_ >= s_.size(); }
  bool matchCI(size_t at, std::string_view word) const {
    if (at + word.size() > s_.size()) return false;
    for (size_t i = 0; i < word.size(); i++)
      if (std::toupper(static_cast<unsigned char>(s_[at + i])) != word[i]) return false;
    return true;
  }

  void emit(Op op) { e_.ops.push_back(std::move(op)); }

  // expr := value (operator value)*
  int expr() {
    if (++depth_ > kMaxDepth) return -410;
    size_t base = stack_.size();
    int rc = value();
    while (rc == 0) {
      skipBlanks();
      if (atEnd() || s_[pos_] == ')' || s_[pos_] == ',') break;
      const OperatorRow* row = nullptr;
      for (const auto& r : kOperators)
        if (matchCI(pos_, r.name)) {
          row = &r;
          break;
        }
      if (!row) {
        if (argDepth_ > 0) break;  // the function reports the bad separator
        return -480;
      }
      pos_ += std::strlen(row->name);
      pushOperator(*row, base);
      rc = value();
    }
    if (rc) return rc;
    while (stack_.size() > base) {
      emit(stack_.back());
      stack_.pop_back();
    }
    depth_--;
    return 0;
  }

  void pushOperator(const OperatorRow& row, size_t base) {
    for (;;) {
      if (stack_.size() == base || row.priority > stack_.back().priority) {
        Op op;
        op.fn = row.fn;
        op.argc = 2;
        op.priority = row.priority;
        op.name = row.name;
        stack_.push_back(op);
        return;
      }
      Op& top = stack_.back();
      if (row.argc == -1 && top.fn == row.fn) {
        top.argc++;
        return;
      }
      emit(top);
      stack_.pop_back();
    }
  }

  int value() {
    skipBlanks();
    if (atEnd()) return -410;
    char c = s_[pos_];
    if (c == '(') {
      pos_++;
      int rc = expr();
      if (rc) return rc;
      skipBlanks();
      if (atEnd() || s_[pos_] != ')') return -450;
      pos_++;
      return 0;
    }
    if (c == '.') {
      static const struct { const char* w; Fn fn; } kLogicals[] = {
          {".TRUE.", Fn::True}, {".T.", Fn::True}, {".FALSE.", Fn::False}, {".F.", Fn::False}};
      for (const auto& l : kLogicals)
        if (matchCI(pos_, l.w)) {
          pos_ += std::strlen(l.w);
          Op op;
          op.fn = l.fn;
          op.name = l.w;
          emit(op);
          return 0;
        }
      if (matchCI(pos_, ".NOT.")) {
        pos_ += 5;
        Op op;
        op.fn = Fn::Not;
        op.argc = 1;
        op.priority = 5;
        op.name = ".NOT.";
        stack_.push_back(op);
        if (++depth_ > kMaxDepth) return -410;
        int rc = value();
        depth_--;
        return rc;
      }
    }
    if (c == '"' || c == '\'' || c == '[') return stringLiteral();
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.') {
      int rc = number();
      if (rc != 1) return rc;  // 1: not a number after all, scan as a name
    }
    if (isNameChar(c)) return name();
    return -490;
  }

  int stringLiteral() {
    char close = s_[pos_] == '[' ? ']' : s_[pos_];
    size_t end = s_.find(close, pos_ + 1);
    if (end == std::string_view::npos) return -500;
    Op op;
    op.fn = Fn::StrLit;
    op.constOff = int(e_.constants.size());
    op.len = int(end - pos_ - 1);
    e_.constants.append(s_.substr(pos_ + 1, end - pos_ - 1));
    pos_ = end + 1;
    emit(op);
    return 0;
  }

  int number() {
    size_t p = pos_ + 1;
    while (p < s_.size()) {
      char c = s_[p];
      if (std::isdigit(static_cast<unsigned char>(c))) {
        p++;
      } else if (c == '.') {
        if (matchCI(p, ".AND.") || matchCI(p, ".OR.") || matchCI(p, ".NOT.")) break;
        if (p + 1 < s_.size() && std::isalpha(static_cast<unsigned char>(s_[p + 1]))) break;
        p++;
      } else {
        break;
      }
    }
    if (p < s_.size() && std::isalpha(static_cast<unsigned char>(s_[p]))) return 1;
    std::string text(s_.substr(pos_, std::min<size_t>(p - pos_, 49)));
    Op op;
    op.fn = Fn::NumLit;
    op.num = std::strtod(text.c_str(), nullptr);
    pos_ = p;
    emit(op);
    return 0;
  }

  int name() {
    size_t startPos = pos_;
    while (pos_ < s_.size() && isNameChar(s_[pos_])) pos_++;
    std::string nm = upper(s_.substr(startPos, pos_ - startPos));
    size_t after = pos_;
    skipBlanks();
    if (!atEnd() && s_[pos_] == '(') {
      pos_++;
      return function(nm);
    }
    pos_ = after;
    Expr4Source* src = e_.source;
    std::string alias = nm.substr(0, 10);
    bool arrow = s_.substr(pos_, 2) == "->";
    if (arrow || (pos_ < s_.size() && s_[pos_] == '.' && pos_ + 1 < s_.size() &&
                  std::isalpha(static_cast<unsigned char>(s_[pos_ + 1])))) {
      Expr4Source* other = e_.source->alias(alias);
      if (!other && arrow) return -420;
      if (other) {
        if (e_.forTag && other != e_.source) return -510;
        pos_ += arrow ? 2 : 1;
        size_t fs = pos_;
        while (pos_ < s_.size() && isNameChar(s_[pos_])) pos_++;
        if (fs == pos_) return -490;
        nm = upper(s_.substr(fs, pos_ - fs));
        src = other;
      }
    }
    Op op;
    op.fn = Fn::Field;
    op.src = src;
    if (!src->field(nm.substr(0, 10), op.field)) return -210;
    op.name = "field";
    emit(op);
    return 0;
  }

  int function(const std::string& nm) {
    const FunctionRow* row = nullptr;
    for (const auto& r : kFunctions)
      if (nm == r.name) {
        row = &r;
        break;
      }
    if (!row) return -470;
    std::vector<size_t> argStarts;
    skipBlanks();
    if (!atEnd() && s_[pos_] == ')') {
      pos_++;
    } else {
      for (;;) {
        argStarts.push_back(e_.ops.size());
        argDepth_++;
        int rc = expr();
        argDepth_--;
        if (rc) return rc;
        skipBlanks();
        if (atEnd()) return -450;
        if (s_[pos_] == ')') {
          pos_++;
          break;
        }
        if (s_[pos_] != ',') return -400;
        pos_++;
      }
    }
    Op op;
    op.fn = row->fn;
    op.name = row->name;
    int argc = int(argStarts.size());
    int rc = takeLiterals(op, argStarts, argc);
    if (rc) return rc;
    if (argc != row->argc) return -430;
    op.argc = argc;
    emit(op);
    return 0;
  }

  // Removes the literal arguments of STR, SUBSTR, LEFT and RIGHT (and the
  // second argument of DTOC, which makes it DTOS) from the program.
  int takeLiterals(Op& op, const std::vector<size_t>& starts, int& argc) {
    size_t firstLit;
    switch (op.fn) {
      case Fn::Str: case Fn::Substr: case Fn::Left: case Fn::Right: firstLit = 1; break;
      case Fn::Dtoc:
        if (argc == 2) {
          e_.ops.resize(starts[1]);
          argc = 1;
          op.fn = Fn::Dtos;
          op.name = "DTOS";
        }
        return 0;
      default: return 0;
    }
    if (op.fn == Fn::Left || op.fn == Fn::Right) {
      if (argc != 2) return argc < 2 ? -430 : -430;
    }
    if (size_t(argc) <= firstLit) return op.fn == Fn::Str ? 0 : -430;
    if (argc > 3) return -430;
    double lits[2] = {0, 0};
    for (size_t i = firstLit; i < starts.size(); i++) {
      size_t end = i + 1 < starts.size() ? starts[i + 1] : e_.ops.size();
      if (end - starts[i] != 1 || e_.ops[starts[i]].fn != Fn::NumLit) return -425;
      lits[i - firstLit] = e_.ops[starts[i]].num;
    }
    op.nLits = argc - int(firstLit);
    op.lit1 = lits[0];
    op.lit2 = lits[1];
    e_.ops.resize(starts[firstLit]);
    argc = int(firstLit);
    return 0;
  }
};

}  // namespace

int parse(EXPR4& e) {
  Parser p(e);
  return p.run();
}

}  // namespace expr4
