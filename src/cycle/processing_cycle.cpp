#include "cycle/processing_cycle.h"

#include "common/diagnostics.h"
#include "db/gateway_tables.h"
#include "db/logs_manager.h"

ProcessingCycle::ProcessingCycle(DatabaseContext& gateway, DatabaseContext& maintenance,
                                 ConfigurationsManager& settings)
    : gateway_(gateway), maintenance_(maintenance), settings_(settings) {}

void ProcessingCycle::report(const stringT& text) {
  ++reports_;
  addDiagnostic(text, DiagnosticLevel::Error);
}

void ProcessingCycle::doAll() {
  retrieveMail();
  updateLogs();
  sendAcknowledgements();
  refresh();
}

void ProcessingCycle::runAction(CycleAction action) {
  if (stopRequested()) return;  // a run queued before the stop: the next start does it
  switch (action) {
    case CycleAction::Retrieve:
      retrieveMail();
      break;
    case CycleAction::Update:
      updateLogs();
      break;
    case CycleAction::Acknowledge:
      sendAcknowledgements();
      break;
    case CycleAction::All:
      doAll();
      return;  // doAll refreshes
  }
  refresh();
}

void ProcessingCycle::refresh() {
  std::array<long, 10> counts{};
  {
    // The key lists are shared by every LogsManager; counting reads no file.
    LogsManager logs(gateway_);
    for (int status = 0; status < kLogStatusCount; ++status)
      counts[status] = static_cast<long>(logs.CountInStatus(status));
  }
  status_.setCounts(counts);
  if (refreshListener_) refreshListener_();
}
