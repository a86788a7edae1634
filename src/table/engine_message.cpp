#include "table/engine_message.h"

#include <cerrno>
#include <cstring>

#include "common/string_mapper.h"
#include "engine/error4.h"
#include "table/engine_context.h"
#include "table/engine_message_table.h"

namespace {
GUISession* currentReporter = nullptr;

// The system's own text for an error number, or nullptr when it has none.
const char* systemDescription(int error) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
  return strerrordesc_np(error);
#else
  const char* text = std::strerror(error);
  return std::strncmp(text, "Unknown error", 13) == 0 ? nullptr : text;
#endif
}
}  // namespace

void ReportMessage::append(std::unique_ptr<ReportMessage> next) {
  ReportMessage* last = this;
  while (last->next_) last = last->next_.get();
  last->next_ = std::move(next);
}

SystemMessage::SystemMessage(int error) {
  const char* text = systemDescription(error);
  text_ = text != nullptr ? stringT(text) : stringT::format("status %8.8x\n", static_cast<unsigned>(error));
}

EngineMessage::EngineMessage(GUISession* reporter, CODE4* context, int code, long location,
                             stringT text1, stringT text2, stringT text3)
    : reporter_(reporter),
      context_(context),
      code_(code),
      location_(location),
      texts_{std::move(text1), std::move(text2), std::move(text3)},
      row_(lookupEngineMessage(code, static_cast<int32_t>(location))) {}

stringT EngineMessage::messageText() const {
  stringT text;
  if (row_ >= 0) text = translate(engineMessageTable()[row_].text) + "\r\n";
  text += stringT::format("Status %d %ld", code_, location_);
  for (const stringT& extra : texts_)
    if (!extra.empty()) text += stringT("\r\n") + extra;
  return text;
}

stringT EngineMessage::reportText() const {
  stringT text = messageText();
  for (const ReportMessage* m = next(); m != nullptr; m = m->next())
    text += stringT("\r\n") + m->messageText();
  return text;
}

void EngineMessage::report() const {
  if (kind_ == kKindError && reporter_ != nullptr) reporter_->Error(reportText());
}

void engineErrorHook(CODE4* c, int code, long location, const char* text1, const char* text2,
                     const char* text3) {
  int systemError = errno;  // before anything below can change it
  noteEngineError(code);
  {
    EngineMessage message(&engineReporter(), c, code, location, text1 ? text1 : "",
                          text2 ? text2 : "", text3 ? text3 : "");
    if (message.row() >= 0 && (engineMessageTable()[message.row()].flags & kAppendSystemMessage))
      message.append(std::make_unique<SystemMessage>(systemError));
    message.report();
  }
  if (c != nullptr) error4set(c, 0);
}

void setEngineReporter(GUISession* reporter) { currentReporter = reporter; }

GUISession& engineReporter() { return currentReporter ? *currentReporter : guiSession(); }
