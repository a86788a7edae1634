#include "ui/console_notices.h"

#include "common/string_mapper.h"

void ConsoleNotices::add(MessageIcon icon, const stringT& caption, const stringT& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  notices_.push_back(ConsoleNotice{++lastId_, icon, caption, text});
  while (notices_.size() > kMaxNotices) notices_.pop_front();
}

std::vector<ConsoleNotice> ConsoleNotices::since(uint64_t after) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<ConsoleNotice> out;
  for (const ConsoleNotice& n : notices_)
    if (n.id > after) out.push_back(n);
  return out;
}

uint64_t ConsoleNotices::lastId() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastId_;
}

void ConsoleInteraction::messageBox(MessageIcon icon, const stringT& caption, const stringT& text) {
  notices_.add(icon, caption, text);
  next_.messageBox(icon, caption, text);
}

int ConsoleInteraction::ask(const stringT& caption, const stringT& text, int first, int second) {
  int answer = next_.ask(caption, text, first, second);
  static const char* const kAnswers[] = {"*Yes", "*No", "*Cancel", "*OK"};
  stringT shown = text;
  if (answer >= 0 && answer < 4) shown = shown + "\r\n-> " + translate(kAnswers[answer]);
  notices_.add(MessageIcon::Question, caption, shown);
  return answer;
}

const char* iconName(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return "information";
    case MessageIcon::Warning: return "warning";
    case MessageIcon::Error: return "error";
    case MessageIcon::Question: return "question";
  }
  return "information";
}
