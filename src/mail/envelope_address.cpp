#include "mail/envelope_address.h"

#include "mail/address.h"

int envelopeAddressFault(const stringT& address) {
  std::string_view text = address.view();
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F || c == ' ' || c == '<' || c == '>') return static_cast<int>(i);
    if (i == kMaxEnvelopeAddress) return static_cast<int>(i);
  }
  size_t at = text.rfind('@');
  if (at == std::string_view::npos || at + 1 == text.size()) return static_cast<int>(text.size());
  if (at == 0) return 0;
  // The domain's rules (and a second "@" in it) are validateAddress's.
  return validateAddress(address, static_cast<int>(text.size()));
}
