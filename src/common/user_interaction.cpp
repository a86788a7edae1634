#include "common/user_interaction.h"

#include <atomic>

#include "common/journal.h"

namespace {

std::atomic<bool> assumeYesFlag{false};

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

NoticeInteraction defaultBackend;
UserInteraction* current = &defaultBackend;

}  // namespace

const char* answerName(int code) {
  switch (code) {
    case 0: return "Yes";
    case 1: return "No";
    case 2: return "Cancel";
    case 3: return "OK";
    default: return "?";
  }
}

int UserInteraction::ask(const stringT& caption, const stringT& text, int first, int second) {
  messageBox(MessageIcon::Question, caption, text);
  return safeAnswer(first, second);
}

void NoticeInteraction::messageBox(MessageIcon icon, const stringT& caption, const stringT& text) {
  writeJournal(priorityOf(icon), noticeLine(caption, text));
}

int NoticeInteraction::ask(const stringT& caption, const stringT& text, int first, int second) {
  writeJournal(JournalPriority::Information, noticeLine(caption, text));
  if (assumeYes()) {
    int yes = (first == 0 || first == 3) ? first : second;
    writeJournal(JournalPriority::Information, stringT::format("answered %s (/AssumeYes+)", answerName(yes)));
    return yes;
  }
  int answer = askSomeone(first, second);
  if (answer >= 0) return answer;
  int safe = safeAnswer(first, second);
  writeJournal(JournalPriority::Warning,
               stringT::format("answered %s: no terminal to ask (use /AssumeYes+ to answer Yes)", answerName(safe)));
  return safe;
}

int NoticeInteraction::askSomeone(int, int) { return -1; }

int safeAnswer(int first, int second) {
  if (first == 1 || first == 2) return first;
  return second;
}

void setAssumeYes(bool yes) { assumeYesFlag = yes; }

bool assumeYes() { return assumeYesFlag; }

UserInteraction& userInteraction() { return *current; }

void setUserInteraction(UserInteraction* backend) { current = backend ? backend : &defaultBackend; }
