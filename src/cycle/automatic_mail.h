// Mail written by a program rather than a person: out-of-office replies,
// delivery reports, mailing lists. Answering it could start a loop (two
// robots answering each other for ever) or mail a whole list, so the
// intake rejects it and no notice is ever sent for it.
//
// A message is automatic when, looking only at its raw headers:
//
//   | header          | value                                         |
//   |-----------------|-----------------------------------------------|
//   | Auto-Submitted  | anything but "no" (RFC 3834; case ignored,    |
//   |                 | parameters after ";" ignored)                 |
//   | Precedence      | bulk, junk or list                            |
//   | List-Id         | present (RFC 2919)                            |
//   | Return-Path     | "<>": a bounce (RFC 5321 null sender)         |
//   | From, Reply-To  | local part MAILER-DAEMON or postmaster (case  |
//   |                 | ignored)                                      |
//   | Content-Type    | multipart/report: a delivery or read report   |
//   |                 | (RFC 6522)                                    |
#pragma once

#include "common/string.h"

class MailMessage;

// The header line that makes message automatic ("Precedence: bulk"), or
// empty when a person wrote it. Control characters are shown "\xNN".
stringT automaticMailReason(const MailMessage& message);
