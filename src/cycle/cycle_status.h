// CycleStatus: what the processing cycle shows while and after it works,
// published so that the console can read it from its own threads at any
// time, even while a run waits on the network:
//
//   status text   the one line of status ("*retrieving mail", ...), set
//                 and cleared by the runs
//   busy          true while a run holds the cycle lock (the wait cursor)
//   counts        rows per log status 0 to 9, recomputed after each action
//   generation    changes with every change above
//
// Thread-safety: every member may be called from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "common/string.h"

struct CycleSnapshot {
  std::string statusText;
  bool busy = false;
  std::array<long, 10> counts{};
  uint64_t generation = 0;
};

class CycleStatus {
 public:
  void setStatusText(const stringT& text);
  void setBusy(bool busy);
  void setCounts(const std::array<long, 10>& counts);
  CycleSnapshot snapshot() const;

 private:
  mutable std::mutex mutex_;
  CycleSnapshot state_;
};

// Marks the cycle busy for its lifetime (the wait cursor of a run).
class BusyScope {
 public:
  explicit BusyScope(CycleStatus& status) : status_(status) { status_.setBusy(true); }
  ~BusyScope() { status_.setBusy(false); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  CycleStatus& status_;
};
