// The retrieval run: empties the POP3 mailbox into logs.dbf, one message
// at a time.
//
//   [lock] --busy--> BUDGET (disk_budget.h): no room for one more message
//                    -> report, /healthz warning, end (nothing connects)
//                    SESSION: connect, [TLS|STLS], login, STAT
//                      | fail: report describe, disconnect (no QUIT: the
//                      |       server keeps every message), clear status
//                      v
//   ORDER: UIDL when the server has it; the messages a former run skipped
//     for slowness (slow_messages.h) come after all the others
//   for each n in that order, while no stop, before the run's deadline and
//   while the disk budget has room for one more (else report, warning):
//     FETCH n (LIST, RETR; at most setting 310 bytes kept, the rest read
//       and dropped; at most setting 381 seconds)
//       complete        -> STORE: takeIn (intake.h), Append
//       cut (too big)   -> STORE as Rejected, history "cut"
//       timed out       -> headers complete: STORE them as Rejected,
//                          history "timed out"; else remember n as slow:
//                          skipped in fewer than 3 runs: report, skip n;
//                          in 3: STORE what arrived as Rejected, history
//                          "timed out in 3 runs"
//       refused, lost   -> report, skip n (it stays on the server)
//       interrupted     -> stop or deadline: leave the loop
//     every kDeleteBatch stored: FLUSH logs.dbf, then DELE them
//     session out of step (timeout, lost): RECONNECT: a new session whose
//       STAT must match the first one (else report and end the run), DELE
//       again every message stored so far, go on with n + 1
//   END, under a short grace time of its own (the stop or the deadline
//     that ended the loop does not cut it short): FLUSH, DELE the rest,
//     QUIT; when the session is out of step (an interrupted read), a new
//     session DELEs what was stored and QUITs. Deadline: one report.
//   the slow messages remembered are written back (those gone from the
//   server forgotten); clear the status text, unlock
//
// Invariant: a message leaves the server only after its row is safely
// stored. DELE goes out for a message only after its row was appended and
// logs.dbf flushed to disk, and a POP3 server removes deleted messages only
// when it receives QUIT; a session that ends without QUIT (crash, kill,
// lost connection) leaves every message on the server, and the next run
// takes the stored ones in again (twice, never zero times).
//
// Memory: one message at a time, at most setting 310 bytes of it; never
// the mailbox.
//
// The stop request and the run's deadline (setting 380) are heard inside
// every wait for the server (tcp_line_io.h, ReadInterruptScope), so a
// server that trickles or hangs holds neither the run nor the program.
#include <algorithm>
#include <map>
#include <vector>

#include "common/string_mapper.h"
#include "cycle/run_metrics.h"
#include "cycle/disk_budget.h"
#include "cycle/intake.h"
#include "cycle/slow_messages.h"
#include "cycle/mail_security_setup.h"
#include "cycle/processing_cycle.h"
#include "db/gateway_database.h"
#include "db/logs_manager.h"
#include "mail/mail_text.h"
#include "mail/tcp_line_io.h"
#include "platform/clock.h"

namespace {

// The low 16 bits of a decimal setting (0 lets the client pick its default).
uint16_t portSetting(const FieldMap& settings, int number) {
  return static_cast<uint16_t>(settings.getNumber(number) & 0xFFFF);
}

long positiveSetting(const FieldMap& settings, int number, long fallback) {
  long value = settings.getNumber(number);
  return value > 0 ? value : fallback;
}

// The slow messages remembered across runs, in the gateway directory.
constexpr const char* kSlowMessagesFile = "slow_messages.txt";

// Time given to the closing session after an interrupted read.
constexpr int64_t kCommitGraceMs = 15000;
// Sessions opened again after one fell out of step, per run.
constexpr int kMaxReconnects = 8;

class MailboxDrain {
 public:
  // secret: the mailbox password or access token, as the security set-up
  // gave it.
  MailboxDrain(ProcessingCycle& cycle, LogsManager& logs, stringT secret)
      : cycle_(cycle),
        pop3_(cycle.pop3()),
        logs_(logs),
        secret_(std::move(secret)),
        stamp_(intakeStamp(platformClock().now())),
        slow_(cycle.gateway().pathOf(kSlowMessagesFile)) {
    const FieldMap& s = cycle.settings();
    limits_.maxBytes = static_cast<size_t>(positiveSetting(s, kMaxMessageSize, kDefaultMaxMessageSize));
    limits_.messageMs = positiveSetting(s, kMessageDeadline, kDefaultMessageDeadlineSeconds) * 1000;
    runSeconds_ = positiveSetting(s, kRunDeadline, kDefaultRunDeadlineSeconds);
    deadlineMs_ = platformClock().monotonicMs() + runSeconds_ * 1000;
  }

  void run() {
    ReadInterruptScope interrupt([this] { return interrupted(); });
    if (!roomForOneMore()) return;
    if (!openSession(true)) return;
    takeMessages();
    finish();
  }

 private:
  bool pastDeadline() const { return platformClock().monotonicMs() >= deadlineMs_; }
  bool interrupted() const { return cycle_.stopRequested() || pastDeadline(); }

  // Connects and logs in. The first session records the mailbox (STAT);
  // a later one must find the same, and deletes again what this run
  // stored, since its earlier session ended without QUIT.
  bool openSession(bool first) {
    const FieldMap& s = cycle_.settings();
    if (pop3_.connect(s.get(kPop3Server), portSetting(s, kPop3Port)) != 0 ||
        pop3_.login(s.get(kPop3Account), secret_) != 0) {
      runMetrics().failed(FailureKind::Pop3);
      if (!cycle_.stopRequested()) cycle_.report(pop3_.describe());
      close();
      return false;
    }
    open_ = true;
    if (first) {
      count_ = pop3_.messageCount();
      size_ = pop3_.mailboxSize();
      return orderMessages();
    }
    if (pop3_.messageCount() != count_ || pop3_.mailboxSize() != size_) {
      cycle_.report(translate("*The mailbox changed while the retrieval run connected again; the run ends here, and "
                              "the messages it stored stay on the server"));
      close();
      return false;
    }
    deleted_ = 0;
    return deleteStored();
  }

  // The order of the messages: those a former run skipped for slowness
  // last, so that they cannot hold the others back. The numbers are walked,
  // never listed: STAT may announce billions.
  bool orderMessages() {
    if (pop3_.uniqueIds(uids_) != 0) {
      uids_.clear();  // no UIDL: numbers and sizes name the messages
      if (!pop3_.inStep()) {
        if (!cycle_.stopRequested()) cycle_.report(pop3_.describe());
        close();
        return false;
      }
    }
    slowLast_ = slow_.rememberedNumbers(uids_, count_);
    return true;
  }

  std::string uidOf(int number) const {
    auto it = uids_.find(number);
    return it != uids_.end() ? it->second : std::string();
  }

  bool slowFirstRun(int number) const { return std::binary_search(slowLast_.begin(), slowLast_.end(), number); }

  // The next number to try, 0 when every one was tried.
  int peekNext() {
    while (nextNumber_ <= count_ && slowFirstRun(nextNumber_)) ++nextNumber_;
    if (nextNumber_ <= count_) return nextNumber_;
    return nextSlow_ < slowLast_.size() ? slowLast_[nextSlow_] : 0;
  }
  void advance() {
    if (nextNumber_ <= count_)
      ++nextNumber_;
    else
      ++nextSlow_;
  }

  // Whether the memo files and disks have room for one more message of
  // the largest size kept; when not, says so once and warns on /healthz.
  bool roomForOneMore() {
    IntakeHold hold = IntakeHold::None;
    stringT problem = diskBudgetProblem(
        readDiskFacts({cycle_.gateway().directory(), cycle_.maintenance().directory()}), limits_.maxBytes, &hold);
    runMetrics().setIntakeHold(hold);
    if (problem.empty()) return true;
    cycle_.report(problem);
    return false;
  }

  void takeMessages() {
    while (peekNext() != 0 && !interrupted() && roomForOneMore()) {
      int number = peekNext();
      advance();
      FetchedMessage fetched;
      (void)pop3_.fetch(number, limits_, fetched);
      std::string key = SlowMessages::keyOf(uidOf(number), number, fetched.listedSize);
      switch (fetched.end) {
        case FetchEnd::Complete:
          if (store(number, fetched, stringT())) slow_.forget(key);
          break;
        case FetchEnd::Cut:
          if (store(number, fetched,
                    formatMarked("*Message cut: it exceeded the size limit of %ld bytes (%ld bytes received)",
                                 static_cast<long>(limits_.maxBytes), static_cast<long>(fetched.octets))))
            slow_.forget(key);
          break;
        case FetchEnd::TimedOut:
          if (fetched.headerComplete) {
            cycle_.report(pop3_.describe());
            if (store(number, fetched,
                      translate("*Message incomplete: its download timed out; only its headers were kept")))
              slow_.forget(key);
            break;
          }
          if (int runs = slow_.skipped(key); runs >= SlowMessages::kGiveUpAfter) {
            // Stored and deleted; it stays remembered until it is gone from
            // the server, so that a deletion that did not happen (a session
            // cut before QUIT) gives it up again at once.
            cycle_.report(pop3_.describe());
            store(number, fetched,
                  formatMarked("*Message download timed out in %d runs: what arrived of it is kept here, and it is "
                               "deleted from the server",
                               runs));
            break;
          }
          [[fallthrough]];
        case FetchEnd::Refused:
        case FetchEnd::Lost:
          cycle_.report(formatMarked("*Message %d was skipped for this run and stays on the server: %s", number,
                                     pop3_.message().c_str()));
          break;
        case FetchEnd::Interrupted:
          interruptedAt_ = number;  // not taken in
          return;
      }
      if (failed_) return;
      if (!pop3_.inStep()) {
        if (!flush()) return;
        close();
        if (++reconnects_ > kMaxReconnects) {
          cycle_.report(formatMarked("*The retrieval run ended after connecting to the mail server %d times",
                                     reconnects_));
          return;
        }
        if (!openSession(false)) return;
      } else if (stored_.size() - deleted_ >= POP3Manager::kDeleteBatch) {
        if (!flush() || !deleteStored()) return;
      }
    }
  }

  // True when the row was appended.
  bool store(int number, FetchedMessage& fetched, const stringT& rejection) {
    MailMessage message{stringT(std::move(fetched.text))};
    message.parse();
    LogRecord row(std::move(message));
    takeIn(row, stamp_);
    if (!rejection.empty()) {
      row.AddHistory(rejection);
      row.SetStatus(kLogRejected);
    }
    if (logs_.Append(row) != 0) {
      runMetrics().failed(FailureKind::LogsTable);
      cycle_.report(logs_.describe());  // not stored: the message stays on the server
      return false;
    }
    runMetrics().messageRetrieved();
    stored_.push_back(number);
    return true;
  }

  // Writes logs.dbf through to disk; on failure nothing more is deleted
  // and the run ends without QUIT.
  bool flush() {
    if (stored_.size() == flushed_ || !logs_.isOpen()) return true;
    if (int rc = logs_.flush(); rc != 0) {
      logs_.setStatus(rc, translate("*can't append to logs table"));
      cycle_.report(logs_.describe());
      failed_ = true;
      close();
      return false;
    }
    flushed_ = stored_.size();
    return true;
  }

  // DELE for the stored (and flushed) messages not yet deleted in this
  // session. When the session falls out of step here, finish deletes them
  // through a new one.
  bool deleteStored() {
    if (deleted_ >= flushed_) return true;
    std::vector<int> numbers(stored_.begin() + static_cast<long>(deleted_), stored_.begin() + static_cast<long>(flushed_));
    if (pop3_.deleteMessages(numbers) != 0) {
      // Refused: the undeleted ones come in again next run.
      if (!readInterrupted()) cycle_.report(pop3_.describe());
      if (!pop3_.inStep()) return false;
    }
    deleted_ = flushed_;
    return true;
  }

  void finish() {
    bool deadline = !cycle_.stopRequested() && pastDeadline() && (interruptedAt_ != 0 || peekNext() != 0);
    // The closing exchange has a grace time of its own: the stop or the
    // deadline that ended the loop must not cut short the DELE and QUIT
    // that let the stored messages leave the server.
    int64_t grace = platformClock().monotonicMs() + kCommitGraceMs;
    ReadInterruptScope closing([grace] { return platformClock().monotonicMs() >= grace; });
    if (!failed_ && open_ && flush()) {
      if (pop3_.inStep() && deleteStored()) {
        quit();
      } else if (!pop3_.inStep() && !stored_.empty()) {
        // A session out of step cannot be closed with QUIT; a new one
        // deletes what was stored.
        close();
        if (openSession(false)) quit();
      }
    }
    // Without an open session (a new one could not be opened) what was
    // stored stays on the server and comes in again next run.
    close();
    slow_.keepPresent(uids_, count_);
    if (std::string reason; !slow_.save(reason))
      cycle_.report(formatMarked("*Can't write the list of slow messages '%s': %s",
                                 cycle_.gateway().pathOf(kSlowMessagesFile).c_str(), reason.c_str()));
    if (deadline)
      cycle_.report(formatMarked("*The retrieval run stopped at its deadline of %ld seconds; the messages not taken "
                                 "in stay on the server",
                                 runSeconds_));
  }

  void close() {
    pop3_.disconnect();
    open_ = false;
  }

  void quit() {
    (void)pop3_.logout();
    if (pop3_.connected()) {
      // QUIT refused or unanswered: the server may not have removed the
      // deleted messages; they come in again next time.
      cycle_.report(pop3_.describe());
    }
    close();
  }

  ProcessingCycle& cycle_;
  POP3Manager& pop3_;
  LogsManager& logs_;
  stringT secret_;
  IntakeStamp stamp_;
  FetchLimits limits_;
  long runSeconds_ = 0;
  int64_t deadlineMs_ = 0;
  SlowMessages slow_;
  std::map<int, std::string> uids_;  // number to UIDL; empty without UIDL
  std::vector<int> slowLast_;        // numbers skipped by former runs, sorted: taken last
  int nextNumber_ = 1;               // the others: 1..count_ without slowLast_
  size_t nextSlow_ = 0;              // then slowLast_[nextSlow_...]
  int interruptedAt_ = 0;            // the message a stop or the deadline cut short
  int count_ = 0;
  int size_ = 0;
  int reconnects_ = 0;
  bool failed_ = false;
  bool open_ = false;  // a session is open (logged in)
  std::vector<int> stored_;  // numbers stored by this run, in order
  size_t flushed_ = 0;       // stored_[0, flushed_) are on disk
  size_t deleted_ = 0;       // stored_[0, deleted_) have DELE in this session
};

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
    status_.setStatusText(stringT());
    return;
  }
  {
    LogsManager logs(gateway_);
    MailboxDrain(*this, logs, std::move(secret)).run();
  }
  pop3_.clearCache();
  // Also after a failure: the status line must not go on saying the mail
  // is being retrieved.
  status_.setStatusText(stringT());
}
