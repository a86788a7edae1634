#include "cycle/run_metrics.h"

#include <chrono>

namespace {

int64_t unixSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

int64_t steadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::string_view runName(size_t kind) {
  static constexpr std::string_view names[kRunKinds] = {"retrieve", "update", "acknowledge"};
  return kind < kRunKinds ? names[kind] : "unknown";
}

std::string_view failureName(size_t kind) {
  static constexpr std::string_view names[kFailureKinds] = {"pop3", "smtp", "logs_table", "processing"};
  return kind < kFailureKinds ? names[kind] : "unknown";
}

std::string_view intakeHoldName(IntakeHold hold) {
  switch (hold) {
    case IntakeHold::MemoFile: return "memo_file_near_limit";
    case IntakeHold::DiskSpace: return "disk_space_low";
    case IntakeHold::None: break;
  }
  return {};
}

void RunMetrics::runStarted(RunType kind, int64_t seconds) {
  RunSlot& slot = runs_[static_cast<size_t>(kind)];
  slot.lastStart = seconds;
  slot.lastEnd = 0;
  slot.running = true;
}

void RunMetrics::runEnded(RunType kind, int64_t seconds, uint64_t durationMs, bool ok) {
  RunSlot& slot = runs_[static_cast<size_t>(kind)];
  slot.lastEnd = seconds;
  slot.lastResult = ok ? 1 : 2;
  slot.running = false;
  ++slot.runs;
  slot.durationMs += durationMs;
}

RunFigures RunMetrics::run(size_t kind) const {
  RunFigures f;
  if (kind >= kRunKinds) return f;
  const RunSlot& slot = runs_[kind];
  f.lastStart = slot.lastStart;
  f.lastEnd = slot.lastEnd;
  f.lastResult = slot.lastResult;
  f.running = slot.running;
  f.runs = slot.runs;
  f.durationMs = slot.durationMs;
  return f;
}

RunMetrics& runMetrics() {
  static RunMetrics metrics;
  return metrics;
}

RunTimer::RunTimer(RunType kind, const uint64_t& reports)
    : kind_(kind), reports_(reports), reportsAtStart_(reports), startMs_(steadyMs()) {
  runMetrics().runStarted(kind_, unixSeconds());
}

RunTimer::~RunTimer() {
  int64_t elapsed = steadyMs() - startMs_;
  runMetrics().runEnded(kind_, unixSeconds(), static_cast<uint64_t>(elapsed < 0 ? 0 : elapsed),
                        reports_ == reportsAtStart_);
}
