// The text of one acknowledgement mail and the choice of its recipient.
//
// Text, CRLF line ends:
//
//   To: <name>[ <<address>>]          (" <address>" only when not empty)
//   From: <setting 152> <<setting 155>>
//   Subject: [<setting 153> ][[<reference>] ]<subject of the received message>
//   Date: <RFC 5322 date-time, local time with numeric zone>
//   Message-ID: <<unique>@<domain>>
//   In-Reply-To: <Message-ID of the received message>    (when it has one)
//   References: <its References> <its Message-ID>        (the same)
//   Auto-Submitted: auto-replied
//   MIME-Version: 1.0
//   Content-Type: text/plain; charset=UTF-8
//   Content-Transfer-Encoding: 7bit | quoted-printable
//   (empty line)
//   <setting 154>
//   (empty line)
//   <noticeText of the row>
//
// Date and Message-ID are there because RFC 5322 requires the first and
// expects the second; In-Reply-To and References let mail programs show
// the notice with the request it answers; Auto-Submitted (RFC 3834) tells
// other robots not to answer it. The texts are UTF-8: names and the
// Subject become RFC 2047 encoded words when they are not ASCII, and the
// body is quoted-printable when it is not ASCII or has a line over 998
// octets (mail/mime_encoding.h); ASCII texts are as listed. The reference
// goes into the Subject only when asked for (setting 313) and when the
// received Subject does not already name it. Texts taken from received
// mail or the settings go into header lines with every CR, LF or NUL that
// is not part of a header fold (CRLF followed by a blank) turned into a
// space, so a crafted Subject or name cannot add header lines.
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
  stringT date;        // value of Date:
  stringT messageId;   // value of Message-ID:, with its angle brackets
  stringT inReplyTo;   // the received message's Message-ID, or empty
  stringT references;  // value of References:, or empty
  stringT reference;   // "@O01001" for the Subject, or empty
};

// In-Reply-To and References for a notice answering message: its
// Message-ID, when that is one "<...>" without blanks, and its References
// when they are such ids too (at most 900 octets of them, the newest kept).
void threadHeaders(const MailMessage& message, AckHeaders* headers);

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
