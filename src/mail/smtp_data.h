// The bytes sent for a message after DATA: the text as lines that an SMTP
// server reads exactly as we meant them, then the terminator.
//
//   1. Line ends: CRLF stays; a bare CR, a bare LF (and the CR LF of
//      "\r\r\n" counted as one CR then one CRLF) each become CRLF. A lone
//      "." line can then only appear where the text really has one, and no
//      server can be made to see "\r.\r\n" or "\n.\n" as the end of data
//      while we send more (SMTP smuggling).
//   2. Line length: no line longer than kMaxSmtpLine octets (RFC 5321's
//      1000 with the CRLF). A header line (before the first empty line) is
//      folded: CRLF put before the last space or tab that keeps the line
//      within the limit, or, without one, CRLF and a space at the limit. A
//      body line is wrapped: CRLF at the limit.
//   3. Dot-stuffing: a line that begins with "." gets another one (not
//      counted in the limit).
//   4. The last line ends with CRLF (added when the text lacks it, also for
//      an empty text), then ".\r\n".
#pragma once

#include <string>
#include <string_view>

inline constexpr size_t kMaxSmtpLine = 998;

std::string smtpDataBytes(std::string_view text);
