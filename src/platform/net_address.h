// Dotted IPv4 address text to address, with the classic inet_addr rules
// (each part decimal, octal with a leading 0, or hex with 0x; one to four
// parts). INADDR_NONE (0xFFFFFFFF) means the text is not an address, so
// "255.255.255.255" is refused as well, as inet_addr does.
#pragma once

#include <cstdint>
#include <string>

inline constexpr uint32_t kAddressNone = 0xFFFFFFFFu;

// The address in network byte order, or kAddressNone.
uint32_t dottedAddress(const std::string& text);
