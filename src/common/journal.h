// The journal: one line per diagnostic and per message box on stderr, for
// the administrator who runs the gateway as a service.
//
// Each line starts with a syslog priority prefix, which journald (and
// systemd's handling of a service's stderr) reads as the line's priority
// and strips:
//
//   | prefix | priority | used for                                      |
//   |--------|----------|-----------------------------------------------|
//   | <3>    | error    | failures of the runs, error boxes             |
//   | <4>    | warning  | warning boxes, questions answered unasked     |
//   | <6>    | info     | progress reports, information boxes, questions|
//
// A text of several lines becomes one line: every line break (CR LF, LF or
// CR alone) is written as " : ", as the diagnostic list shows it.
//
// Thread-safety: any thread; each line is written whole under a lock.
#pragma once

#include <cstdio>
#include <string>

#include "common/string.h"

enum class JournalPriority { Error = 3, Warning = 4, Information = 6 };

// "<N>" + text on one line (no line end).
std::string journalLine(JournalPriority priority, const stringT& text);

// Writes journalLine + "\n" to the journal stream and flushes it.
void writeJournal(JournalPriority priority, const stringT& text);

// The stream lines go to: stderr until set; nullptr writes nothing (tests
// point it at a temporary file). Returns the previous stream.
std::FILE* setJournalStream(std::FILE* stream);
