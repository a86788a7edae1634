#include "platform/net_address.h"

#include <arpa/inet.h>

uint32_t dottedAddress(const std::string& text) {
  // inet_addr stops at the first NUL; a text holding one is not an address.
  if (text.find('\0') != std::string::npos) return kAddressNone;
  in_addr_t value = inet_addr(text.c_str());
  return value == INADDR_NONE ? kAddressNone : static_cast<uint32_t>(value);
}
