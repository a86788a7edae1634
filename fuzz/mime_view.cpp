// Fuzzes readMime: GMime's structure, charset conversion, HTML to text and
// the bounds on nesting, parts and text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/mime_view.h"
#include "mail/text_charset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view raw(reinterpret_cast<const char*>(data), size);
  MimeView view = readMime(raw);
  // Text that reaches a person is UTF-8, without control characters other
  // than line ends and tabs, and within its bound.
  for (const std::string* text : {&view.subject, &view.requestText, &view.sender.displayName}) {
    if (!isUtf8(*text)) __builtin_trap();
    for (unsigned char c : *text)
      if ((c < 0x20 && c != '\r' && c != '\n' && c != '\t') || c == 0x7F) __builtin_trap();
  }
  if (view.subject.find('\n') != std::string::npos) __builtin_trap();
  if (view.attachments.size() > kMimeMaxParts) __builtin_trap();
  for (const Attachment& a : view.attachments)
    if (a.name.empty() || a.name.find('\n') != std::string::npos) __builtin_trap();
  MimeView headers = readMimeHeaders(raw);
  if (headers.subject != view.subject || headers.returnAddress != view.returnAddress) __builtin_trap();
  return 0;
}
