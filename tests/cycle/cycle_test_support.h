// Helpers of the cycle tests: a clock that stands still unless told to move
// (pauses pass at once), in UTC so that texts with times are fixed.
#pragma once

#include <cstdlib>
#include <ctime>

#include "platform/clock.h"

class CycleClock : public Clock {
 public:
  // 2023-11-14 22:13:20 UTC.
  static constexpr std::time_t kStart = 1700000000;
  CycleClock() {
    setenv("TZ", "UTC", 1);
    tzset();
    setClock(this);
  }
  ~CycleClock() override { setClock(nullptr); }
  std::time_t now() override { return kStart + static_cast<std::time_t>(ms_ / 1000); }
  int64_t monotonicMs() override { return ms_; }
  void sleepMs(int64_t ms) override {
    if (ms > 0) ms_ += ms;
  }
  void advance(int64_t ms) { ms_ += ms; }

 private:
  int64_t ms_ = 0;
};
