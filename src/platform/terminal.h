// The terminal backend of user interaction: notices go to the journal as
// with the default backend, and a question (not answered by /AssumeYes+)
// is asked on the terminal when stdin is one: "[Yes/No] " on stderr, one
// line read from stdin, a prefix of an answer's name in any case taken;
// five unusable replies or the end of input fall back to the safe answer.
#pragma once

#include <cstdio>

#include "common/user_interaction.h"

class TerminalInteraction : public NoticeInteraction {
 public:
  // Asks on in and prompts on out; the program's are stdin and stderr.
  explicit TerminalInteraction(std::FILE* in = stdin, std::FILE* out = stderr) : in_(in), out_(out) {}

 protected:
  int askSomeone(int first, int second) override;

 private:
  std::FILE* in_;
  std::FILE* out_;
};

// Installs the process's terminal backend with setUserInteraction(); the
// program calls it first thing in main().
void installTerminalInteraction();
