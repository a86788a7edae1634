// orvdb append FILE FIELD=VALUE...     adds a record, prints its number
// orvdb set FILE RECNO FIELD=VALUE...  changes fields of a record
// orvdb delete FILE RECNO / recall FILE RECNO
//
// Changes go through the engine with its locks and key maintenance, so they
// are safe while other programs use the table. Values are text: numbers in
// decimal, dates as CCYYMMDD, logicals T or F, memo fields their text.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands.h"
#include "engine/code4.h"
#include "engine/data4.h"
#include "engine/field4.h"

namespace {

bool assignOne(DATA4* d, const std::string& arg) {
  size_t eq = arg.find('=');
  if (eq == std::string::npos || eq == 0) {
    fprintf(stderr, "orvdb: expected FIELD=VALUE, got %s\n", arg.c_str());
    return false;
  }
  FIELD4* f = d4field(d, arg.substr(0, eq));
  if (f == nullptr) return false;
  std::string value = arg.substr(eq + 1);
  int rc;
  switch (f4type(f)) {
    case 'M': case 'G': case 'X': rc = f4memoAssignN(f, value.data(), value.size()); break;
    case 'N': case 'B':
      rc = value.empty() ? f4blank(f) : f4assignDouble(f, strtod(value.c_str(), nullptr));
      break;
    case 'I': rc = f4assignLong(f, strtol(value.c_str(), nullptr, 10)); break;
    case 'Y': rc = f4assignCurrency(f, value.c_str()); break;
    default: rc = f4assignN(f, value.data(), value.size()); break;
  }
  return rc == 0;
}

long recordNumber(const std::string& s) {
  char* end = nullptr;
  long v = strtol(s.c_str(), &end, 10);
  return (*end == 0 && v > 0) ? v : -1;
}

int report(const char* what, int rc) {
  if (rc == r4unique) fprintf(stderr, "orvdb %s: refused, a unique tag already holds that key\n", what);
  else if (rc == r4locked) fprintf(stderr, "orvdb %s: the record is locked by another program\n", what);
  return rc == 0 ? 0 : 1;
}

struct Table {
  CODE4 c;
  DATA4* d = nullptr;
  explicit Table(const std::string& file) {
    if (code4init(&c) != 0) return;
    toolContext(&c);
    d = d4open(&c, file);
  }
  // Closes the table (writing its header); a failure is reported.
  int close() {
    int rc = d ? d4close(d) : 0;
    d = nullptr;
    if (rc < 0) fprintf(stderr, "orvdb: closing the table failed (error %d)\n", rc);
    return rc;
  }
  ~Table() {
    if (d) (void)d4close(d);  // after a failure already reported
  }
};

}  // namespace

int cmdAppend(const Args& args) {
  if (args.empty()) {
    fprintf(stderr, "usage: orvdb append FILE FIELD=VALUE...\n");
    return 2;
  }
  Table t(args[0]);
  if (!t.d) return 1;
  if (d4appendStart(t.d, 0) != 0 || d4blank(t.d) != 0) return 1;
  for (size_t i = 1; i < args.size(); i++)
    if (!assignOne(t.d, args[i])) return 1;
  int rc = d4append(t.d);
  if (rc == 0) printf("%d\n", static_cast<int>(d4recNo(t.d)));
  if (rc == 0) rc = t.close();
  return report("append", rc);
}

int cmdSet(const Args& args) {
  if (args.size() < 3 || recordNumber(args[1]) < 0) {
    fprintf(stderr, "usage: orvdb set FILE RECNO FIELD=VALUE...\n");
    return 2;
  }
  Table t(args[0]);
  if (!t.d) return 1;
  int rc = d4go(t.d, int32_t(recordNumber(args[1])));
  if (rc) return 1;
  for (size_t i = 2; i < args.size(); i++)
    if (!assignOne(t.d, args[i])) return 1;
  rc = d4write(t.d, -1);
  if (rc == 0) rc = t.close();
  return report("set", rc);
}

namespace {

int flagRecord(const Args& args, bool remove) {
  const char* what = remove ? "delete" : "recall";
  if (args.size() != 2 || recordNumber(args[1]) < 0) {
    fprintf(stderr, "usage: orvdb %s FILE RECNO\n", what);
    return 2;
  }
  Table t(args[0]);
  if (!t.d) return 1;
  if (d4go(t.d, int32_t(recordNumber(args[1]))) != 0) return 1;
  if ((remove ? d4delete(t.d) : d4recall(t.d)) != 0) return 1;
  int rc = d4write(t.d, -1);
  if (rc == 0) rc = t.close();
  return report(what, rc);
}

}  // namespace

int cmdDelete(const Args& args) { return flagRecord(args, true); }
int cmdRecall(const Args& args) { return flagRecord(args, false); }
