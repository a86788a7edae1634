// Intake of one received message into a new log row (the retrieval run's
// work per message, without the mailbox and the table).
//
//   202, 203      the run's shared date "%Y%m%d" and time "%H%M%S"
//   status 1      Pending Processing, then:
//   header cut    a header section read only in part (too many fields, a
//                 field or the section too long; mail/header_scanner.h):
//                 history "*Header section not read in full (limits: ...)",
//                 and the rest goes on with the part that was read
//   automatic     mail from a program (automatic_mail.h): history
//                 "*Automatic mail, not answered: %s" with the header
//                 that shows it, status 0, and nothing else is looked at
//   return addr.  Reply-To, else From, as the MIME view reads them
//                 (mail/mime_view.h, returnAddress); refused by
//                 validateAddress, or not usable in an SMTP envelope
//                 (mail/envelope_address.h: no "@" and domain, a space,
//                 "<" or ">"): history "*Invalid Return E-mail Address:
//                 '%s' at position %d", status 0
//   form         read from the view's request text (decoded body)
//   form field 1  "request": 212 := "1" (status kept)
//                 "update":  status 6, a status enquiry
//                 other:     history "*Unrecognized Action: '%s'", status 0
//                 absent or empty: status kept (a plain request)
//
// The statuses are set in this order with SetStatus, so field 210 shows
// the step before; an invalid address with "update" ends Special.
// Control characters of the address and action are shown as "\xNN" in the
// history lines.
#pragma once

#include <ctime>

#include "common/string.h"

class LogRecord;

struct IntakeStamp {
  stringT date;  // "%Y%m%d", local time
  stringT time;  // "%H%M%S"
};
IntakeStamp intakeStamp(std::time_t when);

// Fills row, which holds the received message, as described above.
void takeIn(LogRecord& row, const IntakeStamp& stamp);
