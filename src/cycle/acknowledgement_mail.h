// The text of one acknowledgement mail and the choice of its recipient.
//
// Text, CRLF line ends:
//
//   To: <name>[ <<address>>]          (" <address>" only when not empty)
//   From: <setting 152> <<setting 155>>
//   Subject: [<setting 153> ]<subject of the received message>
//   Date: <RFC 5322 date-time, local time with numeric zone>
//   Message-ID: <<unique>@<domain>>
//   (empty line)
//   <setting 154>
//   (empty line)
//   <noticeText of the row>
//
// Date and Message-ID are there because RFC 5322 requires the first and
// expects the second; every other byte is as listed. Texts taken from
// received mail or the settings go into header lines with every CR, LF or
// NUL that is not part of a header fold (CRLF followed by a blank) turned
// into a space, so a crafted Subject or name cannot add header lines.
//
// Recipient: the Reply-To header when not empty (split: the text before
// "<" is the name, the text between "<" and ">" the address, or the whole
// value when that is empty); else the account's name (1) and e-mail (4)
// when there is an account; else the From header, split like Reply-To.
#pragma once

#include <ctime>

#include "common/field_map.h"

class MailMessage;

struct Recipient {
  stringT name;
  stringT address;
};

// account: the requestor's account record, or nullptr.
Recipient chooseRecipient(const MailMessage& message, const FieldMap* account);

struct AckHeaders {
  stringT date;       // value of Date:
  stringT messageId;  // value of Message-ID:, with its angle brackets
};

// Settings 152 to 155 are read from settings.
stringT composeAcknowledgement(const FieldMap& settings, const Recipient& to, const stringT& receivedSubject,
                               const AckHeaders& headers, const stringT& notice);

// "Thu, 07 Dec 2023 09:01:02 +0100" for when, in local time (English day and
// month names whatever the locale).
stringT rfc5322Date(std::time_t when);
// "<time.pid.sequence@domain>": domain is the part of returnAddress after
// its last "@" when that is a plain host name, else "orvane.invalid".
stringT makeMessageId(std::time_t when, const stringT& returnAddress);

// Position of the first control character (0x00-0x1F, 0x7F) of text, or -1.
int controlCharacterAt(const stringT& text);
// text with every control character shown as "\xNN", for reports.
stringT printable(const stringT& text);
// text with every CR, LF and NUL that is not part of a fold made a space.
stringT headerSafe(const stringT& text);
