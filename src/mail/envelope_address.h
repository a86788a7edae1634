// The check an address must pass before it goes into an SMTP envelope
// ("MAIL FROM:<...>" or "RCPT TO:<...>").
//
// Accepted: a whole mailbox address with a domain, local-part "@" domain, of at
// most kMaxEnvelopeAddress octets, with
//   - no space, tab, "<", ">" or control character (0x00-0x1F, 0x7F)
//     anywhere: each would end the path early and let the rest of the text
//     pass for ESMTP parameters ("x> NOTIFY=NEVER ..."), or for a command;
//   - a local part that is not empty;
//   - a domain that validateAddress (address.h) accepts: labels without the
//     characters refused there, no empty label, no trailing dot.
// A text without "@" (a local mailbox name such as "root") is refused: the
// relay would deliver it to one of its own users.
//
// Security: only reads its input, within its length.
#pragma once

#include "common/string.h"

inline constexpr size_t kMaxEnvelopeAddress = 254;

// -1 (kAddressAccepted) when address may go into an envelope; otherwise
// the 0-based position of the first offending character, or the length when
// the text ends before the address is complete (no "@", nothing after it).
[[nodiscard]] int envelopeAddressFault(const stringT& address);
