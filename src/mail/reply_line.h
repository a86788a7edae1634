// Reading and reading into numbers the reply lines of POP3 and SMTP
// servers.
//
//   POP3   "+OK" [blanks] number [blanks number] ...    positive when the
//          first three characters are exactly "+OK"
//   SMTP   [blanks] code next-character ...             "250-" continues a
//          multi-line reply, "250 " ends it
//
// Numbers are read as scanf's %d would (leading blanks, optional sign,
// digits), except that a number that does not fit 32 bits counts as
// missing instead of overflowing.
//
// Security: a reply line longer than one buffer piece is read to its end
// so that its tail is never taken for the next reply; what is kept of it is
// capped at kMaxReplyLine bytes, and reading stops after kMaxReplyLineRead
// bytes without a line feed (reported as a failed read).
#pragma once

#include <string>
#include <string_view>

inline constexpr size_t kMaxReplyLine = 4096;
inline constexpr size_t kMaxReplyLineRead = 1 << 20;

// Reads one whole line (all its pieces) into line. Returns the number of
// bytes received (> 0), or the negative readLine count of the failure;
// line then holds what arrived.
int readReplyLine(int socket, int seconds, std::string& line);

// True when line begins with "+OK".
bool positiveReply(std::string_view line);

// After "+OK", up to two numbers; returns how many were read. Values not
// read are left as they were.
int scanOkNumbers(std::string_view line, int& first, int& second);

// reply as it may be quoted in a status message (and so in the
// diagnostic file): every CRLF kept, every other control character (bare
// CR or LF, NUL, ESC, ...) shown as "\xHH".
std::string printableReply(std::string_view reply);

// The reply code at the start of line and the character after it; returns
// 0 (nothing read), 1 (code only) or 2.
int scanReplyCode(std::string_view line, int& code, char& next);
