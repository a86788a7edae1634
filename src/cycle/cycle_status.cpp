#include "cycle/cycle_status.h"

void CycleStatus::setStatusText(const stringT& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_.statusText = text.str();
  ++state_.generation;
}

void CycleStatus::setBusy(bool busy) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_.busy = busy;
  ++state_.generation;
}

void CycleStatus::setCounts(const std::array<long, 10>& counts) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_.counts = counts;
  ++state_.generation;
}

CycleSnapshot CycleStatus::snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}
