// Layouts of the gateway database's tables: accounts.dbf and logs.dbf (the
// current layout and the two earlier ones that only the upgrade reads).
// Versions.dbf, which both databases have, is in table/version_rows.h.
//
// Field positions are fixed: the table classes (gateway_tables.h) address
// fields by the numbers below, which are indexes into these lists.
#pragma once

#include "table/table_layout.h"

// accounts.dbf (no memo). The earlier accounts layout is the same.
DBTableLayout accountsLayout();
enum AccountsField { kAccKey = 0, kAccFlags = 1, kAccContactKey = 2 };
enum AccountsTag { kAccTagKey = 0, kAccTagContactKey = 1 };

// logs.dbf, current layout (layout 3).
DBTableLayout logsLayout();
enum LogsField {
  kLogKey = 0,
  kLogDetails = 1,
  kLogMessage = 2,
  kLogHistory = 3,
  kLogStatus = 4,
  kLogOldStatus = 5,
  kLogWoSchedule = 6,
  kLogWrKey = 7,
  kLogFlags = 8,
  kLogCDate = 9,
  kLogCTime = 10,
};
// Tag positions in the current logs tag list.
enum LogsTag {
  kLogTagKey = 0,
  kLogTagStatus = 1,
  kLogTagError = 2,
  kLogTagPendProc = 3,
  kLogTagActive = 4,
  kLogTagTransferred = 5,
  kLogTagCompleted = 6,
  kLogTagVoid = 7,
  kLogTagDeleted = 8,
  kLogTagSaved = 9,
  kLogTagSpecial = 10,
  kLogTagAck = 11,
};

// logs.dbf layout 1 (13 fields) and layout 2 (the current fields, older tags).
DBTableLayout logsLayout1();
DBTableLayout logsLayout2();
