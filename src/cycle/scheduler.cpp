#include "cycle/scheduler.h"

#include "common/configurations.h"
#include "common/string_mapper.h"
#include "common/user_interaction.h"
#include "cycle/gateway_thread.h"
#include "cycle/processing_cycle.h"

Scheduler::~Scheduler() { thread_.killTimer(kProcessingTimer); }

int Scheduler::setTimer(int id, long minutes) {
  CycleLock::Hold hold(cycle_.lock());
  if (!hold) return 1;
  if (minutes == 0) {
    thread_.killTimer(id);
    return 0;
  }
  if (minutes < 0 || minutes > kMaxMinutes) {
    userInteraction().messageBox(MessageIcon::Warning, stringT(), translate("*Timer could not be set"));
    return 1;
  }
  GatewayThread::Task handler;
  if (id == kProcessingTimer) handler = [this] { cycle_.doAll(); };
  thread_.setTimer(id, minutes * kMsPerMinute, std::move(handler));
  return 0;
}

int Scheduler::armProcessingTimer() { return setTimer(kProcessingTimer, cycle_.settings().getNumber(kInterval)); }

int Scheduler::settingsAccepted(const stringT& oldInterval) {
  stringT now = cycle_.settings().get(kInterval);
  if (now == oldInterval) return 0;
  return setTimer(kProcessingTimer, decimalValue(now));
}
