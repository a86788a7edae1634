// The log update run: walks logs.dbf by status and brings every row up to
// date with the maintenance database.
//
//   [lock] --busy--> CLEAN queued enquiry copies that can never be sent
//                    (status_enquiry.h), then SCAN statuses 1, 2, 3, 6
//                    (+4 when setting 157, +5
//                    when 158), each list read afresh when its turn comes
//     per key:
//       GetRecord (missing: report, next key)
//       prepareLog (pending fields), then work on a copy of the row
//       IDENTIFY: 101 set -> confirmAccount; else the MIME view's sender
//         (decoded From name and address) -> resolveSender
//         no account: history "*Unauthorized user", status 0
//       PROCESS (account flag 1): processLog; 0 changed, 1 nothing new,
//         2+ report; a Special row (status enquiry) is answered once
//         instead (status_enquiry.h) and leaves the scan as Saved
//       WRITE when changed or the status moved: Update(213) (failure:
//         report), then queueAcknowledgement
//   a stop request ends the scan before the next key
//   --> clear the status text, unlock
//
// A row that moves from 1 to 2 in the first pass is seen again by the
// status-2 pass of the same run. Rows of an account without flag 1 are
// left as they are and looked at again by every later run.
//
// Nothing is lost: a row is written back before its notice is queued, and
// the notice is a new row appended to the same table, so a crash between
// the two leaves the row updated without a notice rather than a notice
// for a change that was never stored.
#include <vector>

#include "common/configurations.h"
#include "common/string_mapper.h"
#include "cycle/log_processor.h"
#include "cycle/processing_cycle.h"
#include "cycle/sender_identity.h"
#include "cycle/status_enquiry.h"
#include "db/accounts_manager.h"
#include "db/logs_manager.h"
#include "mail/mime_view.h"

namespace {

std::vector<int> statusesToScan(const FieldMap& settings) {
  std::vector<int> statuses = {kLogPendingProcessing, kLogWaiting, kLogTransferred, kLogSpecial};
  if (settings.getNumber(kFollowCompleted) != 0) statuses.push_back(kLogCompleted);
  if (settings.getNumber(kFollowVoid) != 0) statuses.push_back(kLogVoid);
  return statuses;
}


}  // namespace

void ProcessingCycle::updateLogs() {
  CycleLock::Hold hold(lock_);
  if (!hold || stopRequested()) return;
  BusyScope busy(status_);
  status_.setStatusText(translate("*updating logs"));
  {
    LogProcessor processor(maintenance_, settings());
    LogsManager logs(gateway_);
    AccountsManager accounts(gateway_, maintenance_);
    removeUndeliverableEnquiryCopies(logs, reporter());
    for (int status : statusesToScan(settings()))
      for (long key : logs.KeysInStatus(status)) {
        if (stopRequested()) break;  // the rows left are brought up to date next time
        updateRow(key, status, logs, accounts, processor);
      }
  }
  status_.setStatusText(stringT());
}

void ProcessingCycle::updateRow(long key, int scanned, LogsManager& logs, AccountsManager& accounts,
                                LogProcessor& processor) {
  std::shared_ptr<LogRecord> cached = logs.GetRecord(key);
  if (!cached) {
    report(logs.describe());
    return;
  }
  bool requestFound = processor.prepareLog(*cached) == 0;
  LogRecord row = *cached;
  bool changed = false;
  Reporter reportTo = reporter();

  Mailbox sender = readMimeHeaders(row.message().rawText().view()).sender;
  stringT displayName = sender.displayName;
  stringT address = sender.address;
  long claimed = row.getNumber(101);
  if (claimed != 0 && !requestFound && (row.getNumber(kLrFlags) & 1) &&
      !formRequestorAllowed(accounts, claimed, address))
    claimed = 0;
  long contact = claimed != 0 ? confirmAccount(accounts, claimed, reportTo)
                              : resolveSender(accounts, displayName, address, reportTo);

  long flags = 0;
  auto account = contact != 0 ? accounts.GetAccount(contact) : std::nullopt;
  if (!account) {
    row.AddHistory(translate("*Unauthorized user"));
    row.SetStatus(kLogRejected);
  } else {
    row.setNumber(101, contact);
    flags = account->getNumber(kAccountFlags);
  }

  if ((flags & kAccountEnabled) && row.status() == kLogSpecial) {
    StatusEnquiries enquiries(maintenance_);
    if (enquiries.answer(row, logs, accounts) == StatusEnquiries::kAnswered)
      changed = true;
    else
      report(enquiries.describe());
  } else if (flags & kAccountEnabled) {
    int result = processor.processLog(row);
    if (result >= LogProcessor::kFailed)
      report(processor.describe());
    else if (result == LogProcessor::kChanged)
      changed = true;
  }

  if (changed || row.status() != scanned) {
    if (logs.Update(row, kLrAllFields) != 0) report(logs.describe());
    queueAcknowledgement(row, accounts, logs, reportTo);
  }
}
