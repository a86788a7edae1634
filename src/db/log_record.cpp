#include "db/log_record.h"

#include <ctime>

#include "common/code_page.h"
#include "db/gateway_tables.h"
#include "db/record_counter.h"
#include "engine/error4.h"
#include "platform/clock.h"
#include "table/db_table.h"

void LogRecord::SetStatus(long code) {
  fields_.set(kLrOldStatus, fields_.get(kLrStatus));
  fields_.setNumber(kLrStatus, code);
}

void LogRecord::AddHistory(const stringT& text) {
  std::time_t now = platformClock().now();
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) return;
  stringT line = stringT::format("%02d/%02d %02d:%02d ", local.tm_mon + 1, local.tm_mday,
                                 local.tm_hour, local.tm_min) +
                 text + "\r\n";
  fields_.set(kLrHistory, fields_.get(kLrHistory) + line);
}

void readLogRow(const DBTable& logs, LogRecord* record) {
  FieldMap& m = record->fields();
  m.clear();
  auto f = [&](int n) { return logs.field(n); };
  m.setNumber(kLrKey, f(kLogKey)->asLong());
  m.setNumber(kLrStatus, f(kLogStatus)->asLong());
  m.setNumber(kLrOldStatus, f(kLogOldStatus)->asLong());
  m.setNumber(kLrWrKey, f(kLogWrKey)->asLong());
  // Texts in the table's code page come back as UTF-8 (blanks kept); the
  // message memo is the raw message as received.
  auto text = [&](int n) {
    const DBField* field = f(n);
    return stringT(fromCodePage(field->raw().view(), field->codePage()));
  };
  m.set(kLrWoSchedule, text(kLogWoSchedule));
  m.set(kLrDetails, text(kLogDetails));
  record->setMessage(MailMessage(f(kLogMessage)->raw()));
  m.set(kLrHistory, text(kLogHistory));
  m.setNumber(kLrFlags, f(kLogFlags)->asLong());
  m.set(kLrCDate, f(kLogCDate)->raw());
  m.set(kLrCTime, f(kLogCTime)->raw());
}

namespace {

int writeOne(DBTable& logs, const LogRecord& r, int number) {
  auto f = [&](int n) { return logs.field(n); };
  switch (number) {
    case kLrWrKey: return f(kLogWrKey)->assignLong(r.getNumber(kLrWrKey));
    case kLrWoSchedule: return f(kLogWoSchedule)->assignUtf8Text(r.get(kLrWoSchedule));
    case kLrDetails: return f(kLogDetails)->assignUtf8Text(r.get(kLrDetails));
    case kLrMessage: return assignText(*f(kLogMessage), r.message().rawText());
    case kLrHistory: return f(kLogHistory)->assignUtf8Text(r.get(kLrHistory));
    case kLrFlags: return f(kLogFlags)->assignLong(r.getNumber(kLrFlags));
    case kLrCDate: return assignText(*f(kLogCDate), r.get(kLrCDate));
    case kLrCTime: return assignText(*f(kLogCTime), r.get(kLrCTime));
    default: return e4parm;
  }
}

}  // namespace

int writeLogRow(DBTable& logs, const LogRecord& r, int number) {
  if (number == kLrStatus || number == kLrOldStatus || number == kLrAllFields) {
    int rc = logs.field(kLogStatus)->assignLong(r.getNumber(kLrStatus));
    if (rc == 0) rc = logs.field(kLogOldStatus)->assignLong(r.getNumber(kLrOldStatus));
    if (rc != 0 || number != kLrAllFields) return rc;
    for (int n : {kLrWrKey, kLrWoSchedule, kLrDetails, kLrMessage, kLrHistory, kLrFlags, kLrCDate, kLrCTime}) {
      rc = writeOne(logs, r, n);
      if (rc != 0) return rc;
    }
    return 0;
  }
  return writeOne(logs, r, number);
}
