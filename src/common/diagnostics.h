// The diagnostic list: time-stamped reports of the processing runs, newest
// first, mirrored line by line into diagnostic.txt in the gateway
// directory so that an unattended gateway leaves a trace.
//
//   | where | form                                                      |
//   |-------|-----------------------------------------------------------|
//   | list  | time: the translated "*%a %m/%d/%y %H:%M" (strftime);     |
//   |       | description: the text with every "\r\n" shown as " : "    |
//   | file  | "%s %s : %s\n": date MM/DD/YY, time HH:MM:SS, the text as |
//   |       | given (line breaks inside it written as they are)         |
//
// Every message also goes to the journal (common/journal.h): one line on
// stderr with the priority it was added with.
//
// The file is opened for appending for every message and closed at once
// (through common/file_access.h); a file that cannot be opened or written
// (a full disk) loses that line without a report, and the caller goes on. The list keeps
// the newest kMaxEntries rows, so a gateway that runs for months does not
// grow without bound (the file keeps everything).
//
// Thread-safety: every member may be called from any thread. The gateway
// thread adds; the console reads snapshot() and generation().
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <deque>
#include <vector>

#include "common/journal.h"
#include "common/string.h"

// How a diagnostic is written to the journal: failures of the runs are
// errors; reports of what was done are information.
using DiagnosticLevel = JournalPriority;

struct DiagnosticEntry {
  stringT time;
  stringT description;
};

class DiagnosticList {
 public:
  static constexpr size_t kMaxEntries = 10000;
  using TimeSource = std::function<std::time_t()>;

  // Local time comes from source (the platform clock in the program, a
  // fixed time in tests); time(nullptr) until set.
  void setTimeSource(TimeSource source);

  // Keeps path for addDiagnostic (an empty path writes no file); when
  // clear is set, empties the file (creating it).
  void openDiagnosticFile(const stringT& path, bool clear);
  stringT filePath() const;

  void addDiagnostic(const stringT& text, DiagnosticLevel level = DiagnosticLevel::Information);

  // A copy of the rows, newest first.
  std::vector<DiagnosticEntry> snapshot() const;
  // Changes with every row added or removed; the console polls it.
  uint64_t generation() const;
  // Empties the list (not the file).
  void clear();

 private:
  mutable std::mutex mutex_;
  TimeSource timeSource_;
  stringT path_;
  std::deque<DiagnosticEntry> rows_;  // oldest first
  uint64_t generation_ = 0;
};

// The list of the process.
DiagnosticList& diagnostics();
// diagnostics().addDiagnostic(text, level).
void addDiagnostic(const stringT& text, DiagnosticLevel level = DiagnosticLevel::Information);
