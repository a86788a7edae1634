// Fuzzes splitAddress and validateAddress.
#include <cstddef>
#include <cstdint>

#include "mail/address.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  stringT text(reinterpret_cast<const char*>(data), size);
  auto [leading, address] = splitAddress(text);
  if (leading.length() + address.length() > size) __builtin_trap();
  int length = static_cast<int>(size);
  int at = validateAddress(text, length);
  if (at != kAddressAccepted && (at < 0 || at > length)) __builtin_trap();
  (void)validateAddress(address, static_cast<int>(address.length()));
  return 0;
}
