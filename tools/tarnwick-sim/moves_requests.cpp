// tarnwick-sim new-request and transfer: work requests opened and turned
// into work orders as the maintenance program does.
#include <cstdio>

#include "commands.h"
#include "db/maintenance_layouts.h"
#include "db/record_counter.h"
#include "db/work_request_manager.h"
#include "engine/error4.h"
#include "move_support.h"
#include "moves.h"

namespace {

struct TransferOptions {
  long requestKey = 0;
  std::string workDate;  // empty: today
  long interval = 0;
};

bool parseTransfer(const std::vector<std::string>& args, TransferOptions* o) {
  if (args.size() < 2 || !sim::parseLong(args[1], &o->requestKey)) return false;
  for (size_t i = 2; i < args.size(); ++i) {
    if (i + 1 >= args.size()) return false;
    const std::string& value = args[++i];
    if (args[i - 1] == "--workdate" && sim::isDateText(value)) o->workDate = value;
    else if (args[i - 1] == "--interval" && sim::parseLong(value, &o->interval) && o->interval >= 0 &&
             o->interval <= 999999)
      continue;
    else return false;
  }
  return true;
}

// Copies the request's fields into the new work order and sets the rest.
int fillWorkOrder(DBTable& wo, const DBTable& wr, long key, long number, const TransferOptions& o) {
  const std::string today = sim::todayText();
  auto copy = [&](int to, int from) { return wo.field(to)->assign(wr.field(from)->raw()); };
  int rc = wo.blankRecord();
  if (rc == 0) rc = wo.markDeleted(false);
  if (rc == 0) rc = wo.field(kWoKey)->assignLong(key);
  if (rc == 0) rc = wo.field(kWoNum)->assignLong(number);
  if (rc == 0) rc = wo.field(kWoType)->assign("O");
  if (rc == 0) rc = wo.field(kWoClass)->assign("C");
  if (rc == 0) rc = wo.field(kWoLinkKey)->assignLong(o.requestKey);
  if (rc == 0) rc = wo.field(kWoUnitKey)->assignLong(wr.field(kWrUnitKey)->asLong());
  if (rc == 0) rc = wo.field(kWoRequestor)->assignLong(wr.field(kWrRequestor)->asLong());
  if (rc == 0) rc = copy(kWoWType, kWrWType);
  if (rc == 0) rc = copy(kWoAccessCode, kWrAccessCode);
  if (rc == 0) rc = copy(kWoPriority, kWrPriority);
  if (rc == 0) rc = copy(kWoSubject, kWrSubject);
  if (rc == 0) rc = copy(kWoDesc, kWrDesc);
  if (rc == 0) rc = wo.field(kWoCreateDate)->assign(stringT(today));
  if (rc == 0) rc = wo.field(kWoCreateTime)->assign(stringT(sim::nowText()));
  if (rc == 0) rc = wo.field(kWoNeedPrint)->assignBool(true);
  if (rc == 0) rc = wo.field(kWoWorkDate)->assign(stringT(o.workDate.empty() ? today : o.workDate));
  if (rc == 0) rc = wo.field(kWoWInterval)->assignLong(o.interval);
  return rc;
}

// Appends the work order for the locked request wr; *key and *number
// receive its KEY and WONUM.
int appendWorkOrder(DBTable& wo, const DBTable& wr, const TransferOptions& o, long* key, long* number) {
  int rc = takeCounterKey(wo, kWoKey, wo.tag(kWoTagKey), key);
  if (rc == 0) rc = takeCounterField(wo, kWoNum, number);
  // A blank number counter (as some databases have) numbers by key.
  if (rc == 0 && *number <= 0) {
    *number = *key;
    rc = wo.field(kWoNum)->assignLong(*key + 1);
  }
  if (rc == 0) rc = wo.appendStart(false);
  if (rc != 0) {
    discardRecordChanges(wo);
    return rc;
  }
  rc = fillWorkOrder(wo, wr, *key, *number, o);
  if (rc == 0) rc = wo.commit();
  if (rc == r4uniqueContinue) rc = 0;
  if (rc == 0) rc = wo.flush();
  if (rc != 0) discardRecordChanges(wo);
  return rc;
}

}  // namespace

int cmdNewRequest(const std::vector<std::string>& args) {
  long contact = 0;
  if (args.size() != 3 || !sim::parseLong(args[1], &contact)) return sim::usage("new-request DIR CONTACTKEY SUBJECT");
  auto db = sim::openDatabase(args[0]);
  if (db == nullptr) return kExitFailed;
  {
    // Checked first, so a request that cannot be made takes no number.
    static const DBTableLayout contacts = contactsLayout();
    auto c = sim::openTable(*db, "contacts.dbf", contacts, false);
    if (c == nullptr) return kExitFailed;
    if (c->selectTag(*c->tag(kConTagKey)) != 0 || c->seekExact(static_cast<double>(contact)) != 0)
      return sim::fail("contact " + std::to_string(contact) + " not found");
  }
  WorkRequestManager wr(*db);
  FieldMap m;
  int rc = wr.initiated() ? wr.Initiate() : wr.status();
  if (rc == 0) rc = wr.ReadRequest(m);  // the number record 1 gave it
  if (rc == 0) {
    m.setNumber(kReqRequestor, contact);
    m.set(kReqDate, stringT(sim::todayText()));
    m.set(kReqTime, stringT(sim::nowText()));
    m.set(kReqSubject, stringT(args[2]));
    m.set(kReqDescription, stringT(args[2]));
    m.setNumber(kReqState, kRequestOpen);
    rc = wr.Fill(m);
  }
  if (rc == 0) rc = wr.Commit();
  if (rc == 0) rc = wr.requests().flush();
  if (rc != 0) {
    std::string why = wr.message().str();
    if (!why.empty() && why[0] == '*') why.erase(0, 1);  // the gateway's untranslated text
    return sim::fail(why + " (" + std::to_string(rc) + ")");
  }
  std::printf("work request %ld opened, number %s\n", wr.requests().field(kWrKey)->asLong(),
              wr.requests().field(kWrNum)->text().trim().c_str());
  return kExitDone;
}

int cmdTransfer(const std::vector<std::string>& args) {
  TransferOptions o;
  if (!parseTransfer(args, &o)) return sim::usage("transfer DIR WRKEY [--workdate CCYYMMDD] [--interval DAYS]");
  auto db = sim::openDatabase(args[0]);
  if (db == nullptr) return kExitFailed;
  static const DBTableLayout wrLayout = wrequestLayout(), woLayout = wordersLayout();
  auto wr = sim::openTable(*db, "wrequest.dbf", wrLayout);
  auto wo = wr ? sim::openTable(*db, "worders.dbf", woLayout) : nullptr;
  if (wo == nullptr) return kExitFailed;
  if (sim::lockByKey(*wr, kWrTagKey, o.requestKey, "work request") != 0) return kExitFailed;
  if (sim::letterOf(*wr, kWrStatus) != ' ') {
    releaseTableLocks(*wr);
    return sim::fail("work request " + std::to_string(o.requestKey) + " is not open");
  }
  long key = 0, number = 0;
  int rc = appendWorkOrder(*wo, *wr, o, &key, &number);
  if (rc != 0) {
    releaseTableLocks(*wr);
    return sim::fail("cannot append to worders.dbf (" + std::to_string(rc) + ")");
  }
  rc = wr->field(kWrStatus)->assign("T");
  if (rc == 0) rc = sim::writeRecord(*wr, "work request");
  if (rc != 0) {
    // Take the work order back: a request that stays open has none.
    if (wo->go(wo->recordCount()) == 0 && wo->field(kWoKey)->asLong() == key && wo->markDeleted(true) == 0)
      (void)sim::writeRecord(*wo, "work order");
    return kExitFailed;
  }
  std::printf("work request %ld transferred to work order %ld, number %ld\n", o.requestKey, key, number);
  return kExitDone;
}
