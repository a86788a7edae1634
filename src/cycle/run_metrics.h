// RunMetrics: counters of the gateway's work, published for monitoring
// (the console's /healthz and /metrics) the way CycleStatus publishes the
// status bar: the runs count on the gateway thread, the console reads from
// its own threads at any time, even while a run waits on the network.
//
// Nothing here holds text from mail or tables: only counts, times and
// fixed names.
//
// RunTimer marks one run (retrieve, update, acknowledge) from its start
// to its end; the run's result is "ok" when it made no diagnostic report
// in between, "failed" otherwise.
//
// Thread-safety: every member may be called from any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

enum class RunType { Retrieve, Update, Acknowledge };
inline constexpr size_t kRunKinds = 3;

// Pop3: the mailbox could not be emptied; Smtp: a notice was not sent;
// LogsTable: a message could not be stored; Processing: a work request
// could not be made or followed.
enum class FailureKind { Pop3, Smtp, LogsTable, Processing };
inline constexpr size_t kFailureKinds = 4;

enum class Database { Maintenance, Gateway };

// Why the retrieval run takes no mail (disk_budget.h): a memo file near
// 2 GB, or the disk near full.
enum class IntakeHold { None, MemoFile, DiskSpace };
// "memo_file_near_limit", "disk_space_low"; empty for None.
std::string_view intakeHoldName(IntakeHold hold);

std::string_view runName(size_t kind);      // "retrieve", "update", "acknowledge"
std::string_view failureName(size_t kind);  // "pop3", "smtp", "logs_table", ...

struct RunFigures {
  int64_t lastStart = 0;  // Unix time, seconds; 0: never
  int64_t lastEnd = 0;    // 0: not ended yet (or never run)
  int lastResult = 0;     // 0 none yet, 1 ok, 2 failed
  bool running = false;
  uint64_t runs = 0;
  uint64_t durationMs = 0;  // all runs together
};

class RunMetrics {
 public:
  void messageRetrieved() { ++messagesRetrieved_; }
  void requestCreated() { ++requestsCreated_; }
  void noticeSent() { ++noticesSent_; }
  void failed(FailureKind kind) { ++failures_[static_cast<size_t>(kind)]; }
  void setDatabaseOpen(Database which, bool open) { (which == Database::Maintenance ? maintenanceOpen_ : gatewayOpen_) = open; }

  void setIntakeHold(IntakeHold hold) { intakeHold_ = static_cast<int>(hold); }
  IntakeHold intakeHold() const { return static_cast<IntakeHold>(intakeHold_.load()); }

  void runStarted(RunType kind, int64_t unixSeconds);
  void runEnded(RunType kind, int64_t unixSeconds, uint64_t durationMs, bool ok);

  uint64_t messagesRetrieved() const { return messagesRetrieved_; }
  uint64_t requestsCreated() const { return requestsCreated_; }
  uint64_t noticesSent() const { return noticesSent_; }
  uint64_t failures(size_t kind) const { return failures_[kind]; }
  bool databaseOpen(Database which) const { return which == Database::Maintenance ? maintenanceOpen_ : gatewayOpen_; }
  RunFigures run(size_t kind) const;

 private:
  struct RunSlot {
    std::atomic<int64_t> lastStart{0}, lastEnd{0};
    std::atomic<int> lastResult{0};
    std::atomic<bool> running{false};
    std::atomic<uint64_t> runs{0}, durationMs{0};
  };
  std::atomic<uint64_t> messagesRetrieved_{0}, requestsCreated_{0}, noticesSent_{0};
  std::array<std::atomic<uint64_t>, kFailureKinds> failures_{};
  std::array<RunSlot, kRunKinds> runs_;
  std::atomic<bool> maintenanceOpen_{false}, gatewayOpen_{false};
  std::atomic<int> intakeHold_{0};
};

// The process's counters.
RunMetrics& runMetrics();

// Marks one run for its lifetime; reports counts the diagnostic reports
// made so far (ProcessingCycle's), read at the start and at the end.
class RunTimer {
 public:
  RunTimer(RunType kind, const uint64_t& reports);
  ~RunTimer();
  RunTimer(const RunTimer&) = delete;
  RunTimer& operator=(const RunTimer&) = delete;

 private:
  RunType kind_;
  const uint64_t& reports_;
  uint64_t reportsAtStart_;
  int64_t startMs_;
};
