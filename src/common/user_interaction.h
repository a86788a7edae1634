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
};

// The process-wide backend; the terminal backend until another is set.
UserInteraction& userInteraction();
// Installs backend (not owned; must outlive its use). nullptr restores the
// terminal backend.
void setUserInteraction(UserInteraction* backend);
