// The acknowledgement run: mails every queued notice (status 8 rows).
//
//   [lock] --busy--> CHECK setting 155: empty, holding a control
//                    character or not a whole address for the envelope
//                    -> report, unlock (queue kept)
//     LIST the status-8 keys; none -> done without connecting
//     CONNECT SMTP (102, port 106); failure -> report, skip to QUIT
//     per key, in list order:
//       GetRecord (missing: report, next), prepareLog (not 0: report, the
//       row stays queued), GetAccount(101), choose the recipient
//       (acknowledgement_mail.h); an address holding a control character,
//       or not usable in the envelope (mail/envelope_address.h: "root",
//       "x> NOTIFY=NEVER y@z"): report, the row stays queued. An enquiry answer (status_enquiry.h)
//       carries its notice in DETAILS: no prepareLog, and it goes to the
//       enquirer identified by From
//       an address that had its notices for the hour (setting 312,
//       notice_rate.h): reported once per run, the row stays queued
//       SEND (RSET, MAIL FROM 155, RCPT TO, DATA): refused recipients and
//       a failed send are reported and the row stays queued
//       REMOVE the row once the server has taken the notice
//       a stop request or the run's deadline (setting 380, reported) ends
//       the loop before the next key, and either cuts short a wait for the
//       server (the row in hand stays queued)
//     QUIT, clear the status text, unlock
//
// Invariant: a queued notice leaves logs.dbf only after the server
// answered 250 to its data. A crash between that answer and the removal
// sends the notice once more by the next run; no crash loses one.
#include <vector>

#include "common/configurations.h"
#include "common/string_mapper.h"
#include "cycle/run_metrics.h"
#include "cycle/acknowledgement_mail.h"
#include "cycle/log_processor.h"
#include "cycle/mail_security_setup.h"
#include "cycle/notice_text.h"
#include "cycle/processing_cycle.h"
#include "cycle/status_enquiry.h"
#include "db/accounts_manager.h"
#include "db/logs_manager.h"
#include "mail/envelope_address.h"
#include "mail/tcp_line_io.h"
#include "mail/mime_view.h"
#include "platform/clock.h"

namespace {

stringT controlCharacterReport(const stringT& address, int position, const stringT& reference) {
  return stringT::format(
      translateFormat("*acknowledgement not sent to '%s': control character at position %d; ref: %s").c_str(),
      printable(address).c_str(), position, reference.c_str());
}

stringT envelopeReport(const stringT& address, int position, const stringT& reference) {
  return stringT::format(
      translateFormat("*acknowledgement not sent to '%s': not a whole e-mail address (position %d); ref: %s").c_str(),
      printable(address).c_str(), position, reference.c_str());
}

long positiveSetting(const FieldMap& settings, int number, long fallback) {
  long value = settings.getNumber(number);
  return value > 0 ? value : fallback;
}

stringT formatDeadline(const FieldMap& settings) {
  return stringT::format(
      translateFormat("*The acknowledgement run stopped at its deadline of %ld seconds; the notices not sent stay "
                      "queued").c_str(),
      positiveSetting(settings, kRunDeadline, kDefaultRunDeadlineSeconds));
}

}  // namespace

void ProcessingCycle::sendAcknowledgements() {
  CycleLock::Hold hold(lock_);
  if (!hold || stopRequested()) return;
  BusyScope busy(status_);
  RunTimer timer(RunType::Acknowledge, reports_);
  status_.setStatusText(translate("*Sending acknowledgements"));

  stringT returnAddress = settings().get(kReturnAddress);
  if (returnAddress.empty()) {
    report(translate(
        "*Acknowledgments NOT sent because you have not specified the 'Return e-mail address of acknowledgements'"));
    return;
  }
  if (int at = controlCharacterAt(returnAddress); at >= 0) {
    report(controlCharacterReport(returnAddress, at, stringT()));
    return;
  }
  if (int at = envelopeAddressFault(returnAddress); at >= 0) {
    report(envelopeReport(returnAddress, at, stringT()));
    return;
  }
  // The stop request and the run's deadline are heard in every wait for
  // the server; the row in hand then stays queued.
  const int64_t deadline =
      platformClock().monotonicMs() + positiveSetting(settings(), kRunDeadline, kDefaultRunDeadlineSeconds) * 1000;
  ReadInterruptScope interrupt(
      [this, deadline] { return stopRequested() || platformClock().monotonicMs() >= deadline; });

  noticeRate_.startRun();
  {
    LogsManager logs(gateway_);
    AccountsManager accounts(gateway_, maintenance_);
    std::vector<long> keys = logs.KeysInStatus(kLogPendingAck);
    if (!keys.empty()) {
      const FieldMap& s = settings();
      stringT problem;
      if (setUpSmtp(s, smtp_, oauth_, problem) != 0) {
        smtp_.setStatus(TCPManager::kFailure, problem);
        runMetrics().failed(FailureKind::Smtp);
        report(smtp_.describe());
      } else if (smtp_.connect(s.get(kSmtpServer), static_cast<uint16_t>(s.getNumber(kSmtpPort) & 0xFFFF)) != 0) {
        runMetrics().failed(FailureKind::Smtp);
        report(smtp_.describe());
      } else {
        LogProcessor processor(maintenance_, s);
        for (long key : keys) {
          if (stopRequested()) break;  // the rest stay queued for the next start
          // A reply that never came closed the session (it was out of
          // step); the rest stay queued for the next run.
          if (!smtp_.connected()) break;
          if (platformClock().monotonicMs() >= deadline) {
            report(formatDeadline(settings()));
            break;
          }
          acknowledgeRow(key, logs, accounts, processor);
        }
      }
      smtp_.disconnect();
    }
  }
  status_.setStatusText(stringT());
}

void ProcessingCycle::acknowledgeRow(long key, LogsManager& logs, AccountsManager& accounts,
                                     LogProcessor& processor) {
  std::shared_ptr<LogRecord> row = logs.GetRecord(key);
  if (!row) {
    report(logs.describe());
    return;
  }
  bool answer = isEnquiryAnswer(*row);
  if (!answer && processor.prepareLog(*row) != 0) {
    report(processor.describe());
    return;
  }
  auto account = answer ? enquirerAccount(accounts, row->message()) : accounts.GetAccount(row->getNumber(101));
  Recipient to = answer ? enquiryRecipient(row->message(), account ? &*account : nullptr)
                        : chooseRecipient(row->message(), account ? &*account : nullptr);
  stringT reference = answer ? enquiryReference(row->message()) : row->get(104);
  if (int at = controlCharacterAt(to.address); at >= 0) {
    report(controlCharacterReport(to.address, at, reference));
    return;
  }
  if (int at = envelopeAddressFault(to.address); at >= 0) {
    report(envelopeReport(to.address, at, reference));  // the row stays queued, as for a refused recipient
    return;
  }

  const FieldMap& s = settings();
  std::time_t now = platformClock().now();
  long limit = NoticeRate::limitFromSetting(s.get(kNoticesPerHour));
  if (!noticeRate_.allows(to.address, now, limit)) {
    if (noticeRate_.firstHold(to.address))
      report(stringT::format(
          translateFormat("*Notices to '%s' held: %ld were sent to it within the hour; they go out with a later run (ref: %s)").c_str(),
          printable(to.address).c_str(), limit, reference.c_str()));
    return;
  }
  AckHeaders headers{rfc5322Date(now), makeMessageId(now, s.get(kReturnAddress)), {}, {}, {}};
  threadHeaders(row->message(), &headers);
  if (s.getNumber(kReferenceInSubject) != 0) headers.reference = reference.trim();
  stringT notice = answer ? row->get(kLrDetails) : noticeText(row->fields());
  // The Subject as the requestor wrote it (encoded words and charsets
  // read), written afresh as UTF-8.
  stringT subject(readMime(row->message().rawText().view()).subject);
  stringT text = composeAcknowledgement(s, to, subject, headers, notice);

  std::vector<stringT> failed;
  int rc = smtp_.send(s.get(kReturnAddress), {to.address}, text, failed);
  for (const stringT& recipient : failed)
    report(stringT::format(translateFormat("*error sending acknowledgement to: '%s'; ref: %s").c_str(),
                           printable(recipient).c_str(), reference.c_str()));
  if (rc != 0) {
    runMetrics().failed(FailureKind::Smtp);
    report(smtp_.describe());
    return;
  }
  runMetrics().noticeSent();
  noticeRate_.sent(to.address, now);
  if (logs.Remove(key) != 0) report(logs.describe());
}
