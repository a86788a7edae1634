// Base64 (RFC 4648 alphabet, "=" padding) for the settings file's
// scrambled password.
#pragma once

#include <string>
#include <string_view>

std::string base64Encode(std::string_view bytes);
// Decodes what it can: characters outside the alphabet (line breaks,
// blanks, junk) are skipped and decoding stops at the first "=". Never
// fails; bad input gives fewer bytes.
std::string base64Decode(std::string_view text);
