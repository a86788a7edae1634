#include "table/progress_reporter.h"

#include <cstdio>

void TerminalProgress::setText(const stringT& line) {
  if (!line.empty()) std::fprintf(stderr, "%s\n", line.c_str());
}

bool TerminalProgress::step(const stringT& text) {
  if (!text.empty()) std::fprintf(stderr, "  %s\n", text.c_str());
  return true;
}

void TerminalProgress::setCount(long count) {
  count_ = count;
  done_ = 0;
}

bool TerminalProgress::stepRecord() {
  ++done_;
  if (done_ == count_ || done_ % 1000 == 0) std::fprintf(stderr, "    %ld / %ld\n", done_, count_);
  return true;
}

void TerminalProgress::finish(const stringT& text) {
  if (!text.empty()) std::fprintf(stderr, "%s\n", text.c_str());
}
