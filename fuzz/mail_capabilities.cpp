// Fuzzes what a mail server says before TLS and during a login: POP3 CAPA
// lines, SMTP EHLO replies and SASL continuations ("+ ..." / "334 ...").
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mail/capabilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  Capabilities smtp = ehloCapabilities(text);
  Capabilities pop;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start + 1);
    addPop3Capability(line, pop);
    std::string decoded;
    if (continuationText(line, decoded) && decoded.size() > line.size()) __builtin_trap();
    start += line.size();
  }
  for (const Capabilities* c : {&smtp, &pop}) {
    if (c->keywords.size() > Capabilities::kMaxEntries || c->mechanisms.size() > Capabilities::kMaxEntries)
      __builtin_trap();
    for (const auto& w : c->keywords)
      if (w.empty() || w.size() > Capabilities::kMaxWord) __builtin_trap();
    for (const auto& w : c->mechanisms)
      if (w.empty() || w.size() > Capabilities::kMaxWord) __builtin_trap();
  }
  return 0;
}
