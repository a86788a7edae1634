// Engine error reports: the gateway's error hook in the engine context, and
// the message the user sees for one engine error.
//
// For every error the engine reports, the hook
//   1. makes an EngineMessage with the reporter, code, location and the
//      three texts (kind 1, an error),
//   2. looks its row up in the message table (engine_message_table.h) and,
//      when the row asks for it, appends a SystemMessage with the operating
//      system's description of its last error,
//   3. reports the message (GUISession::Error with the whole text),
//   4. sets the engine context's error code back to 0, so that the engine
//      accepts the next operation (the failed one has already returned its
//      code to its caller),
//   5. drops the message.
//
// Text of an engine message (messageText):
//   <translated row text> "\r\n"        when a row was found
//   "Status <code> <location>"
//   "\r\n" <text>                        for each non-empty text 1..3
// and report() adds "\r\n" and the text of each appended message.
//
// The reporter is the GUISession the engine context's owner handed over
// (setEngineReporter); guiSession() until one is set. Runs on the thread
// that called the engine.
#pragma once

#include <memory>

#include "common/gui_session.h"
#include "common/string.h"

struct CODE4;

// A message in a chain of messages reported together.
class ReportMessage {
 public:
  virtual ~ReportMessage() = default;
  virtual stringT messageText() const = 0;
  // Appends next at the end of the chain.
  void append(std::unique_ptr<ReportMessage> next);
  const ReportMessage* next() const { return next_.get(); }

 private:
  std::unique_ptr<ReportMessage> next_;
};

// The operating system's description of error number `error`, taken when
// the message is made; "status %8.8x\n" when the system has none.
class SystemMessage : public ReportMessage {
 public:
  explicit SystemMessage(int error);
  stringT messageText() const override { return text_; }

 private:
  stringT text_;
};

class EngineMessage : public ReportMessage {
 public:
  static constexpr int kKindError = 1;

  EngineMessage(GUISession* reporter, CODE4* context, int code, long location, stringT text1,
                stringT text2, stringT text3);

  // Index of the message table row, or -1.
  int row() const { return row_; }
  int kind() const { return kind_; }
  int code() const { return code_; }
  long location() const { return location_; }
  CODE4* context() const { return context_; }
  stringT messageText() const override;
  // The full text: this message and every appended one, joined by "\r\n".
  stringT reportText() const;
  // Shows reportText() through the reporter (kind 1: as an error).
  void report() const;

 private:
  GUISession* reporter_;
  CODE4* context_;
  int code_;
  long location_;
  stringT texts_[3];
  int row_;
  int kind_ = kKindError;
};

// The hook, with the engine's hook signature.
void engineErrorHook(CODE4* c, int code, long location, const char* text1, const char* text2,
                     const char* text3);

// The session engine errors are shown through (not owned); nullptr
// restores guiSession().
void setEngineReporter(GUISession* reporter);
GUISession& engineReporter();
