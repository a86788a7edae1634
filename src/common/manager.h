// Manager: base of the program's named service objects (string mapper, TCP,
// POP3 and SMTP managers, the table managers, the log processor, the
// configurations manager).
//
// It keeps a display name, the status code of the last operation (0 is
// success) and a status message. Every operation of a derived class ends by
// returning what setStatus returned, so the code the caller sees and the
// code the manager keeps are always the same.
//
// Not thread-safe: a manager belongs to the gateway thread.
#pragma once

#include "common/string.h"

class Manager {
 public:
  explicit Manager(stringT name = stringT()) : name_(std::move(name)) {}
  virtual ~Manager() = default;

  // Records code and message; returns code.
  int setStatus(int code, stringT message = stringT()) {
    status_ = code;
    message_ = std::move(message);
    return code;
  }

  int status() const { return status_; }
  const stringT& message() const { return message_; }
  const stringT& name() const { return name_; }
  void setName(stringT name) { name_ = std::move(name); }

  // Slot order matters to derived classes: these four come first.
  virtual void showInformation() const;
  virtual void showWarning() const;
  virtual void showError() const;
  // "%s : 0x%04x\r\n%s" with the name, the status code and the message.
  virtual stringT describe() const;

 private:
  stringT name_;
  int status_ = 0;
  stringT message_;
};
