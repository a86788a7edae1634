// The gateway's own tables: accounts.dbf and logs.dbf as table classes,
// the prototype record convention, the log status codes and texts, and
// the LogRecord field numbers.
//
// Record 1 of every table is the prototype record: its KEY holds the next
// key to hand out and every tag filter leaves it out. A table that holds
// no record at all is primed with a blank record 1 whose fields are:
//   accounts.dbf: KEY 53, FLAGS 3, CONTACTKEY -1 (FLAGS of record 1 are
//                 the flags of the Everybody account)
//   logs.dbf:     KEY 53
// so the first account and the first log get the key 53.
#pragma once

#include "common/string.h"
#include "db/gateway_layouts.h"
#include "table/db_table.h"

class DatabaseContext;

inline constexpr long kFirstRecordKey = 53;
inline constexpr long kEverybodyDefaultFlags = 3;

// Account flag bits.
inline constexpr long kAccountEnabled = 1;
inline constexpr long kAccountReceivesAcks = 2;

class AccountsTable : public DBTable {
 public:
  static constexpr const char* kFileName = "accounts.dbf";
  AccountsTable(DatabaseContext& db, int options = kOpenExisting, const stringT& name = kFileName);
  // Primes an empty table with its prototype record; 0 or the engine's code.
  [[nodiscard]] int prime();
};

class LogsTable : public DBTable {
 public:
  static constexpr const char* kFileName = "logs.dbf";
  LogsTable(DatabaseContext& db, int options = kOpenExisting, const stringT& name = kFileName);
  [[nodiscard]] int prime();
  // The tag that holds the logs of a status (0 to 9), or nullptr.
  const Ordering* statusTag(int status) const;
};

// Log status codes.
enum LogStatus {
  kLogRejected = 0,
  kLogPendingProcessing = 1,
  kLogWaiting = 2,
  kLogTransferred = 3,
  kLogCompleted = 4,
  kLogVoid = 5,
  kLogSpecial = 6,
  kLogSaved = 7,
  kLogPendingAck = 8,
  kLogDeleted = 9,
};
inline constexpr int kLogStatusCount = 10;

// The marked (untranslated) display text of a status, "" outside 0 to 9.
const char* logStatusMarkedText(int status);
// The translated display text of a status, "" outside 0 to 9.
stringT logStatusText(int status);
// Position of the status's tag in the logs tag list, -1 outside 0 to 9.
int logStatusTagIndex(int status);
// The log status for a work-request state (1 open, 2 void, 3 transferred
// with the work order open, 4 ... closed); 0 for every other state.
int logStatusForRequestState(long state);

// LogRecord field numbers and the logs.dbf field each stands for.
enum LogRecordField {
  kLrKey = 201,
  kLrCDate = 202,
  kLrCTime = 203,
  kLrDetails = 204,
  kLrMessage = 205,
  kLrHistory = 206,
  kLrWrKey = 207,
  kLrStatus = 209,
  kLrOldStatus = 210,
  kLrWoSchedule = 211,
  kLrFlags = 212,
  kLrAllFields = 213,  // not a field: "every field" when passed as the one to write
};
// The logs.dbf field number (LogsField) of a LogRecord number, -1 for none.
int logsFieldForRecordNumber(int number);

// Opens the table with the open-or-create option and primes it when it
// holds no record; false after the open or the priming failed.
bool openAndPrimeAccounts(DatabaseContext& db);
bool openAndPrimeLogs(DatabaseContext& db);
