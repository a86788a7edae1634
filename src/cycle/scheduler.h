// Scheduler: ties the processing cycle to the clock on the gateway thread.
//
//   timer 1 (kProcessingTimer)   period = setting 151 minutes; each tick
//                                runs doAll on the gateway thread
//   setTimer(id, minutes)        under the cycle lock: 0 removes timer id,
//                                any other value (re)starts it with
//                                minutes x 60000 ms from now
//   armProcessingTimer()         setTimer(1, setting 151), when the console
//                                (the main window) comes up
//   settingsAccepted(old151)     after the settings pages are accepted:
//                                setTimer(1, new value) when 151 changed
//
// Nothing else starts or stops timer 1. A doAll still running when a tick
// falls delays that tick until it ends; ticks never queue up
// (gateway_thread.h, processing_timer.h).
//
// A period that cannot be a timer (negative minutes, or so many that the
// milliseconds would overflow) is refused: "*Timer could not be set" is
// shown and the previous timer stays in force. Long periods (weeks) are
// kept exactly; nothing clamps them.
//
// Threads: call setTimer on the gateway thread (the console posts it).
#pragma once

#include <cstdint>

#include "common/string.h"

class GatewayThread;
class ProcessingCycle;

inline constexpr int kProcessingTimer = 1;

class Scheduler {
 public:
  static constexpr int64_t kMsPerMinute = 60000;
  static constexpr int64_t kMaxMinutes = INT64_MAX / kMsPerMinute / 2;

  Scheduler(ProcessingCycle& cycle, GatewayThread& thread) : cycle_(cycle), thread_(thread) {}
  // Takes the processing timer off the thread: its handler refers to this
  // object, and the thread outlives it at shutdown.
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // 0 done; 1 refused (after the message box), or the cycle lock failed.
  [[nodiscard]] int setTimer(int id, long minutes);
  [[nodiscard]] int armProcessingTimer();
  // oldInterval: the text of setting 151 before the pages were accepted.
  [[nodiscard]] int settingsAccepted(const stringT& oldInterval);

 private:
  ProcessingCycle& cycle_;
  GatewayThread& thread_;
};
