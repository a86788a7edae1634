// Fuzzes MailMessage: header scan, encoded words, transfer decoding.
#include <cstddef>
#include <cstdint>

#include "mail/mail_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MailMessage m(stringT(reinterpret_cast<const char*>(data), size));
  size_t total = m.body().length() + m.text().length();
  for (const char* name : {"from", "reply-to", "subject", "content-transfer-encoding"}) {
    stringT raw = m.header(name);
    stringT decoded = m.decodedHeader(name);
    if (decoded.length() > raw.length()) __builtin_trap();  // decoding never grows a value
    total += raw.length();
  }
  for (const auto& [name, span] : m.headers())
    if (name.size() > kMaxHeaderName || span.offset + uint64_t(span.length) > size) __builtin_trap();
  if (m.body().length() > size) __builtin_trap();
  return total > 0 ? 0 : 0;
}
