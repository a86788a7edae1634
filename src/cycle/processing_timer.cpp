#include "cycle/processing_timer.h"

void ProcessingTimer::set(int64_t nowMs, int64_t periodMs) {
  periodMs_ = periodMs > 0 ? periodMs : 0;
  nextMs_ = nowMs + periodMs_;
}

bool ProcessingTimer::takeDue(int64_t nowMs) {
  if (!armed() || nowMs < nextMs_) return false;
  int64_t missed = (nowMs - nextMs_) / periodMs_ + 1;
  nextMs_ += missed * periodMs_;
  return true;
}

std::optional<int64_t> ProcessingTimer::untilDue(int64_t nowMs) const {
  if (!armed()) return std::nullopt;
  return nowMs >= nextMs_ ? 0 : nextMs_ - nowMs;
}
