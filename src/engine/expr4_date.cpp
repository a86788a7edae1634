#include "engine/expr4_date.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "engine/date4.h"

namespace expr4 {

long julianDay(double v) { return v > 0 && v < 1e8 ? long(v) : 0; }

void ymdFromJulian(long jd, int& y, int& m, int& d) {
  std::string t = dateTextFromJulian(jd);
  if (t[0] == ' ') {
    y = m = d = 0;
    return;
  }
  y = std::atoi(t.substr(0, 4).c_str());
  m = std::atoi(t.substr(4, 2).c_str());
  d = std::atoi(t.substr(6, 2).c_str());
}

long julianFromDateText(std::string_view t) {
  if (t.size() < 8) return -1;
  return date4long(t.data());
}

std::string dateTextFromJulian(long jd) {
  char buf[8];
  date4assign(buf, jd);
  return std::string(buf, 8);
}

std::string todayText() {
  char buf[8];
  date4today(buf);
  return std::string(buf, 8);
}

namespace {
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
}

std::string formatDate(std::string_view date, std::string_view pic) {
  std::string out(pic);
  bool blank = date.size() < 8 || julianFromDateText(date.substr(0, 8)) <= 0;
  for (size_t i = 0; i < pic.size();) {
    char c = pic[i];
    size_t run = 1;
    while (i + run < pic.size() && pic[i + run] == c) run++;
    std::string val;
    if (c == 'C' || c == 'Y' || c == 'M' || c == 'D') {
      if (blank) {
        val.assign(run, ' ');
      } else if (c == 'C') {
        val = std::string(date.substr(0, 2));
      } else if (c == 'Y') {
        val = run >= 4 ? std::string(date.substr(0, 4)) : std::string(date.substr(2, 2));
      } else if (c == 'D') {
        val = std::string(date.substr(6, 2));
      } else if (run > 2) {
        int m = (date[4] - '0') * 10 + (date[5] - '0');
        val = (m >= 1 && m <= 12) ? kMonths[m - 1] : "";
      } else {
        val = std::string(date.substr(4, 2));
      }
      val.resize(run, ' ');
      out.replace(i, run, val);
    }
    i += run;
  }
  return out;
}

std::string parseDate(std::string_view text, std::string_view pic) {
  std::string cc, yy, mm, dd;
  for (size_t i = 0; i < pic.size() && i < text.size(); i++) {
    char c = pic[i];
    if (c == 'C') cc += text[i];
    else if (c == 'Y') yy += text[i];
    else if (c == 'M') mm += text[i];
    else if (c == 'D') dd += text[i];
  }
  auto trimmed = [](const std::string& s) {
    size_t b = s.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b);
  };
  cc = trimmed(cc);
  yy = trimmed(yy);
  mm = trimmed(mm);
  dd = trimmed(dd);
  if (yy.empty() || mm.empty() || dd.empty()) return "        ";
  int y = std::atoi(yy.c_str());
  if (yy.size() <= 2) {
    int century = cc.empty() ? (y < 50 ? 20 : 19) : std::atoi(cc.c_str());
    y += century * 100;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y % 10000, std::atoi(mm.c_str()) % 100,
                std::atoi(dd.c_str()) % 100);
  return buf;
}

}  // namespace expr4
