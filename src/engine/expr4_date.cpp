#include "engine/expr4_date.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/clock.h"

namespace expr4 {

long julianFromYmd(int y, int m, int d) {
  // Fliegel and Van Flandern's algorithm for the Gregorian calendar.
  long a = (14 - m) / 12;
  long yy = y + 4800 - a;
  long mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

void ymdFromJulian(long jd, int& y, int& m, int& d) {
  long a = jd + 32044;
  long b = (4 * a + 3) / 146097;
  long c = a - 146097 * b / 4;
  long dd = (4 * c + 3) / 1461;
  long e = c - 1461 * dd / 4;
  long mm = (5 * e + 2) / 153;
  d = int(e - (153 * mm + 2) / 5 + 1);
  m = int(mm + 3 - 12 * (mm / 10));
  y = int(100 * b + dd - 4800 + mm / 10);
}

long julianFromDateText(std::string_view t) {
  if (t.size() >= 8 && t.substr(0, 8) == "        ") return 0;
  if (t.size() < 8) return -1;
  int v[8];
  for (int i = 0; i < 8; i++) {
    if (!std::isdigit(static_cast<unsigned char>(t[size_t(i)]))) return -1;
    v[i] = t[size_t(i)] - '0';
  }
  int y = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
  int m = v[4] * 10 + v[5];
  int d = v[6] * 10 + v[7];
  if (m < 1 || m > 12 || d < 1 || d > 31) return -1;
  long jd = julianFromYmd(y, m, d);
  int y2, m2, d2;
  ymdFromJulian(jd, y2, m2, d2);
  if (y2 != y || m2 != m || d2 != d) return -1;
  return jd;
}

std::string dateTextFromJulian(long jd) {
  if (jd <= 0) return "        ";
  int y, m, d;
  ymdFromJulian(jd, y, m, d);
  if (y < 0 || y > 9999) return "        ";
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
  return buf;
}

std::string todayText() {
  std::time_t t = platformClock().now();
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  return buf;
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
