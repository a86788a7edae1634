#include "ui/main_window.h"

#include "common/diagnostics.h"
#include "common/string_mapper.h"
#include "common/configurations.h"
#include "cycle/processing_cycle.h"
#include "db/accounts_manager.h"
#include "db/logs_manager.h"
#include "db/work_request_manager.h"
#include "mail/mime_view.h"

namespace {

// Fills the work-request fields (101 to 113) of a log that has a work
// request and lacks them, as the log processor does, so the lists show
// its requestor, subject and reference. Works on a copy: the shared
// LogRecord is left as the runs left it.
LogRecord withRequestFields(const LogRecord& record, std::optional<WorkRequestManager>& requests,
                            DatabaseContext& maintenance) {
  LogRecord copy = record;
  long wrkey = record.getNumber(kLrWrKey);
  if (wrkey <= 0 || !record.get(104).empty()) return copy;
  if (!requests) requests.emplace(maintenance);
  FieldMap request;
  if (requests->FindAndRead(wrkey, request) != 0) return copy;
  for (int n = 101; n <= 113; ++n)
    if (copy.get(n).empty() && !request.get(n).empty()) copy.set(n, request.get(n));
  return copy;
}

}  // namespace

MainWindow::MainWindow(ProcessingCycle& cycle, GatewayThread& thread) : cycle_(cycle), scheduler_(cycle, thread) {}

bool MainWindow::create() {
  AccountsManager accounts(cycle_.gateway(), cycle_.maintenance());
  if (accounts.Load() != 0) {
    accounts.showError();
    return false;
  }
  LogsManager logs(cycle_.gateway());
  if (logs.Load() != 0) {
    logs.showError();
    return false;
  }
  welcome_ = translate("*Welcome to Tarnwick @Orvane");
  cycle_.refresh();
  (void)scheduler_.armProcessingTimer();  // a refusal is shown; the window still comes up
  return true;
}

bool MainWindow::setTimer(int id, long minutes) { return scheduler_.setTimer(id, minutes) == 0; }

std::vector<stringT> MainWindow::categoryTexts() const {
  CycleSnapshot snapshot = cycle_.status().snapshot();
  std::vector<stringT> texts;
  for (int status = 0; status < kLogStatusCount; ++status)
    texts.push_back(categoryText(status, snapshot.counts[status]));
  return texts;
}

std::optional<FieldMap> MainWindow::accountOf(AccountsManager& accounts, const FieldMap& fields) {
  long contact = fields.getNumber(101);
  if (contact <= 0 || !accounts.isOpen()) return std::nullopt;
  return accounts.GetAccount(contact);
}

std::vector<LogRow> MainWindow::logs(int status) {
  std::vector<LogRow> rows;
  LogsManager logs(cycle_.gateway());
  AccountsManager accounts(cycle_.gateway(), cycle_.maintenance());
  std::optional<WorkRequestManager> requests;
  for (long key : logs.KeysInStatus(status)) {
    std::shared_ptr<LogRecord> record = logs.GetRecord(key);
    if (!record) continue;
    LogRecord shown = withRequestFields(*record, requests, cycle_.maintenance());
    rows.push_back(logRow(shown, accountOf(accounts, shown.fields())));
  }
  return rows;
}

LogView MainWindow::view(long key) {
  LogView view;
  view.printTitle = translate("*@Orvane Document");
  LogsManager logs(cycle_.gateway());
  std::shared_ptr<LogRecord> record = logs.GetRecord(key);
  if (!record) return view;
  std::optional<WorkRequestManager> requests;
  LogRecord shown = withRequestFields(*record, requests, cycle_.maintenance());
  AccountsManager accounts(cycle_.gateway(), cycle_.maintenance());
  std::optional<stringT> requestor;
  if (std::optional<FieldMap> account = accountOf(accounts, shown.fields()))
    requestor = accounts.DescribeAccount(*account, kAllAccountFields, true);
  view.found = true;
  // The text the sender wrote (decoded parts, attachments named); the
  // details keep the message as received.
  view.text = readMime(shown.message().rawText().view()).requestText;
  view.details = detailsText(shown, requestor);
  view.mailto = mailtoTarget(shown);
  view.printLines = printLines(view.details, kPrintLineWidth);
  return view;
}

int MainWindow::applyOne(LogsManager& logs, LogCommand command, long key, int listedStatus, int target) {
  switch (command) {
    case LogCommand::Save:
      return logs.ChangeStatus(key, kLogSaved);
    case LogCommand::Delete:
      if (listedStatus == kLogDeleted) return logs.Remove(key);
      return logs.ChangeStatus(key, kLogDeleted);
    case LogCommand::Move:
      return logs.ChangeStatus(key, target);
    case LogCommand::Copy: {
      std::shared_ptr<LogRecord> record = logs.GetRecord(key);
      if (!record) return logs.status() != 0 ? logs.status() : 2;
      LogRecord copy = *record;
      copy.SetStatus(target);
      return logs.Append(copy);
    }
  }
  return 0;
}

int MainWindow::logCommand(LogCommand command, const std::vector<long>& keys, int listedStatus, int target) {
  if ((command == LogCommand::Copy || command == LogCommand::Move) && (target < 0 || target >= kLogStatusCount))
    return 0;
  int changed = 0;
  {
    LogsManager logs(cycle_.gateway());
    for (long key : keys) {
      if (applyOne(logs, command, key, listedStatus, target) == 0)
        ++changed;
      else
        addDiagnostic(logs.describe());
    }
  }
  cycle_.refresh();
  return changed;
}
