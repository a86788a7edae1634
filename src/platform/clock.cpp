#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace {

class SystemClock : public Clock {
 public:
  std::time_t now() override { return std::time(nullptr); }
  int64_t monotonicMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  void sleepMs(int64_t ms) override {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
};

SystemClock systemClock;
Clock* current = &systemClock;

}  // namespace

Clock& platformClock() { return *current; }

void setClock(Clock* c) { current = c ? c : &systemClock; }
