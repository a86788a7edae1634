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
#include <vector>

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

// The message count and mailbox size of a STAT reply: "+OK", blanks, the
// count (digits only, at most INT32_MAX), blanks, the size (digits only;
// above INT32_MAX it reads as INT32_MAX, as a large mailbox is real), then
// the end or a blank. False for anything else: a sign, a count that does
// not fit, a number missing, trailing garbage.
bool scanStatReply(std::string_view line, int& count, int& size);

// reply as it may be quoted in a status message (and so in the
// diagnostic file): every CRLF kept, every other control character (bare
// CR or LF, NUL, ESC, ...) shown as "\xHH".
std::string printableReply(std::string_view reply);

// reply with every echo of a secret we sent (a password, a SASL response)
// replaced by "[hidden]": a server that quotes the command it refuses must
// not put the password into the diagnostics. An echo cut short counts as
// long as it holds at least kMinSecretEcho bytes of the secret's start (all
// of a shorter secret).
inline constexpr size_t kMinSecretEcho = 8;
std::string withoutSecrets(std::string_view reply, const std::vector<std::string>& secrets);

// The reply code at the start of line and the character after it; returns
// 0 (nothing read), 1 (code only) or 2.
int scanReplyCode(std::string_view line, int& code, char& next);
