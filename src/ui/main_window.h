// MainWindow: the gateway-thread side of the console's main window. It
// brings the window up (managers loaded, welcome text, counts, processing
// timer), answers what the lists and the details dialog show, and carries
// out the operator's commands on logs.
//
// Log commands, for every selected key in order, then counts refreshed:
//   | Save    | status 7 (Saved)                                        |
//   | Delete  | status 9; removed for good when the list shows Deleted  |
//   | Copy    | a copy of the row appended with the target status       |
//   | Move    | the row takes the target status                         |
// A key whose log cannot be had is reported in the diagnostic list and
// the others go on.
//
// Timer 1 (the processing timer) belongs to the Scheduler (cycle/
// scheduler.h); the window arms it when it comes up and the Preferences
// page restarts it through setTimer.
//
// One thread: every member runs on the gateway thread.
#pragma once

#include <optional>
#include <vector>

#include "common/string.h"
#include "cycle/scheduler.h"
#include "ui/log_views.h"

class GatewayThread;
class ProcessingCycle;
class AccountsManager;
class LogsManager;

enum class LogCommand { Save, Delete, Copy, Move };

struct LogView {
  bool found = false;
  stringT text;     // the message text (the text pane)
  stringT details;  // the details dialog's text
  stringT mailto;
  std::vector<stringT> printLines;
  stringT printTitle;  // the translated "*@Orvane Document"
};

class MainWindow {
 public:
  MainWindow(ProcessingCycle& cycle, GatewayThread& thread);

  // Loads an AccountsManager and a LogsManager (a failure shows the
  // manager's status as an error and the window is not made), sets the
  // welcome text, refreshes the counts and arms timer 1 with setting 151.
  bool create();

  // minutes 0 removes timer id; otherwise (re)starts it (Scheduler). False
  // when it was refused (after "*Timer could not be set").
  bool setTimer(int id, long minutes);

  const stringT& welcomeText() const { return welcome_; }
  std::vector<stringT> categoryTexts() const;
  std::vector<LogRow> logs(int status);
  LogView view(long key);
  // listedStatus: the category the list shows (decides what Delete does).
  // Returns how many logs were changed.
  int logCommand(LogCommand command, const std::vector<long>& keys, int listedStatus, int target);

 private:
  // The account named by field 101 of fields, when there is one.
  std::optional<FieldMap> accountOf(AccountsManager& accounts, const FieldMap& fields);
  int applyOne(LogsManager& logs, LogCommand command, long key, int listedStatus, int target);

  ProcessingCycle& cycle_;
  Scheduler scheduler_;
  stringT welcome_;
};
