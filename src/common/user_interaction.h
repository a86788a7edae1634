// The user-interaction interface: where message boxes and questions go.
//
// The platform has no desktop, so a "message box" is a notice: the terminal
// backend writes it to stderr (and the console, once running, shows it in
// its notice area); tests install a scripted backend. Nothing here blocks a
// processing run, except a question asked on a terminal.
#pragma once

#include "common/string.h"

enum class MessageIcon { Information, Warning, Error, Question };

class UserInteraction {
 public:
  virtual ~UserInteraction() = default;
  // Shows text under caption. An empty caption means the backend's default.
  virtual void messageBox(MessageIcon icon, const stringT& caption, const stringT& text) = 0;

  // Asks a question whose two possible answers are the answer codes first
  // and second (0 Yes, 1 No, 2 Cancel, 3 OK; see GUISession) and returns
  // the code chosen. The default shows the question as a notice and returns
  // safeAnswer(first, second), the answer that changes nothing.
  virtual int ask(const stringT& caption, const stringT& text, int first, int second);
};

// Of a pair of answer codes, the one that changes nothing: No (1) or
// Cancel (2) when the pair holds one, else second.
int safeAnswer(int first, int second);

// When set, the terminal backend answers every question with Yes or OK
// (the /AssumeYes+ option), for runs where no terminal can answer.
void setAssumeYes(bool yes);
bool assumeYes();

// The process-wide backend; the terminal backend until another is set.
UserInteraction& userInteraction();
// Installs backend (not owned; must outlive its use). nullptr restores the
// terminal backend.
void setUserInteraction(UserInteraction* backend);
