#include "db/gateway_tables.h"

#include "common/string_mapper.h"
#include "engine/error4.h"
#include "table/database_context.h"

namespace {
const DBTableLayout& accounts() {
  static const DBTableLayout layout = accountsLayout();
  return layout;
}
const DBTableLayout& logs() {
  static const DBTableLayout layout = logsLayout();
  return layout;
}

// Appends record 1 with KEY 53 (and the extra fields set by setExtra).
template <typename SetExtra>
int primeTable(DBTable& t, int keyField, SetExtra setExtra) {
  if (!t.isOpen()) return e4struct;
  int32_t count = t.recordCount();
  if (count != 0) return count < 0 ? count : 0;
  int rc = t.appendStart();
  if (rc == 0) rc = t.blankRecord();
  if (rc == 0) rc = t.field(keyField)->assignLong(kFirstRecordKey);
  if (rc == 0) rc = setExtra();
  if (rc == 0) rc = t.commit();
  if (rc == 0) rc = t.flush();
  return rc;
}
}  // namespace

AccountsTable::AccountsTable(DatabaseContext& db, int options, const stringT& name)
    : DBTable(db, name, options, &accounts()) {}

int AccountsTable::prime() {
  return primeTable(*this, kAccKey, [this] {
    int rc = field(kAccFlags)->assignLong(kEverybodyDefaultFlags);
    return rc == 0 ? field(kAccContactKey)->assignLong(-1) : rc;
  });
}

LogsTable::LogsTable(DatabaseContext& db, int options, const stringT& name)
    : DBTable(db, name, options, &logs()) {}

int LogsTable::prime() {
  return primeTable(*this, kLogKey, [] { return 0; });
}

const DBTable::Ordering* LogsTable::statusTag(int status) const { return tag(logStatusTagIndex(status)); }

const char* logStatusMarkedText(int status) {
  static const char* const kTexts[kLogStatusCount] = {
      "*Rejected", "*Pending Processing", "*Waiting", "*Transferred", "*Completed",
      "*Void",     "*Special",            "*Saved",   "*Pending Acknowledgements", "*Deleted",
  };
  return status >= 0 && status < kLogStatusCount ? kTexts[status] : "";
}

stringT logStatusText(int status) {
  const char* text = logStatusMarkedText(status);
  return *text == '\0' ? stringT() : translate(text);
}

int logStatusTagIndex(int status) {
  static const int kTags[kLogStatusCount] = {
      kLogTagError, kLogTagPendProc, kLogTagActive, kLogTagTransferred, kLogTagCompleted,
      kLogTagVoid,  kLogTagSpecial,  kLogTagSaved,  kLogTagAck,         kLogTagDeleted,
  };
  return status >= 0 && status < kLogStatusCount ? kTags[status] : -1;
}

int logStatusForRequestState(long state) {
  switch (state) {
    case 1: return kLogWaiting;
    case 2: return kLogVoid;
    case 3: return kLogTransferred;
    case 4: return kLogCompleted;
    default: return kLogRejected;
  }
}

int logsFieldForRecordNumber(int number) {
  switch (number) {
    case kLrKey: return kLogKey;
    case kLrCDate: return kLogCDate;
    case kLrCTime: return kLogCTime;
    case kLrDetails: return kLogDetails;
    case kLrMessage: return kLogMessage;
    case kLrHistory: return kLogHistory;
    case kLrWrKey: return kLogWrKey;
    case kLrStatus: return kLogStatus;
    case kLrOldStatus: return kLogOldStatus;
    case kLrWoSchedule: return kLogWoSchedule;
    case kLrFlags: return kLogFlags;
    default: return -1;
  }
}

bool openAndPrimeAccounts(DatabaseContext& db) {
  AccountsTable t(db, kOpenOrCreate);
  return t.isOpen() && t.prime() == 0;
}

bool openAndPrimeLogs(DatabaseContext& db) {
  LogsTable t(db, kOpenOrCreate);
  return t.isOpen() && t.prime() == 0;
}
