#include "engine/date4.h"

#include <ctime>

#include "platform/clock.h"

namespace {

// Days from the civil date to 1970-01-01 (Howard Hinnant's algorithm).
long daysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void civilFromDays(long z, long* y, unsigned* m, unsigned* d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long yy = static_cast<long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = yy + (*m <= 2);
}

constexpr long kJulianOfEpoch = 2440588;  // 1970-01-01

bool isLeap(long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

long date4long(const char* text) {
  bool blank = true;
  for (int i = 0; i < 8; ++i) blank = blank && text[i] == ' ';
  if (blank) return 0;
  long v[3] = {0, 0, 0};
  const int widths[3] = {4, 2, 2};
  int pos = 0;
  for (int part = 0; part < 3; ++part) {
    for (int i = 0; i < widths[part]; ++i, ++pos) {
      char ch = text[pos];
      if (ch < '0' || ch > '9') return -1;
      v[part] = v[part] * 10 + (ch - '0');
    }
  }
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (v[0] < 1 || v[1] < 1 || v[1] > 12 || v[2] < 1) return -1;
  int days = kDays[v[1] - 1] + (v[1] == 2 && isLeap(v[0]) ? 1 : 0);
  if (v[2] > days) return -1;
  return daysFromCivil(v[0], static_cast<unsigned>(v[1]), static_cast<unsigned>(v[2])) +
         kJulianOfEpoch;
}

void date4assign(char* out, long julian) {
  long y;
  unsigned m, d;
  if (julian <= 0) {
    for (int i = 0; i < 8; ++i) out[i] = ' ';
    return;
  }
  civilFromDays(julian - kJulianOfEpoch, &y, &m, &d);
  if (y < 0 || y > 9999) {
    for (int i = 0; i < 8; ++i) out[i] = ' ';
    return;
  }
  long parts[3] = {y, static_cast<long>(m), static_cast<long>(d)};
  const int widths[3] = {4, 2, 2};
  int pos = 8;
  for (int part = 2; part >= 0; --part) {
    long v = parts[part];
    for (int i = 0; i < widths[part]; ++i) {
      out[--pos] = static_cast<char>('0' + v % 10);
      v /= 10;
    }
  }
}

void date4todayParts(int* year, int* month, int* day) {
  // Every append and record write stamps the header with today's date:
  // the conversion is made once per second of the clock.
  thread_local std::time_t lastNow = -1;
  thread_local std::tm tm{};
  std::time_t now = platformClock().now();
  if (now != lastNow) {
    localtime_r(&now, &tm);
    lastNow = now;
  }
  *year = tm.tm_year + 1900;
  *month = tm.tm_mon + 1;
  *day = tm.tm_mday;
}

void date4today(char* out) {
  int y, m, d;
  date4todayParts(&y, &m, &d);
  date4assign(out, daysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) +
                       kJulianOfEpoch);
}

double date4dbl(const char* text) {
  long j = date4long(text);
  return j == 0 ? 1e100 : static_cast<double>(j);
}
