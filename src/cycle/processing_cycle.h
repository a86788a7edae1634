// ProcessingCycle: the three runs of the processing cycle and what they
// share: the cycle lock, the POP3 and SMTP clients, the status shown while
// they work, and the refresh of the counts after every action.
//
//   retrieveMail          retrieve_run.cpp      mailbox -> logs.dbf
//   updateLogs            update_run.cpp        logs.dbf <-> maintenance db
//   sendAcknowledgements  acknowledge_run.cpp   queued notices -> SMTP
//   doAll                 the three in that order, then refresh
//   runAction             one menu action (a run or Do All) and refresh
//
// Every run takes the cycle lock for its whole length and returns at once
// when it cannot. Failures never stop a run: each is added to the
// diagnostic list (report) and the run goes on with the next item; undone
// work is picked up by the next run. Once the program asks the cycle to
// stop (requestStop), a run in hand ends after the item it is on, with the
// same care as at its normal end, and every later run returns at once.
// Managers are made per run and dropped at its end; the two database
// contexts and the settings outlive the cycle.
//
// Threads: all runs belong to the gateway thread (gateway_thread.h); other
// threads read status() only.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "common/configurations.h"
#include "cycle/cycle_lock.h"
#include "cycle/cycle_status.h"
#include "cycle/notice_rate.h"
#include "mail/oauth_token.h"
#include "mail/pop3_manager.h"
#include "mail/smtp_manager.h"

class AccountsManager;
class DatabaseContext;
class LogProcessor;
class LogRecord;
class LogsManager;
struct IntakeStamp;

enum class CycleAction { Retrieve, Update, Acknowledge, All };

class ProcessingCycle {
 public:
  // gateway: the gateway database (accounts.dbf, logs.dbf); maintenance:
  // the maintenance database; settings: the program's settings.
  ProcessingCycle(DatabaseContext& gateway, DatabaseContext& maintenance, ConfigurationsManager& settings);

  void retrieveMail();
  void updateLogs();
  void sendAcknowledgements();
  void doAll();
  void runAction(CycleAction action);

  // Called from any thread when the program is stopping; never undone.
  void requestStop() { stopRequested_.store(true); }
  bool stopRequested() const { return stopRequested_.load(); }

  // Recomputes the counts per status, publishes them, then calls the
  // refresh listener (the console reloads its lists there).
  void refresh();
  void setRefreshListener(std::function<void()> listener) { refreshListener_ = std::move(listener); }

  CycleLock& lock() { return lock_; }
  CycleStatus& status() { return status_; }
  POP3Manager& pop3() { return pop3_; }
  SMTPManager& smtp() { return smtp_; }
  // The OAuth access token shared by both clients (XOAUTH2 logins).
  OAuthToken& oauth() { return oauth_; }
  DatabaseContext& gateway() { return gateway_; }
  DatabaseContext& maintenance() { return maintenance_; }
  const FieldMap& settings() const { return settings_.settings(); }

  // Diagnostics added by the runs since the counter was last reset (the
  // exit status of a one-shot run).
  uint64_t reportsMade() const { return reports_; }
  void resetReports() { reports_ = 0; }
  // Adds text to the diagnostic list and counts it.
  void report(const stringT& text);

  // report() as a callable, for the helpers of the runs.
  std::function<void(const stringT&)> reporter() {
    return [this](const stringT& text) { report(text); };
  }

 private:
  void updateRow(long key, int scanned, LogsManager& logs, AccountsManager& accounts,
                 LogProcessor& processor);
  void acknowledgeRow(long key, LogsManager& logs, AccountsManager& accounts,
                      LogProcessor& processor);

  DatabaseContext& gateway_;
  DatabaseContext& maintenance_;
  ConfigurationsManager& settings_;
  CycleLock lock_;
  CycleStatus status_;
  POP3Manager pop3_;
  SMTPManager smtp_;
  OAuthToken oauth_;
  NoticeRate noticeRate_;  // notices per address and hour (setting 312)
  std::function<void()> refreshListener_;
  uint64_t reports_ = 0;
  std::atomic<bool> stopRequested_{false};
};
