#include "common/user_interaction.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "common/journal.h"

namespace {

std::atomic<bool> assumeYesFlag{false};

const char* answerName(int code) {
  switch (code) {
    case 0: return "Yes";
    case 1: return "No";
    case 2: return "Cancel";
    case 3: return "OK";
    default: return "?";
  }
}

stringT noticeLine(const stringT& caption, const stringT& text) {
  return caption.empty() ? text : caption + ": " + text;
}

JournalPriority priorityOf(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error: return JournalPriority::Error;
    case MessageIcon::Warning: return JournalPriority::Warning;
    default: return JournalPriority::Information;
  }
}

// Reads one answer from the terminal; -1 at end of input.
int readTerminalAnswer(int first, int second) {
  for (int tries = 0; tries < 5; ++tries) {
    std::fprintf(stderr, "[%s/%s] ", answerName(first), answerName(second));
    std::fflush(stderr);
    char buffer[64];
    if (!std::fgets(buffer, sizeof buffer, stdin)) return -1;
    std::string reply(buffer);
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r' || reply.back() == ' ')) reply.pop_back();
    for (char& c : reply)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (int code : {first, second}) {
      std::string name = answerName(code);
      for (char& c : name) c = static_cast<char>(c | 0x20);
      if (!reply.empty() && name.compare(0, reply.size(), reply) == 0) return code;
    }
  }
  return -1;
}

class TerminalInteraction : public UserInteraction {
 public:
  void messageBox(MessageIcon icon, const stringT& caption, const stringT& text) override {
    writeJournal(priorityOf(icon), noticeLine(caption, text));
  }

  int ask(const stringT& caption, const stringT& text, int first, int second) override {
    writeJournal(JournalPriority::Information, noticeLine(caption, text));
    if (assumeYes()) {
      int yes = (first == 0 || first == 3) ? first : second;
      writeJournal(JournalPriority::Information, stringT::format("answered %s (/AssumeYes+)", answerName(yes)));
      return yes;
    }
    if (isatty(STDIN_FILENO)) {
      int answer = readTerminalAnswer(first, second);
      if (answer >= 0) return answer;
    }
    int safe = safeAnswer(first, second);
    writeJournal(JournalPriority::Warning,
                 stringT::format("answered %s: no terminal to ask (use /AssumeYes+ to answer Yes)", answerName(safe)));
    return safe;
  }
};

TerminalInteraction terminalBackend;
UserInteraction* current = &terminalBackend;

}  // namespace

int UserInteraction::ask(const stringT& caption, const stringT& text, int first, int second) {
  messageBox(MessageIcon::Question, caption, text);
  return safeAnswer(first, second);
}

int safeAnswer(int first, int second) {
  if (first == 1 || first == 2) return first;
  return second;
}

void setAssumeYes(bool yes) { assumeYesFlag = yes; }

bool assumeYes() { return assumeYesFlag; }

UserInteraction& userInteraction() { return *current; }

void setUserInteraction(UserInteraction* backend) { current = backend ? backend : &terminalBackend; }
