// The console's notice area: the program's message boxes, kept so the
// operator sees them in the page, and the user-interaction backend that
// puts them there.
//
// A message box never blocks: ConsoleInteraction hands it to the backend
// it replaced (the terminal one: a line on stderr, questions answered on a
// terminal or by /AssumeYes+) and adds it to the notices. Questions are
// answered by that backend too and shown as a notice with the answer.
//
// The list keeps the newest kMaxNotices; every notice has an id that only
// grows, so the page asks for "everything after id N".
//
// Thread-safety: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "common/string.h"
#include "common/user_interaction.h"

struct ConsoleNotice {
  uint64_t id = 0;
  MessageIcon icon = MessageIcon::Information;
  stringT caption;
  stringT text;
};

class ConsoleNotices {
 public:
  static constexpr size_t kMaxNotices = 200;

  void add(MessageIcon icon, const stringT& caption, const stringT& text);
  // The notices with an id above after, oldest first.
  std::vector<ConsoleNotice> since(uint64_t after) const;
  uint64_t lastId() const;

 private:
  mutable std::mutex mutex_;
  std::deque<ConsoleNotice> notices_;
  uint64_t lastId_ = 0;
};

class ConsoleInteraction : public UserInteraction {
 public:
  // next: where message boxes also go and who answers questions (not
  // owned; the terminal backend in the program).
  ConsoleInteraction(ConsoleNotices& notices, UserInteraction& next) : notices_(notices), next_(next) {}

  void messageBox(MessageIcon icon, const stringT& caption, const stringT& text) override;
  int ask(const stringT& caption, const stringT& text, int first, int second) override;

 private:
  ConsoleNotices& notices_;
  UserInteraction& next_;
};

// "information", "warning", "error", "question".
const char* iconName(MessageIcon icon);
