// tarnwick-sim close, void, reopen and reschedule: the life of a work
// order (and the voiding of an open work request).
#include <cstdio>

#include "commands.h"
#include "db/maintenance_layouts.h"
#include "db/record_counter.h"
#include "move_support.h"
#include "moves.h"

namespace {

const DBTableLayout& orders() {
  static const DBTableLayout layout = wordersLayout();
  return layout;
}

// Locks work order (or request) key of file, checks its state letter with
// allowed, lets change alter it and writes it.
template <typename Change>
int changeRecord(const std::string& dir, const char* file, const DBTableLayout& layout, int keyTag, long key,
                 const char* what, int letterField, const char* allowed, const char* done, Change change) {
  auto db = sim::openDatabase(dir);
  if (db == nullptr) return kExitFailed;
  auto t = sim::openTable(*db, file, layout);
  if (t == nullptr) return kExitFailed;
  if (sim::lockByKey(*t, keyTag, key, what) != 0) return kExitFailed;
  char letter = sim::letterOf(*t, letterField);
  if (std::string(allowed).find(letter) == std::string::npos) {
    releaseTableLocks(*t);
    return sim::fail(std::string(what) + " " + std::to_string(key) + " is in state '" + letter + "'; " + done +
                     " needs one of '" + allowed + "'");
  }
  int rc = change(*t);
  if (rc == 0) rc = sim::writeRecord(*t, what);
  if (rc != 0) return kExitFailed;
  std::printf("%s %ld %s\n", what, key, done);
  return kExitDone;
}

int closeAs(DBTable& t, const char* type, const char* code, const std::string& comments) {
  int rc = t.field(kWoType)->assign(type);
  if (rc == 0) rc = t.field(kWoCloseDate)->assign(stringT(sim::todayText()));
  if (rc == 0) rc = t.field(kWoCloseTime)->assign(stringT(sim::nowText()));
  if (rc == 0) rc = t.field(kWoCloseCode)->assign(code);
  if (rc == 0 && !comments.empty()) rc = t.field(kWoCloseComm)->assign(stringT(comments));
  return rc;
}

}  // namespace

int cmdClose(const std::vector<std::string>& args) {
  long key = 0;
  if (args.size() < 2 || args.size() > 3 || !sim::parseLong(args[1], &key))
    return sim::usage("close DIR WOKEY [COMMENTS]");
  std::string comments = args.size() == 3 ? args[2] : std::string();
  return changeRecord(args[0], "worders.dbf", orders(), kWoTagKey, key, "work order", kWoType, "O", "closed",
                      [&](DBTable& t) { return closeAs(t, "C", "DONE", comments); });
}

int cmdVoid(const std::vector<std::string>& args) {
  long key = 0;
  if (args.size() != 3 || !sim::parseLong(args[2], &key) || (args[1] != "request" && args[1] != "order"))
    return sim::usage("void DIR request WRKEY | void DIR order WOKEY");
  if (args[1] == "order")
    return changeRecord(args[0], "worders.dbf", orders(), kWoTagKey, key, "work order", kWoType, "O", "voided",
                        [](DBTable& t) { return closeAs(t, "V", "VOID", "Voided."); });
  static const DBTableLayout requests = wrequestLayout();
  // A transferred request is voided through its work order.
  return changeRecord(args[0], "wrequest.dbf", requests, kWrTagKey, key, "work request", kWrStatus, " ", "voided",
                      [](DBTable& t) {
                        int rc = t.field(kWrStatus)->assign("V");
                        if (rc == 0) rc = t.field(kWrCloseDate)->assign(stringT(sim::todayText()));
                        if (rc == 0) rc = t.field(kWrCloseTime)->assign(stringT(sim::nowText()));
                        return rc;
                      });
}

int cmdReopen(const std::vector<std::string>& args) {
  long key = 0;
  if (args.size() != 2 || !sim::parseLong(args[1], &key)) return sim::usage("reopen DIR WOKEY");
  return changeRecord(args[0], "worders.dbf", orders(), kWoTagKey, key, "work order", kWoType, "CV", "reopened",
                      [](DBTable& t) {
                        int rc = t.field(kWoType)->assign("O");
                        if (rc == 0) rc = t.field(kWoCloseDate)->blank();
                        if (rc == 0) rc = t.field(kWoCloseTime)->blank();
                        if (rc == 0) rc = t.field(kWoCloseCode)->blank();
                        return rc;
                      });
}

int cmdReschedule(const std::vector<std::string>& args) {
  long key = 0, days = 0;
  if (args.size() != 4 || !sim::parseLong(args[1], &key) || !sim::isDateText(args[2]) ||
      !sim::parseLong(args[3], &days) || days < 0 || days > 999999)
    return sim::usage("reschedule DIR WOKEY CCYYMMDD DAYS");
  return changeRecord(args[0], "worders.dbf", orders(), kWoTagKey, key, "work order", kWoType, "O", "rescheduled",
                      [&](DBTable& t) {
                        int rc = t.field(kWoWorkDate)->assign(stringT(args[2]));
                        if (rc == 0) rc = t.field(kWoWInterval)->assignLong(days);
                        return rc;
                      });
}
