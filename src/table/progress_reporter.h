// ProgressReporter: where long database work (the upgrade, table copies)
// shows how far it got and learns whether the user wants to stop.
//
// A run sets a text line, then reports named steps; a copy gives its record
// count and steps once per record. step() and stepRecord() return false
// when the user asked to stop; the caller then stops at once.
#pragma once

#include "common/string.h"

class ProgressReporter {
 public:
  virtual ~ProgressReporter() = default;
  virtual void setText(const stringT& line) = 0;
  // Starts a new step named text (empty: the final step). False: stop.
  [[nodiscard]] virtual bool step(const stringT& text) = 0;
  // The number of records the next copy will go through.
  virtual void setCount(long count) = 0;
  // One more record done. False: stop.
  [[nodiscard]] virtual bool stepRecord() = 0;
  virtual void finish(const stringT& text) = 0;
};

// Progress on the terminal (stderr): the text line, each step, and the
// record count every so often. Never asks to stop.
class TerminalProgress : public ProgressReporter {
 public:
  void setText(const stringT& line) override;
  bool step(const stringT& text) override;
  void setCount(long count) override;
  bool stepRecord() override;
  void finish(const stringT& text) override;

 private:
  long count_ = 0;
  long done_ = 0;
};
