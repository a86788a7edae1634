// Base64 (RFC 4648 alphabet, "=" padding): the settings file's scrambled
// password, SASL exchanges, and mail bodies and encoded words.
#pragma once

#include <string>
#include <string_view>

std::string base64Encode(std::string_view bytes);
// Decodes what it can, as mail readers do; never fails, bad input gives
// fewer bytes. Each alphabet character gives 6 bits, most significant
// first, and every complete 8 bits are a byte. Characters outside the
// alphabet (line breaks, blanks, junk) are skipped, and bits left over at
// the end are dropped, so missing padding does no harm. A "=" that pads a
// group of four (after its second or third character) ends that group:
// its left-over bits are dropped and decoding goes on with the next
// character as the start of a new group, so pieces encoded one by one and
// joined (as some mailers do) decode whole. Any other "=" is skipped.
std::string base64Decode(std::string_view text);
