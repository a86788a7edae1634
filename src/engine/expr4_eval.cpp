// Evaluation of a compiled expression over the current record.
//
// Operations run in order on a stack of pointers; each writes its result at
// its own fixed place in the work area (sizes fixed by the type checker), so
// an evaluation never allocates except for memo texts.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/expr4_date.h"
#include "engine/expr4_internal.h"
#include "engine/i4key.h"
#include "platform/clock.h"

namespace expr4 {

double textNumber(const char* p, int len) {
  int i = len <= 49 ? 0 : len;
  while (i + 8 <= len) {  // numeric fields are mostly blanks
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w != 0x2020202020202020ull) break;
    i += 8;
  }
  while (i < len && p[i] == ' ') ++i;
  bool negative = i < len && p[i] == '-';
  if (negative) ++i;
  int first = i;
  int64_t whole = 0;
  while (i < len && i - first < 15 && p[i] >= '0' && p[i] <= '9') whole = whole * 10 + (p[i++] - '0');
  if (i > first && (i == len || p[i] == ' ')) return negative ? -double(whole) : double(whole);
  char buf[50];
  int n = std::min(len, 49);
  std::memcpy(buf, p, size_t(n));
  buf[n] = 0;
  return std::strtod(buf, nullptr);
}

namespace {

double getD(const char* p) { double v; std::memcpy(&v, p, 8); return v; }
int32_t getI(const char* p) { int32_t v; std::memcpy(&v, p, 4); return v; }
int64_t getY(const char* p) { int64_t v; std::memcpy(&v, p, 8); return v; }
void putD(char* p, double v) { std::memcpy(p, &v, 8); }
void putL(char* p, bool v) { int32_t i = v ? 1 : 0; std::memcpy(p, &i, 4); }
bool getL(const char* p) { return getI(p) != 0; }

double dateTextJulian(const char* p) {
  long jd = julianFromDateText(std::string_view(p, 8));
  return double(jd);
}

// Julian day + fraction of a T value (two int32: day, milliseconds).
double dateTime(const char* p) { return getI(p) + getI(p + 4) / 86400000.0; }

// Numeric text right-justified in len with dec decimals; false on overflow
// (the field is then filled with '*').
bool formatNumber(double v, int len, int dec, char* out) {
  double scale = std::pow(10.0, dec);
  if (std::fabs(v) * scale < 1e15) v = std::round(v * scale) / scale;  // halves away from zero
  char buf[400];
  int n = std::snprintf(buf, sizeof buf, "%*.*f", len, dec, v);
  if (n < 0 || n > len) {
    std::memset(out, '*', size_t(len));
    return false;
  }
  std::memcpy(out, buf, size_t(len));
  return true;
}

// Character comparison: <0, 0, >0 as the language defines it.
int compareChars(const Op& op, const char* a, const char* b) {
  int c = std::memcmp(a, b, size_t(op.cmpLen));
  if (c) return c;
  if (op.lenSign > 0 && a[op.cmpLen] != 0) return 1;
  if (op.lenSign < 0 && b[op.cmpLen] != 0) return -1;
  return 0;
}

bool charsEqual(const Op& op, const char* a, const char* b) {
  if (std::memcmp(a, b, size_t(op.cmpLen))) return false;
  if (op.lenSign > 0) return a[op.cmpLen] == 0;
  if (op.lenSign < 0) return b[op.cmpLen] == 0;
  return true;
}

int compareNumbers(char type, const char* a, const char* b) {
  double x, y;
  if (type == 'Y') {
    int64_t p = getY(a), q = getY(b);
    return p < q ? -1 : (p > q ? 1 : 0);
  }
  if (type == 'T') {
    x = dateTime(a);
    y = dateTime(b);
  } else {
    x = getD(a);
    y = getD(b);
  }
  return x < y ? -1 : (x > y ? 1 : 0);
}

bool bytesEqual(char type, const char* a, const char* b) {
  if (type == 'L') return getL(a) == getL(b);
  return std::memcmp(a, b, 8) == 0;
}

void trimRight(char* p, int len) {
  for (int i = len; i > 0 && (p[i - 1] == ' ' || p[i - 1] == 0); i--) p[i - 1] = 0;
}
void trimLeft(char* p, int len) {
  int s = 0;
  while (s < len && (p[s] == ' ' || p[s] == 0)) s++;
  std::memmove(p, p + s, size_t(len - s));
  std::memset(p + len - s, 0, size_t(s));
}

// A number as the whole number the bit functions take: what no 64-bit
// integer holds (1E20, a NaN) is 0, never a conversion out of range.
int64_t wholeNumber(double v) { return v > -9.2e18 && v < 9.2e18 ? int64_t(v) : 0; }

// ASCEND form of a value (DESCEND complements it afterwards).
void ascend(const Op& op, const char* a, char* out, int argLen) {
  std::string k;
  switch (op.argType) {
    case 'I': k = i4key::fromInt(getI(a)); break;
    case 'L': k = getL(a) ? "1" : "0"; break;
    case 'n': k = i4key::fromDouble(getD(a)); break;
    case 'Y': k = i4key::fromCurrency(getY(a)); break;
    case 'T': k = i4key::fromDouble(dateTime(a)); break;
    case 'd': k = dateTextFromJulian(julianDay(getD(a))); break;
    case 'N': {
      k.assign(a, size_t(argLen));
      bool neg = k.find('-') != std::string::npos;
      for (char& c : k) {
        if (c == ' ') c = '0';
        if (neg) c = char(92 - c);
      }
      break;
    }
    default: k.assign(a, size_t(argLen)); break;
  }
  k.resize(size_t(op.len), '\0');
  std::memcpy(out, k.data(), size_t(op.len));
}

// TTOS(t, picture): H hours (days x 24 added, blank padded), M minutes and
// S seconds (zero padded), T the AM/PM marker with a 12-hour clock.
void ttos(double t, const char* pic, int len, char* out) {
  std::memcpy(out, pic, size_t(len));
  // Negative, NaN and absurdly large times (whose hour count would not fit
  // a long) show as blanks.
  if (!(t >= 0) || t > 1e15) {
    std::memset(out, ' ', size_t(len));
    return;
  }
  bool hasS = std::memchr(pic, 'S', size_t(len)) != nullptr;
  bool hasM = std::memchr(pic, 'M', size_t(len)) != nullptr;
  bool hasT = std::memchr(pic, 'T', size_t(len)) != nullptr;
  double unit = hasS ? 1.0 / 86400 : (hasM ? 1.0 / 1440 : 1.0 / 24);
  t += unit / 2;
  double days = std::floor(t);
  double frac = t - days;
  long secs = long(frac * 86400);
  long hours = long(days) * 24 + secs / 3600;
  long minutes = (secs / 60) % 60;
  long seconds = secs % 60;
  bool pm = (hours % 24) >= 12;
  if (hasT) {
    hours %= 12;
    if (hours == 0) hours = 12;
  }
  for (int i = 0; i < len;) {
    char c = pic[i];
    int run = 1;
    while (i + run < len && pic[i + run] == c) run++;
    std::string v;
    auto padded = [run](long x, char pad) {
      std::string t = std::to_string(x);
      if (int(t.size()) < run) t.insert(0, size_t(run) - t.size(), pad);
      return t.substr(t.size() - size_t(run));
    };
    if (c == 'H') v = padded(hours, ' ');
    else if (c == 'M') v = padded(minutes, '0');
    else if (c == 'S') v = padded(seconds, '0');
    else if (c == 'T') { v = pm ? "PM" : "AM"; v.resize(size_t(run), ' '); }
    if (!v.empty()) std::memcpy(out + i, v.data(), size_t(run));
    i += run;
  }
}

double hhmm(const char* p, int len, bool seconds) {
  std::string t(p, size_t(len));
  if (t.find_first_not_of(" \0", 0, 2) == std::string::npos) return -1;
  int need = seconds ? 6 : 4;
  t.resize(size_t(std::max(len, need)), '0');
  int h = std::atoi(t.substr(0, 2).c_str());
  int m = std::atoi(t.substr(2, 2).c_str());
  int s = seconds ? std::atoi(t.substr(4, 2).c_str()) : 0;
  return (h * 3600 + m * 60 + s) / 86400.0;
}

}  // namespace

int run(EXPR4& e, const char** result) {
  const char* stackBuf[64];
  std::vector<const char*> big;
  const char** st = stackBuf;
  if (e.ops.size() > 64) {
    big.resize(e.ops.size());
    st = big.data();
  }
  size_t sp = 0;
  e.evalError = 0;
  for (const Op& op : e.ops) {
    char* out = e.work.data() + op.offset;
    const char* const* args = st + sp - size_t(op.argc);
    const char* a = op.argc ? args[0] : nullptr;
    const char* b = op.constB >= 0 ? e.constants.data() + op.constB : op.argc > 1 ? args[1] : nullptr;
    const char* res = out;
    switch (op.fn) {
      case Fn::NumLit: putD(out, op.num); break;
      case Fn::StrLit: res = e.constants.data() + op.constOff; break;
      case Fn::True: putL(out, true); break;
      case Fn::False: putL(out, false); break;
      case Fn::Field: {
        const char* f = op.src->record() + op.field.offset;
        if (op.memo) {
          std::string m = op.src->memoText(op.field);
          size_t n = std::min(m.size(), size_t(op.len));
          std::memcpy(out, m.data(), n);
          std::memset(out + n, 0, size_t(op.len) - n);
        } else if (op.type == 'L') {
          putL(out, *f == 'T' || *f == 't' || *f == 'Y' || *f == 'y');
        } else if (op.type == 'n') {
          std::memcpy(out, f, 8);
        } else {
          res = f;
        }
        break;
      }
      case Fn::FieldNum: putD(out, textNumber(op.src->record() + op.field.offset, op.alen[0])); break;
      case Fn::ConvDate: putD(out, dateTextJulian(a)); break;
      case Fn::ConvNum:
        if (op.argType == 'N') putD(out, textNumber(a, op.alen[0]));
        else if (op.argType == 'I') putD(out, getI(a));
        else putD(out, double(getY(a)) / 10000.0);
        break;
      case Fn::Not: putL(out, !getL(a)); break;
      case Fn::And: case Fn::Or: {
        bool v = op.fn == Fn::And;
        for (int i = 0; i < op.argc; i++)
          v = op.fn == Fn::And ? (v && getL(args[i])) : (v || getL(args[i]));
        putL(out, v);
        break;
      }
      case Fn::Add: case Fn::Sub:
        if (op.type == 'C' || op.type == 'W') {
          int l0 = op.alen[0], l1 = op.alen[1];
          std::memmove(out, a, size_t(l0));
          int keep = l0;
          if (op.fn == Fn::Sub || op.leftVar) {
            char padc = op.fn == Fn::Sub ? ' ' : '\0';
            while (keep > 0 && out[keep - 1] == padc) keep--;
          }
          std::memcpy(out + keep, b, size_t(l1));
          std::memset(out + keep + l1, op.fn == Fn::Sub ? ' ' : 0, size_t(l0 - keep));
        } else {
          double x = getD(a), y = getD(b);
          double r;
          if (op.fn == Fn::Add) {
            bool blankDate = (op.argType == 'd' && x == 0) || (op.argType == 'n' && op.type == 'd' && y == 0);
            r = blankDate ? 0 : x + y;
          } else if (op.argType == 'd' && op.type == 'n') {
            r = (x == 0 || y == 0) ? 0 : x - y;
          } else {
            r = (op.argType == 'd' && x == 0) ? 0 : x - y;
          }
          putD(out, r);
        }
        break;
      case Fn::Eq: case Fn::Ne: {
        bool eq = op.argType == 'C' ? charsEqual(op, a, b)
                  : (op.argType == 'Y' || op.argType == 'T') ? compareNumbers(op.argType, a, b) == 0
                                                               : bytesEqual(op.argType, a, b);
        putL(out, op.fn == Fn::Eq ? eq : !eq);
        break;
      }
      case Fn::Gt: case Fn::Lt: case Fn::Ge: case Fn::Le: {
        int c = op.argType == 'C' ? compareChars(op, a, b) : compareNumbers(op.argType, a, b);
        bool v = op.fn == Fn::Gt ? c > 0 : op.fn == Fn::Lt ? c < 0 : op.fn == Fn::Ge ? c >= 0 : c <= 0;
        putL(out, v);
        break;
      }
      case Fn::Pow: putD(out, std::pow(getD(a), getD(b))); break;
      case Fn::Mul: putD(out, getD(a) * getD(b)); break;
      case Fn::Div: putD(out, getD(b) == 0 ? 0 : getD(a) / getD(b)); break;
      case Fn::Contains: {
        std::string_view hay(b, size_t(op.alen[1])), needle(a, size_t(op.alen[0]));
        putL(out, hay.find(needle) != std::string_view::npos);
        break;
      }
      case Fn::Chr: out[0] = char(static_cast<unsigned char>(wholeNumber(getD(a)))); break;
      case Fn::Del: out[0] = op.src ? op.src->record()[0] : e.source->record()[0]; break;
      case Fn::Str:
        if (op.argType == 'W') {
          std::memcpy(out, a, size_t(op.len));
        } else if (!formatNumber(getD(a), op.len, int(op.lit2), out)) {
          e.evalError = -440;
        }
        break;
      case Fn::Substr: case Fn::Left: case Fn::Right:
        std::memmove(out, a + op.start, size_t(op.len));
        break;
      case Fn::Time: {
        std::time_t t = platformClock().now();
        std::tm tm{};
        localtime_r(&t, &tm);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour % 100, tm.tm_min % 100, tm.tm_sec % 100);
        std::memcpy(out, buf, 8);
        break;
      }
      case Fn::Upper:
        for (int i = 0; i < op.len; i++) out[i] = i4key::upperAscii(a[i]);
        break;
      case Fn::Dtos:
        if (op.argType == 'd') {
          std::memcpy(out, dateTextFromJulian(julianDay(getD(a))).data(), 8);
        } else {
          int n = std::min(op.alen[0], 8);
          std::memcpy(out, a, size_t(n));
          std::memset(out + n, ' ', size_t(8 - n));
          if (op.argType == 'D' && std::memcmp(out, "       0", 8) == 0) out[7] = ' ';
        }
        break;
      case Fn::Dtoc: {
        std::string d = op.argType == 'd' ? dateTextFromJulian(julianDay(getD(a))) : std::string(a, 8);
        std::string s = formatDate(d, e.source->dateFormat());
        std::memcpy(out, s.data(), std::min(s.size(), size_t(op.len)));
        break;
      }
      case Fn::Trim: std::memmove(out, a, size_t(op.len)); trimRight(out, op.len); break;
      case Fn::Ltrim: std::memmove(out, a, size_t(op.len)); trimLeft(out, op.len); break;
      case Fn::Alltrim:
        std::memmove(out, a, size_t(op.len));
        trimLeft(out, op.len);
        trimRight(out, op.len);
        break;
      case Fn::Iif: {
        const char* pick = getL(a) ? b : args[2];
        std::memmove(out, pick, size_t(slotSize(op.type, op.len)));
        break;
      }
      case Fn::Stod: putD(out, double(julianFromDateText(std::string_view(a, size_t(op.alen[0]))))); break;
      case Fn::Ctod: {
        std::string d = parseDate(std::string_view(a, size_t(op.alen[0])), e.source->dateFormat());
        putD(out, double(julianFromDateText(d)));
        break;
      }
      case Fn::Date: putD(out, double(julianFromDateText(todayText()))); break;
      case Fn::Day: case Fn::Month: case Fn::Year: {
        int y = 0, m = 0, d = 0;
        if (op.argType == 'D') {
          y = int(textNumber(a, 4));
          m = int(textNumber(a + 4, 2));
          d = int(textNumber(a + 6, 2));
        } else if (getD(a) > 0) {
          ymdFromJulian(julianDay(getD(a)), y, m, d);
        }
        putD(out, op.fn == Fn::Day ? d : op.fn == Fn::Month ? m : y);
        break;
      }
      case Fn::Deleted: putL(out, e.source->record()[0] == '*'); break;
      case Fn::Reccount: putD(out, double(e.source->recCount())); break;
      case Fn::Recno: putD(out, double(e.source->recNo())); break;
      case Fn::Val: putD(out, textNumber(a, op.alen[0])); break;
      case Fn::Ascend: case Fn::Descend:
        ascend(op, a, out, op.alen[0]);
        if (op.fn == Fn::Descend)
          for (int i = 0; i < op.len; i++) out[i] = char(~out[i]);
        break;
      case Fn::Hhmm: putD(out, hhmm(a, op.alen[0], false)); break;
      case Fn::Hhmmss: putD(out, hhmm(a, op.alen[0], true)); break;
      case Fn::Ttos: ttos(getD(a), b, op.len, out); break;
      case Fn::BitAnd: case Fn::BitOr: case Fn::BitXor: {
        uint32_t x = uint32_t(wholeNumber(getD(a))), y = uint32_t(wholeNumber(getD(b)));
        uint32_t r = op.fn == Fn::BitAnd ? (x & y) : op.fn == Fn::BitOr ? (x | y) : (x ^ y);
        putD(out, double(int32_t(r)));
        break;
      }
      case Fn::Bitval: putD(out, double(uint8_t(a[0]))); break;
      case Fn::Dateval: putD(out, getD(a) + 2415019.0); break;
    }
    sp -= size_t(op.argc);
    st[sp++] = res;
  }
  *result = sp ? st[sp - 1] : nullptr;
  return e.evalError;
}

}  // namespace expr4
