// tarnwick-sim list: the contacts, work requests and work orders of a
// maintenance database, one tab-separated line per record in record
// order (the prototype record left out):
//
//   contact  KEY  CODE  EMAIL  FLAGS        (FLAGS: "hidden", "deleted", "-")
//   request  KEY  WRNUM  STATUS  REQUESTOR  SUBJECT  FLAGS
//   order    KEY  WONUM  TYPE  CLASS  LINKKEY  WORKDATE  WINTERVAL  FLAGS
#include <cstdio>
#include <functional>
#include <string>

#include "commands.h"
#include "db/maintenance_layouts.h"
#include "move_support.h"
#include "moves.h"

namespace {

std::string text(const DBTable& t, int field) { return t.field(field)->text().trim().str(); }
std::string number(const DBTable& t, int field) { return std::to_string(t.field(field)->asLong()); }

std::string flags(const DBTable& t, int hiddenField) {
  std::string out;
  if (hiddenField >= 0 && t.field(hiddenField)->asBool()) out = "hidden";
  if (t.isDeleted()) out += out.empty() ? "deleted" : ",deleted";
  return out.empty() ? "-" : out;
}

// Prints one line per record after record 1; false after an engine error.
bool listTable(DatabaseContext& db, const char* file, const DBTableLayout& layout,
               const std::function<std::string(const DBTable&)>& line) {
  auto t = sim::openTable(db, file, layout, false);
  if (t == nullptr) return false;
  const int32_t count = t->recordCount();
  for (int32_t r = 2; r <= count; ++r) {
    int rc = t->go(r);
    if (rc != 0) {
      sim::fail(std::string("cannot read ") + file + " record " + std::to_string(r) + " (" + std::to_string(rc) + ")");
      return false;
    }
    std::printf("%s\n", line(*t).c_str());
  }
  return true;
}

}  // namespace

int cmdList(const std::vector<std::string>& args) {
  if (args.size() != 1) return sim::usage("list DIR");
  auto db = sim::openDatabase(args[0]);
  if (db == nullptr) return kExitFailed;
  static const DBTableLayout contacts = contactsLayout(), requests = wrequestLayout(), orders = wordersLayout();
  bool ok = listTable(*db, "contacts.dbf", contacts, [](const DBTable& t) {
    return "contact\t" + number(t, kConKey) + "\t" + text(t, kConCode) + "\t" + text(t, kConEmail) + "\t" +
           flags(t, kConHidden);
  });
  ok = ok && listTable(*db, "wrequest.dbf", requests, [](const DBTable& t) {
    std::string status(1, sim::letterOf(t, kWrStatus));
    return "request\t" + number(t, kWrKey) + "\t" + text(t, kWrNum) + "\t" + status + "\t" +
           number(t, kWrRequestor) + "\t" + text(t, kWrSubject) + "\t" + flags(t, -1);
  });
  ok = ok && listTable(*db, "worders.dbf", orders, [](const DBTable& t) {
    return "order\t" + number(t, kWoKey) + "\t" + text(t, kWoNum) + "\t" + text(t, kWoType) + "\t" +
           text(t, kWoClass) + "\t" + number(t, kWoLinkKey) + "\t" + text(t, kWoWorkDate) + "\t" +
           number(t, kWoWInterval) + "\t" + flags(t, -1);
  });
  return ok ? kExitDone : kExitFailed;
}
