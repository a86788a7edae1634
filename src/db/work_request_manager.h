// WorkRequestManager: the gateway's writer of work requests into the
// maintenance database's wrequest.dbf, and the reader of what became of
// them (still open, voided, or turned into a work order that is open or
// closed).
//
// Tables: wrequest.dbf (read and write, KEY order) and, read only,
// worders.dbf (CLASSLINK), units.dbf (KEY), contacts.dbf (KEY),
// workcat.dbf, priority.dbf and access.dbf (CODE).
//
// Request record (a field map, usually the LogRecord's own):
//   101 REQUESTOR ("%ld")  102 DATE (CCYYMMDD)  103 TIME (HHMMSS)
//   104 WRNUM  105 SUBJECT  106 WDESC  107 COMMENT  108 UNITKEY ("%ld")
//   109 work-order key (read only)  110 state  111 WTYPE  112 ACCESSCODE
//   113 PRIORITY
//
// States (State()), from wrequest STATUS and the work order found by the
// CLASSLINK key "C%10ld" with the request's KEY:
//   | 0 unknown | 1 open " " | 2 void "V", or "T" with a void work order |
//   | 3 "T", work order TYPE "O" | 4 "T", TYPE "C" | 5 "T", no work order |
//   A "T" request whose work order has any other TYPE is 0.
//
// A new request: Initiate (KEY and WRNUM from record 1 under its lock;
// the counters stay advanced whatever follows), Fill, Commit. SetState and
// Fill on an existing request (after FindByKey) write it at once.
//
// Results: 1 "*not initiated" (a table missing), 1 "*no current work
// request", 1 "*work request with key '%ld' not found", 1 "*can't find
// requestor", "*can't initiate new record" and "*can't commit new record"
// with the engine's code.
//
// Made for one log's preparation or processing, then destroyed. One thread.
#pragma once

#include "common/field_map.h"
#include "common/manager.h"
#include "table/db_table.h"

class DatabaseContext;

enum RequestField : int {
  kReqRequestor = 101,
  kReqDate = 102,
  kReqTime = 103,
  kReqNumber = 104,
  kReqSubject = 105,
  kReqDescription = 106,
  kReqComment = 107,
  kReqUnit = 108,
  kReqWorkOrder = 109,
  kReqState = 110,
  kReqCategory = 111,
  kReqAccess = 112,
  kReqPriority = 113,
};

enum RequestState : long {
  kRequestUnknown = 0,
  kRequestOpen = 1,
  kRequestVoid = 2,
  kRequestTransferred = 3,
  kRequestClosed = 4,
  kRequestNoWorkOrder = 5,
};

// The longest text Fill writes into a memo of wrequest.dbf (bytes, before
// the code-page conversion); a longer one is cut, with a line naming the
// log row (field 201 of the map) that keeps the whole.
inline constexpr size_t kMaxTarnwickMemo = 64 * 1024;

class WorkRequestManager : public Manager {
 public:
  explicit WorkRequestManager(DatabaseContext& maintenance);

  bool initiated() const { return initiated_; }

  [[nodiscard]] int FindByKey(long key);
  [[nodiscard]] int ReadRequest(FieldMap& record);
  [[nodiscard]] int FindAndRead(long key, FieldMap& record);
  [[nodiscard]] int Initiate();
  [[nodiscard]] int Fill(const FieldMap& record);
  [[nodiscard]] int SetState(long state);
  [[nodiscard]] int Commit();
  long State() const { return state_; }
  long WorkOrderKey() const { return workOrderKey_; }
  // KEY of the current work request (the one found, read or committed last).
  long currentKey();

  DBTable& requests() { return wrequest_; }
  DBTable& workOrders() { return worders_; }
  DBTable& categories() { return workcat_; }
  DBTable& priorities() { return priority_; }
  DBTable& accessCodes() { return access_; }

 private:
  int notInitiated();
  int noCurrent();
  // The state of the current request; 0 or an engine error.
  int workOutState();
  // Writes a changed existing request (nothing while a new one is pending).
  int writeCurrent();

  DBTable wrequest_;
  DBTable worders_;
  DBTable units_;
  DBTable contacts_;
  DBTable workcat_;
  DBTable priority_;
  DBTable access_;
  bool initiated_ = false;
  bool hasCurrent_ = false;
  bool pending_ = false;  // a new request between Initiate and Commit
  long state_ = kRequestUnknown;
  long workOrderKey_ = 0;
};
