// LogProcessor ("*Log Processor"): the work the log update and
// acknowledgement runs do on one log row against the maintenance database.
//
// prepareLog(row): fills the row's pending work-request fields 101-113.
//   0  the row's work request (field 207) was found: its values are in the
//      row (character columns without their padding); when it became a
//      work order, 101 is the work order's REQUESTOR
//   1  not found: 105/106 from the Subject and request text of the MIME
//      view (mail/mime_view.h), or, for a request form (212 bit 1), the
//      fields of the form in that request text
//   3  the WorkRequest Manager could not be made (its text as message)
//
// processLog(row), by the row's status (field 209):
//
//   1 Pending Processing --Initiate, ReadRequest, 104 := "*@O%05ld" of the
//        new WRNUM when empty, 102/103 := 202/203, Fill, Commit--> 2 Waiting,
//        207 := new key, history "*Waiting"               (result 0)
//        any failure: status kept, result 2, the manager's text
//   6 Special (a status enquiry): nothing asked of the maintenance db;
//        counts as changed                                 (result 0)
//   other: FindByKey(207) (failure: 2); state -> log status (gateway_tables.h):
//        unchanged and not 3                               (result 1)
//        state 5: history "*transferred but no work order", status 0
//        changed: history with the new status's text, status := new
//        new 0, or no work order                           (result 0)
//        work order missing: "*work order not found"       (result 3)
//        summary line (work_order_summary.h) appended to 204, 211 kept
//        current; nothing new to tell                      (result 1)
//
// Results: 0 changed, 1 nothing new, 2 or more failure (message: the
// failing manager's text). One WorkRequestManager is made per call and
// dropped at its end. One thread.
#pragma once

#include "common/field_map.h"
#include "common/manager.h"

class DatabaseContext;
class LogRecord;
class WorkRequestManager;
struct WorkOrderFacts;

class LogProcessor : public Manager {
 public:
  static constexpr int kChanged = 0;
  static constexpr int kNothingNew = 1;
  static constexpr int kFailed = 2;
  static constexpr int kUnavailable = 3;

  // settings: read for 159 (closing comments) when a summary is built.
  LogProcessor(DatabaseContext& maintenance, const FieldMap& settings);

  [[nodiscard]] int prepareLog(LogRecord& row);
  [[nodiscard]] int processLog(LogRecord& row);

 private:
  int createRequest(LogRecord& row, WorkRequestManager& requests);
  int followRequest(LogRecord& row, WorkRequestManager& requests, long current);
  // A status enquiry (status 6).
  int answerEnquiry(LogRecord& row);
  // Reads work order key from worders.dbf; false when it is not there.
  bool readWorkOrder(long key, WorkOrderFacts& facts, long* requestor);

  DatabaseContext& maintenance_;
  const FieldMap& settings_;
};
