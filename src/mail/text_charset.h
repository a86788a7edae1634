// Bytes of a mail part to UTF-8 text, and the clean-up of text that came
// from mail before a person or a table sees it.
#pragma once

#include <string>
#include <string_view>

// Whether bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool isUtf8(std::string_view bytes);

struct CharsetReading {
  std::string text;     // UTF-8
  std::string charset;  // the charset it was read as
  bool fallback = false;
};

// Converts bytes declared as charset to UTF-8. Undecodable sequences become
// U+FFFD. No charset, US-ASCII or an unknown charset: UTF-8 when the bytes
// are valid UTF-8, else Windows-1252 (fallback set for an unknown name or
// for non-ASCII bytes without a name). ISO-8859-1 is read as Windows-1252,
// as browsers do: mail programs label Windows text that way.
CharsetReading toUtf8(std::string_view bytes, std::string_view charset);

// Removes control characters (C0 and DEL) except tab, CR and LF; with
// singleLine, CR, LF and tabs become spaces and blanks are trimmed. U+0080
// to U+009F are read as the Windows-1252 characters of those bytes; bytes
// that are not UTF-8 are read as Windows-1252.
std::string cleanText(std::string_view text, bool singleLine);

// Line ends of text (CRLF, LF or a lone CR) as CRLF.
std::string crlfLines(std::string_view text);

// Text cut to at most limit bytes, at a UTF-8 character boundary.
std::string_view utf8Prefix(std::string_view text, size_t limit);
