// Clock: wall time, monotonic time and sleeping, behind an interface so
// that tests can run the program's pauses and time limits without waiting.
//
// systemClock() is the real one. Tests install a FakeClock (tests/) whose
// sleep advances time at once. Thread-safe: the system clock has no state.
#pragma once

#include <cstdint>
#include <ctime>

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since the epoch, as time() gives.
  virtual std::time_t now() = 0;
  // Milliseconds on a monotonic clock, for measuring time limits.
  virtual int64_t monotonicMs() = 0;
  // Pauses the calling thread.
  virtual void sleepMs(int64_t ms) = 0;
};

// The process-wide clock; the system clock until another is installed.
Clock& platformClock();
// Installs c (not owned); nullptr restores the system clock.
void setClock(Clock* c);
