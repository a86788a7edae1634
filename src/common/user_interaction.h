// The user-interaction interface: where message boxes and questions go.
//
// The platform has no desktop, so a "message box" is a notice: the notice
// backend writes it to the journal on stderr (and the console, once running,
// shows it in its notice area); tests install a scripted backend. Nothing
// here blocks a processing run, except a question asked on a terminal.
//
// The default backend asks no one: a question is answered as a run without
// a terminal answers it. The program installs the terminal backend
// (platform/terminal.h), which asks on the terminal when stdin is one.
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

// When set, questions are answered with Yes or OK (the /AssumeYes+
// option), for runs where no terminal can answer.
void setAssumeYes(bool yes);
bool assumeYes();

// Notices go to the journal with their icon's priority. A question is
// journalled too, then answered Yes/OK under /AssumeYes+, else by
// askSomeone(), else (nobody answered) with safeAnswer() and a warning.
class NoticeInteraction : public UserInteraction {
 public:
  void messageBox(MessageIcon icon, const stringT& caption, const stringT& text) override;
  int ask(const stringT& caption, const stringT& text, int first, int second) override;

 protected:
  // The answer of whoever can be asked, or -1. Nobody here.
  virtual int askSomeone(int first, int second);
};

// "Yes", "No", "Cancel" or "OK" for an answer code.
const char* answerName(int code);

// The process-wide backend; the default one (a NoticeInteraction) until
// another is set.
UserInteraction& userInteraction();
// Installs backend (not owned; must outlive its use). nullptr restores the
// default backend.
void setUserInteraction(UserInteraction* backend);
