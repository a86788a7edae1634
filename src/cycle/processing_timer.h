// ProcessingTimer: the period arithmetic of one repeating timer, kept
// apart from threads so it can be tested with made-up times.
//
// Ticks fall every period after the moment the timer was set:
//
//   set(t0, P):        ticks at t0+P, t0+2P, t0+3P, ...
//   takeDue(now):      true when a tick at or before now was not taken
//                      yet; the next tick is then the first one after now
//
// So a run that is still busy when a tick falls delays that tick until it
// ends (takeDue at the end of the run answers true), and the ticks that
// fell while it ran are one event, never a queue of them.
#pragma once

#include <cstdint>
#include <optional>

class ProcessingTimer {
 public:
  // periodMs 0 stops the timer.
  void set(int64_t nowMs, int64_t periodMs);
  void stop() { periodMs_ = 0; }
  bool armed() const { return periodMs_ > 0; }
  int64_t periodMs() const { return periodMs_; }

  bool takeDue(int64_t nowMs);
  // Milliseconds until the next tick (0 when one is due), nothing when off.
  std::optional<int64_t> untilDue(int64_t nowMs) const;

 private:
  int64_t periodMs_ = 0;
  int64_t nextMs_ = 0;
};
