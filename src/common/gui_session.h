// GUISession: the message boxes and questions of start-up and of the
// database layer, over the user-interaction backend (common/
// user_interaction.h): a notice on the console and stderr, a question on
// the terminal, or a scripted backend in tests.
//
// Texts: the message is shown as given (callers pass translated texts);
// the extra text, when given, follows after "\r\n". Captions are the
// translated "*Tarnwick Information", "*Tarnwick Error" and "*Tarnwick
// Question"; an internal error uses the untranslated "Tarnwick Internal
// Error" and prefixes "Internal Error\r\n".
//
// Answer codes and the pairs Ask accepts (in either order):
//
//   | code | button |     | pair  | buttons    | icon     |
//   |------|--------|     |-------|------------|----------|
//   | 0    | Yes    |     | 0, 1  | Yes, No    | question |
//   | 1    | No     |     | 3, 2  | OK, Cancel | question |
//   | 2    | Cancel |
//   | 3    | OK     |
//
// Stateless; safe to use from the thread that owns the backend.
#pragma once

#include "common/string.h"

class GUISession {
 public:
  enum Answer { Yes = 0, No = 1, Cancel = 2, OK = 3 };

  virtual ~GUISession() = default;

  virtual void Info(const stringT& message);
  virtual void Info(const stringT& message, const stringT& extra);
  virtual void Error(const stringT& message);
  virtual void Error(const stringT& message, const stringT& extra);
  virtual void InternalError(const stringT& message);
  virtual void InternalError(const stringT& message, const stringT& extra);

  // Asks message (+ "\r\n" + extra) with the buttons of the pair {first,
  // second}; true exactly when the answer is second. A pair that is not
  // allowed, or a second that is no answer code, is reported as the
  // internal error "Illegal options to GUISession::Ask" and gives false.
  virtual bool Ask(int first, int second, const stringT& message);
  virtual bool Ask(int first, int second, const stringT& message, const stringT& extra);

 private:
  bool ask(int first, int second, const stringT& text);
};

// The session the application hands to the database layer.
GUISession& guiSession();
