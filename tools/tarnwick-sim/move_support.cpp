#include "move_support.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "commands.h"
#include "common/gui_session.h"
#include "db/record_counter.h"
#include "engine/data4.h"
#include "engine/error4.h"
#include "platform/clock.h"
#include "platform/directory.h"
#include "table/version_rows.h"

namespace sim {

namespace {
std::tm localNow() {
  std::time_t now = platformClock().now();
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}
}  // namespace

int fail(const std::string& message) {
  std::fprintf(stderr, "tarnwick-sim: %s\n", message.c_str());
  return kExitFailed;
}

std::unique_ptr<MaintenanceDatabase> openDatabase(const std::string& dir) {
  auto db = std::make_unique<MaintenanceDatabase>(stringT(absolutePath(dir)), &guiSession(), kVersionRowMaintenance);
  if (!db->Validate(true) || !db->sessionLocked()) {
    fail(dir + " cannot be opened as a maintenance database");
    return nullptr;
  }
  return db;
}

std::unique_ptr<DBTable> openTable(DatabaseContext& db, const char* name, const DBTableLayout& layout, bool write) {
  auto t = std::make_unique<DBTable>(db, name, (write ? kOpenExisting : kOpenReadOnly) | kOpenQuiet, &layout);
  if (!t->isOpen()) {
    fail(std::string("cannot open ") + name + " (" + std::to_string(t->openResult()) + ")");
    return nullptr;
  }
  return t;
}

int lockByKey(DBTable& t, int keyTag, long key, const char* what) {
  int rc = t.selectTag(*t.tag(keyTag));
  if (rc == 0) rc = t.seekExact(static_cast<double>(key));
  if (rc == r4after || rc == r4eof) {
    fail(std::string(what) + " " + std::to_string(key) + " not found");
    return r4after;
  }
  int32_t recNo = t.recordNumber();
  if (rc == 0) rc = d4lock(t.data(), recNo);
  if (rc == 0) rc = t.go(recNo);  // the record as it is now, under our lock
  if (rc != 0) {
    releaseTableLocks(t);
    fail(std::string("cannot lock ") + what + " " + std::to_string(key) + " (" + std::to_string(rc) + ")");
    return rc;
  }
  if (t.isDeleted() || t.field(0)->asLong() != key) {
    releaseTableLocks(t);
    fail(std::string(what) + " " + std::to_string(key) + " was changed by someone else");
    return r4after;
  }
  return 0;
}

int writeRecord(DBTable& t, const char* what) {
  int rc = t.commit();
  if (rc == r4unique || rc == r4uniqueContinue) rc = 0;
  if (rc == 0) rc = t.flush();
  if (rc != 0) {
    discardRecordChanges(t);
    fail(std::string("cannot write ") + what + " (" + std::to_string(rc) + ")");
  }
  return rc;
}

std::string todayText() {
  std::tm t = localNow();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return buf;
}

std::string nowText() {
  std::tm t = localNow();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d%02d%02d", t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}

bool parseLong(const std::string& text, long* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0) return false;
  *out = v;
  return true;
}

bool isDateText(const std::string& text) {
  if (text.size() != 8) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  int y = std::atoi(text.substr(0, 4).c_str()), m = std::atoi(text.substr(4, 2).c_str()),
      d = std::atoi(text.substr(6, 2).c_str());
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return !(m == 2 && d == 29 && !leap);
}

char letterOf(const DBTable& t, int field) {
  stringT raw = t.field(field)->raw();
  return raw.empty() ? ' ' : raw[0];
}

}  // namespace sim

int sim::usage(const char* text) {
  std::fprintf(stderr, "usage: tarnwick-sim %s\n", text);
  return kExitUsage;
}
