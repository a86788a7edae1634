// The retrieval run: empties the POP3 mailbox into logs.dbf.
//
//   [lock] --busy--> CONNECT --connect, [TLS|STLS], login, STAT--> DOWNLOAD
//                      | fail                                       |
//                      v                                  retrieveAll: RETR
//                   REPORT: describe, disconnect           1..count into the
//                   (no QUIT: the server keeps every       cache; fail -> REPORT
//                    message), unlock                       |
//                                                           v
//                                         STORE: per message (shared stamp)
//                                           takeIn (intake.h), Append; a
//                                           failed append is reported and
//                                           its message is not deleted; a
//                                           stop request ends the loop
//                                           |
//                                           v
//                                         FLUSH logs.dbf (data, memo, index
//                                           written and synced); failure:
//                                           report, delete nothing
//                                           |
//                                           v
//                                         DELETE: DELE exactly the stored
//                                           messages (all at once when all
//                                           were stored)
//                                           |
//                                           v
//                                         QUIT: the server removes the
//                                           deleted messages; clear the cache,
//                                           clear the status text, unlock
//
// Invariant: a message leaves the server only after its row is safely
// stored. DELE is sent for a message only after its row was appended and
// the table flushed to disk, and a POP3 server removes deleted messages
// only when it receives QUIT. So a crash, a kill or a lost connection at
// any point before QUIT leaves every message on the server; one between
// the flush and QUIT means the next run takes those messages in again
// (twice, never zero times).
#include <vector>

#include "common/string_mapper.h"
#include "cycle/run_metrics.h"
#include "cycle/intake.h"
#include "cycle/mail_security_setup.h"
#include "cycle/processing_cycle.h"
#include "db/logs_manager.h"
#include "platform/clock.h"

namespace {

// The low 16 bits of a decimal setting (0 lets the client pick its default).
uint16_t portSetting(const FieldMap& settings, int number) {
  return static_cast<uint16_t>(settings.getNumber(number) & 0xFFFF);
}

}  // namespace

void ProcessingCycle::retrieveMail() {
  CycleLock::Hold hold(lock_);
  if (!hold || stopRequested()) return;
  BusyScope busy(status_);
  RunTimer timer(RunType::Retrieve, reports_);
  status_.setStatusText(translate("*retrieving mail"));

  const FieldMap& s = settings();
  stringT secret;
  stringT problem;
  if (setUpPop3(s, pop3_, oauth_, secret, problem) != 0) {
    pop3_.setStatus(TCPManager::kFailure, problem);
    runMetrics().failed(FailureKind::Pop3);
    report(pop3_.describe());
    return;
  }
  if (pop3_.connect(s.get(kPop3Server), portSetting(s, kPop3Port)) != 0 ||
      pop3_.login(s.get(kPop3Account), secret) != 0 || pop3_.retrieveAll() != 0) {
    runMetrics().failed(FailureKind::Pop3);
    report(pop3_.describe());
    pop3_.disconnect();
    pop3_.clearCache();
    return;
  }

  status_.setStatusText(translate("*processing mail"));
  std::vector<int> stored;
  {
    LogsManager logs(gateway_);
    IntakeStamp stamp = intakeStamp(platformClock().now());
    // A stop leaves the messages not yet stored on the server.
    for (int number = 1; number <= pop3_.messageCount() && !stopRequested(); ++number)
      if (storeMessage(number, stamp, logs)) stored.push_back(number);
    if (!stored.empty() && logs.isOpen()) {
      int rc = logs.table().flush();
      if (rc != 0) {
        logs.setStatus(rc, translate("*can't append to logs table"));
        report(logs.describe());
        stored.clear();  // not known to be on disk: the server keeps them
      }
    }
  }

  if (!stored.empty()) {
    bool all = static_cast<int>(stored.size()) == pop3_.messageCount();
    int rc = 0;
    if (all) {
      rc = pop3_.deleteAll();
    } else {
      for (int number : stored)
        if ((rc = pop3_.deleteMessage(number)) != 0) break;
    }
    if (rc != 0) report(pop3_.describe());
  }
  (void)pop3_.logout();
  if (pop3_.connected()) {
    // QUIT refused: the server may not have removed the deleted messages;
    // they come in again next time.
    report(pop3_.describe());
    pop3_.disconnect();
  }
  pop3_.clearCache();
  status_.setStatusText(stringT());
}

bool ProcessingCycle::storeMessage(int number, const IntakeStamp& stamp, LogsManager& logs) {
  MailMessage message;
  if (pop3_.getMessage(number, message) != 0) {
    report(pop3_.describe());
    return false;
  }
  message.parse();
  LogRecord row(std::move(message));
  takeIn(row, stamp);
  if (logs.Append(row) != 0) {
    runMetrics().failed(FailureKind::LogsTable);
    report(logs.describe());
    return false;
  }
  runMetrics().messageRetrieved();
  return true;
}
