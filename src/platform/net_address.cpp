#include "platform/net_address.h"

#include "platform/inet.h"

uint32_t dottedAddress(const std::string& text) {
  // inet_addr stops at the first NUL; a text holding one is not an address.
  if (text.find('\0') != std::string::npos) return kAddressNone;
  uint32_t value = static_cast<uint32_t>(inet_addr(text.c_str()));
  return value == static_cast<uint32_t>(INADDR_NONE) ? kAddressNone : value;
}
